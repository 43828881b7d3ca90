// The notes between the screen and the store: recreated as note windows at
// start, read back from their windows at close.
#ifndef APPUNTELLO_APP_NOTES_IO_H
#define APPUNTELLO_APP_NOTES_IO_H

#include "store/note_codec.h"

struct NoteNode;

// Reads the settings, creates NoteBrush and recreates every stored note,
// playing each voice message to its end once its note is painted.
void LoadNotes();

// Writes every registered note (oldest first) and the settings; the notes stay
// open (the caller destroys them once they are safe). Returns false when the
// store could not be written, the old file being left as it was; with
// askOnFailure the user is told so first. With no StorePath at all (a
// controller made without one) nothing is kept.
bool SaveAllNotes(bool askOnFailure);

// One registered note as the store keeps it.
StoredNote SaveNote(const NoteNode& note);

#endif
