// The note window: a captioned tool window whose client area is one
// multi-line edit field, and the dialog that renames it.
#ifndef APPUNTELLO_NOTE_WINDOW_H
#define APPUNTELLO_NOTE_WINDOW_H

#include <windows.h>

LRESULT CALLBACK NoteWndProc(HWND note, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TitleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Creates a shown note at the next cascade position with the current size.
HWND CreateNoteWindow(const char* title);

// The note's voice path: window word 0 holds its buffer ("" = no message).
char* NoteVoicePath(HWND note);
// Replaces the voice path, growing the buffer for a path that does not fit
// the usual 260 characters. False when no memory could be had.
bool SetNoteVoicePath(HWND note, const char* path);

HWND NoteEditOf(HWND note);

#endif
