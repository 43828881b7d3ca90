// The note store of a run: the INI file at StorePath, read whole at start and
// written whole at every save. Knows nothing of windows: the controller turns
// the stored notes into note windows and back.
#ifndef APPUNTELLO_STORE_NOTE_STORE_H
#define APPUNTELLO_STORE_NOTE_STORE_H

#include <vector>

#include "store/ini_document.h"
#include "store/note_codec.h"

// Reads the store: its settings (defaults for what is missing) and the run of
// its numbered sections (note_codec.h), whose places are the places of
// NoteToSave::from. False when a file is there but cannot be read: the run
// then starts with the defaults and no notes, and its saves keep every stored
// section where it is, adding the run's notes after the stored ones.
bool LoadStore(const char* path, StoredSettings& settings, StoredRun& run);

// What the note made from that place really shows (a window may hold less
// than the store gave it); a save writes a value again only where the note
// then differs from it.
void NoteShownAs(unsigned place, const StoredNote& shown);

// Loading recreated the notes of the places before this one only: the later
// ones stay in the file as they are, out of the notes' way.
void StopLoadingAt(unsigned place);

// Writes the settings and the notes, in this order, into the store, keeping
// whatever else the file holds; an unchanged file is not written again. The
// settings replace those in the file only when `replaceSettings` (the user
// chose them); otherwise the file's stay as written and only missing ones are
// added. Afterwards notes[n] is at place places[n]. False when the store could
// not be written, the old file being left as it was.
bool SaveStore(const char* path, const StoredSettings& settings, bool replaceSettings,
               const std::vector<NoteToSave>& notes, std::vector<unsigned>& places);

// The store file as it is now: an empty document when there is none yet.
// False when a file is there but cannot be read.
bool ReadStore(const char* path, IniDocument& store);

#endif
