// The note store: every note and the appearance settings, in the INI file
// at StorePath, read at start and written at exit.
#ifndef APPUNTELLO_NOTE_STORE_H
#define APPUNTELLO_NOTE_STORE_H

#include <windows.h>

// Reads the settings, creates NoteBrush and recreates every stored note.
void LoadNotes();
// Writes every note and the settings, then destroys the notes. Returns false
// when the store could not be written (the notes then stay open).
bool SaveAllNotes();

#endif
