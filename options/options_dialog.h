// The Options dialog: note size and background colour, with a preview.
//
// OK commits the sliders and the chosen colour to NoteWidth, NoteHeight and
// NoteColor without touching the screen; Apply ("A&ggiorna") shows them on
// every open note (a new NoteBrush, every note resized) without committing.
#ifndef APPUNTELLO_OPTIONS_DIALOG_H
#define APPUNTELLO_OPTIONS_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
