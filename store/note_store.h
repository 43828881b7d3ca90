// The note store of a run: the INI file at StorePath, read whole once at start
// and written whole at exit. Knows nothing of windows: the controller turns
// the stored notes into note windows and back.
#ifndef APPUNTELLO_STORE_NOTE_STORE_H
#define APPUNTELLO_STORE_NOTE_STORE_H

#include <vector>

#include "store/ini_document.h"
#include "store/note_codec.h"

// Reads the store: its settings (defaults for what is missing) and its notes.
// Remembers how many note sections it found, which the next save replaces.
// False when a file is there but cannot be read: the run then starts with
// the defaults and no notes.
bool LoadStore(const char* path, StoredSettings& settings, std::vector<StoredNote>& notes);

// Loading recreated only the first `count` notes of the last LoadStore: the
// later ones stay in the file as they are, out of the notes' way.
void StopLoadingAt(unsigned count);

// Writes the settings and the notes, in this order, into the store, keeping
// whatever else the file holds; an unchanged file is not written again. False
// when the store could not be written, the old file being left as it was.
bool SaveStore(const char* path, const StoredSettings& settings, const std::vector<StoredNote>& notes);

// The store file as it is now: an empty document when there is none yet.
// False when a file is there but cannot be read.
bool ReadStore(const char* path, IniDocument& store);

#endif
