// The note window: a captioned tool window whose client area is one
// multi-line edit field, and the dialog that renames it.
#ifndef APPUNTELLO_NOTE_WINDOW_H
#define APPUNTELLO_NOTE_WINDOW_H

#include <windows.h>

#include "voice/voice_path.h"

LRESULT CALLBACK NoteWndProc(HWND note, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TitleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum class NoteActivation {
    Activate, // comes to the front and takes the keyboard: a note the user asked for
    Quiet,    // shown behind what the user is doing: another writer's note
};

// Creates a shown note at the next cascade position with the current size.
HWND CreateNoteWindow(const char* title, NoteActivation activation = NoteActivation::Activate);

// Its menu, its title dialog, a question about its voice file or its
// recorder is open: another writer's changes wait rather than rewrite or
// close it under the user's hands.
bool NoteIsBusy(HWND note);

HWND NoteEditOf(HWND note);

// Whether the user has turned high contrast on; the notes then paint with the
// system's window colours. Tests put their own here.
extern bool (*HighContrastOn)();
bool SystemHighContrastOn();

#endif
