// The note store of a run: the INI file at StorePath, read whole at start and
// written whole at every save. Knows nothing of windows: the controller turns
// the stored notes into note windows and back.
#ifndef APPUNTELLO_STORE_NOTE_STORE_H
#define APPUNTELLO_STORE_NOTE_STORE_H

#include <string>
#include <vector>

#include "store/ini_document.h"
#include "store/note_codec.h"
#include "store/store_text.h"

// A stored note and its place in the run of numbered sections (note_codec.h).
struct LoadedNote {
    int place;
    StoredNote note;
};

// What a run knows of its store between saves: which sections its notes came
// from and what each showed, where the run's sections start, the file's
// encoding, and the file as the run last wrote it.
class StoreSession {
  public:
    // Reads the store: its settings (defaults for what is missing) and its
    // notes, oldest first, each with its place. False when a file is there but
    // cannot be read: the run then starts with the defaults and no notes, and
    // its saves keep every stored section where it is, adding the run's notes
    // after the stored ones.
    bool Load(const char* path, StoredSettings& settings, std::vector<LoadedNote>& notes);

    // The notes from this place on could not be made: their sections stay in
    // the file as they are, out of the way of the notes saved.
    void NotLoadedFrom(int place);

    // Writes the settings and the notes, oldest first, into the store, keeping
    // whatever else the file holds; an unchanged file is not written again.
    // The settings replace those in the file only when `replaceSettings` (the
    // user chose them); otherwise the file's stay as written and only missing
    // ones are added. Afterwards notes[n] is at place places[n]. False when the
    // store could not be written, the old file being left as it was.
    bool Save(const char* path, const StoredSettings& settings, bool replaceSettings,
              const std::vector<NoteToSave>& notes, std::vector<int>& places);

  private:
    bool ReadForSave(const char* path, std::string& bytes, IniDocument& store);
    bool ReadFile(const char* path, std::string& bytes, IniDocument& store);

    // The run's sections are first_, first_ + 1, ...: what each showed as a
    // note when it was loaded or last written. first_ is 0 unless the store
    // could not be read at start: the run's notes then go after the stored
    // ones, which the first save counts.
    StoredRun shown_;
    unsigned first_ = 0;
    bool firstCounted_ = true;
    // The backup keeps the store as the run found it: only the run's first
    // write makes one, so that it still holds the last session's notes after a
    // mistake.
    bool backupMade_ = false;
    // A store saved as Unicode is written back as Unicode.
    StoreEncoding encoding_ = StoreEncoding::Ansi;
    // The file as the run last wrote it, and its document: a save a moment
    // after typing then needs no second parse of the whole store, which was
    // most of its cost. Any other bytes in the file are parsed.
    std::string writtenBytes_;
    IniDocument writtenStore_;
    bool writtenKnown_ = false;
};

// The store file as it is now: an empty document when there is none yet.
// False when a file is there but cannot be read.
bool ReadStore(const char* path, IniDocument& store);

#endif
