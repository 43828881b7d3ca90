// The registry of open notes: a doubly linked list, newest first, that gives
// each note the small id by which the tray's note list names it.
#ifndef APPUNTELLO_NOTE_REGISTRY_H
#define APPUNTELLO_NOTE_REGISTRY_H

// The same type as HWND (with STRICT), without pulling in windows.h.
struct HWND__;
using NoteWindow = HWND__*;

struct NoteNode {
    int NoteId;
    NoteWindow window;
    NoteWindow edit; // the note's edit field, kept at hand: finding it is a round trip to the window server
    // 1 + the note's place among the store's notes (where it was loaded from
    // or last saved to); 0 for a note not yet in the store.
    unsigned storedPlace;
    NoteNode* next; // older
    NoteNode* prev; // newer
};

// The list starts at NoteListHead (base/shared_state.h).

// Registers a window at the head, with the head's id + 1 (0 when empty).
// Returns false when no memory could be had for the node.
bool AddNote(NoteWindow window);
// Unregisters a window and frees its node; an unknown window is ignored.
void RemoveNote(NoteWindow window);
// Frees every node; the windows are not touched.
void FreeNoteList();
NoteNode* FindNoteById(int id);
// Shows, raises and activates the note with that id; nothing if there is none.
void ShowNoteById(int id);

#endif
