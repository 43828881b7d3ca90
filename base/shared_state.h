// What several floors of the program share, in one place; what only one
// module uses lives in that module, and what belongs to one window lives with
// that window. All of it is touched by the GUI thread
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

// Read from the store at start (LoadNotes, app/notes_io.cpp), committed by
// the Options dialog's OK, and replaced by another writer's settings when a
// save merges them (ShowMerged, app/notes_io.cpp).
extern int NoteWidth;
extern int NoteHeight;
extern COLORREF NoteColor;
// Created from the stored colour at start, replaced by the Options dialog's
// Apply and by a merge that brings another colour, deleted by the controller
// at close.
extern OwnedBrush NoteBrush;

// The registry of open notes (notes/note_registry.h), newest first: each
// note adds its node at creation and removes it at destruction; the
// controller frees what is left at close.
struct NoteNode;
extern NoteNode* NoteListHead;

// The one recorder on screen (voice/voice.h): set when a note opens it, back
// to none when that window goes, however it goes.
extern HWND RecorderWindow;

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

// Sent to ControllerWindow by a note that left the screen with the keyboard
// when no other note is shown: the keyboard goes to the notification area
// rather than stay on the controller, a window of no size. wParam and lParam are 0.
constexpr UINT KeyboardToTrayMessage = WM_APP + 2;
// "&Elimina Memino" is about to delete the note in wParam, before the
// question about its voice file: the controller keeps what it holds, so that
// the user can bring it back. Sent by NoteDeleting; lParam is 0.
constexpr UINT NoteDeletingMessage = WM_APP + 4; // WM_APP + 3 is a note's own (voice/voice.h)
void NoteDeleting(HWND note);

#endif
