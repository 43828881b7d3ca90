// The notes between the screen and the store: recreated as note windows at
// start, read from their windows when they are saved. Owns the run's store
// session.
#ifndef APPUNTELLO_APP_NOTES_IO_H
#define APPUNTELLO_APP_NOTES_IO_H

#include "store/note_codec.h"

struct NoteNode;

// Reads the settings, creates NoteBrush and recreates every stored note,
// playing each voice message to its end once its note is painted. A store
// that is there but cannot be read is reported to the user.
void LoadNotes();

// Writes every registered note (oldest first) and the settings; the notes stay
// open. False when the store could not be written, the old file being left as
// it was. With no StorePath at all (a controller made without one) nothing is
// kept.
bool SaveAllNotes();

// After a failed save at exit: tells the user and asks whether to quit all the
// same, losing the changes. True for yes.
bool AskToQuitUnsaved();

// One registered note as the store keeps it.
StoredNote SaveNote(const NoteNode& note);

#endif
