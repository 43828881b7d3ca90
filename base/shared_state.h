// What several floors of the program share, in one place; what only one
// module uses lives in that module. All of it is touched by the GUI thread
// only. Each line says who creates, replaces and releases it.
#ifndef APPUNTELLO_BASE_SHARED_STATE_H
#define APPUNTELLO_BASE_SHARED_STATE_H

#include <windows.h>

#include "base/handles.h"
#include "base/note_limits.h"

// Names the program's windows go by; another copy finds this one through them.
extern const char ControllerClassName[]; // "Class_Appuntello"
extern const char NoteClassName[];       // "Class_YellowWindow"
extern const char ControllerTitle[];     // "Appuntello"

// Set by WinMain when it registers the classes; never changed.
extern HINSTANCE AppInstance;
// Filled by WinMain before the controller exists; never changed ("" in a
// controller made without one: then nothing is loaded or saved).
extern char StorePath[MAX_PATH];

// Set by the controller's WM_CREATE, cleared by its WM_DESTROY.
extern HWND ControllerWindow;
// Loaded by the controller's WM_CREATE, shared by every note, destroyed at close.
extern OwnedMenu NoteMenu;

// Read from the store at start, committed by the Options dialog's OK.
extern int NoteWidth;
extern int NoteHeight;
extern COLORREF NoteColor;
// Created from the stored colour at start, replaced by the Options dialog's
// Apply, deleted by the controller at close.
extern OwnedBrush NoteBrush;

// Notes created in this run: the controller's creation sets it to 0, each
// note's WM_CREATE adds one, "delete all" starts it again. Drives the cascade.
extern unsigned NoteCount;

// A change the store keeps (typing, a new, deleted or renamed note, a voice
// message, new settings), sent to ControllerWindow by NoteChanged. Sent, not
// posted, so that the controller sees each change as it happens, also while
// it loads the stored notes or shows another writer's, when none is a change
// of the user's. wParam and lParam are 0.
constexpr UINT NoteChangedMessage = WM_APP + 1;
// Tells the controller, when there is one, of a change the store keeps.
void NoteChanged();

// "&Elimina Memino" is about to delete the note in wParam, before the
// question about its voice file: the controller keeps what it holds, so that
// the user can bring it back. Sent by NoteDeleting; lParam is 0.
constexpr UINT NoteDeletingMessage = WM_APP + 2;
void NoteDeleting(HWND note);

#endif
