// The registry of open notes: a doubly linked list, newest first, that gives
// each note the small id by which the tray's note list names it. Every walk of
// the list is here.
#ifndef APPUNTELLO_NOTE_REGISTRY_H
#define APPUNTELLO_NOTE_REGISTRY_H

#include "base/shared_state.h"

using NoteWindow = HWND;

struct NoteNode {
    int NoteId;
    NoteWindow window;
    NoteWindow edit; // the note's edit field, kept at hand: finding it is a round trip to the window server
    NoteNode* next;  // older
    NoteNode* prev;  // newer
    // The note that had the keyboard before this one took it, if it is still a note.
    NoteWindow keyboardBefore;
    // Whether the note's own menu is open.
    bool menuOpen;
};

// NoteListHead, the newest node or none, is declared with the shared state
// (base/shared_state.h).

// Registers a window at the head, with the head's id + 1 (0 when empty). Returns its node, or nullptr when no
// memory could be had.
NoteNode* AddNote(NoteWindow window);
// Unregisters a window and frees its node; an unknown window is ignored.
void RemoveNote(NoteWindow window);
// Frees every node; the windows are not touched.
void FreeNoteList();
NoteNode* FindNote(NoteWindow window);
NoteNode* FindNoteById(int id);
// Shows, raises and activates the note with that id; nothing if there is none.
void ShowNoteById(int id);
// Whether the window is a registered note on the screen: shown, not minimised.
bool IsShownNote(NoteWindow window);
// The note that should take the keyboard when this one goes from the screen:
// the one that had it before, else the newest note shown; nullptr when no
// other note is shown.
NoteWindow NoteToTakeKeyboardFrom(NoteWindow leaving);
// Destroys every note, newest first; each takes its node with it.
void DestroyAllNotes();

// Calls visit(node) for every note, newest first. The next node is taken
// before the call, so that the visit may destroy its own note.
template <typename Visit> void ForEachNote(Visit visit)
{
    for (NoteNode* node = NoteListHead; node;) {
        NoteNode* next = node->next;
        visit(*node);
        node = next;
    }
}

// The same, oldest first: the order in which the notes were made.
template <typename Visit> void ForEachNoteOldestFirst(Visit visit)
{
    NoteNode* oldest = NoteListHead;
    while (oldest && oldest->next)
        oldest = oldest->next;
    for (NoteNode* node = oldest; node;) {
        NoteNode* newer = node->prev;
        visit(*node);
        node = newer;
    }
}

#endif
