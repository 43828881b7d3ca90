// The note store: every note and the appearance settings, in the INI file
// at StorePath, read at start and written at exit.
#ifndef APPUNTELLO_NOTE_STORE_H
#define APPUNTELLO_NOTE_STORE_H

#include <windows.h>

// Reads the settings, creates NoteBrush and recreates every stored note.
void LoadNotes();
// Writes every registered note and the settings; the notes stay open (the
// caller destroys them once they are safe). Returns false when the store
// could not be written; with askOnFailure the user is told so first.
bool SaveAllNotes(bool askOnFailure);

#endif
