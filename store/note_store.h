// The note store of a run: the INI file at StorePath, read whole at start,
// and at every save looked at first: when another writer (a sync client, a
// second copy of the program, a text editor) changed it since this run last
// read or wrote it, its changes are merged with the run's (identity_merge.h)
// before the result is written, under a lock that every copy of the program
// sees. Knows nothing of windows: the controller turns the stored notes into
// note windows and back, each note named by a key of its choosing. The files
// are reached through a StoreDisk, the system's or a simulation's.
#ifndef APPUNTELLO_STORE_NOTE_STORE_H
#define APPUNTELLO_STORE_NOTE_STORE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/identity_merge.h"
#include "store/ini_document.h"
#include "store/note_codec.h"
#include "store/note_merge.h"
#include "store/store_disk.h"
#include "store/store_file.h"
#include "store/store_text.h"

// How the run names a note to the store: never 0.
using NoteKey = std::uintptr_t;

// A note of the run as it is now.
struct NoteNow {
    NoteKey key;
    StoredNote note;
    // Its menu, title dialog or recorder is open: a merge leaves it as it is
    // and comes back to it later.
    bool busy = false;
};

// What a merge asks of the screen.
struct ScreenChanges {
    std::vector<std::pair<NoteKey, StoredNote>> update; // a note's new title, text and voice path
    std::vector<NoteKey> close;
    // Notes to show anew; each is adopted (StoreSession::Adopt) once its window exists.
    std::vector<StoredNote> show;
    bool settingsChanged = false; // the settings passed in were changed
};

enum class SyncResult {
    Done,
    // The file is still being written, or another writer is saving: nothing
    // was read or written; try again in a moment.
    Later,
    // The file could not be read, or the merged store (or a copy that had to
    // come first) could not be written (the file was then left as it was);
    // what the merge asks of the screen still holds.
    Failed,
};

// Copies kept beside the store, each replaced by the next.
extern const char BackupSuffix[];   // ".bak": the store as the run found it
extern const char MineSuffix[];     // ".mine": the store as the run last wrote it, before another writer's
                                    // changes replaced or removed a note saved from here
extern const char SetAsideSuffix[]; // ".set-aside": a file that would have closed most notes, kept as it came

class StoreSession {
  public:
    explicit StoreSession(StoreDisk& disk = SystemDisk()) : disk_(&disk) {}

    // Reads the store, once, at the start of the run: its settings (defaults
    // for what is missing) and its notes, oldest first, each with its place;
    // adopt each note made (AdoptLoaded). False when a file is there but cannot be read: the run
    // then starts with the defaults and no notes, and the file's notes are
    // merged in as soon as it can be read.
    bool Load(const char* path, StoredSettings& settings, std::vector<std::pair<int, StoredNote>>& notes);
    void AdoptLoaded(int place, NoteKey key);

    // Whether a merge has anything to do: the file was changed since this
    // run last read or wrote it (a look at its size and times, not a read),
    // a conflict copy not yet taken in lies beside it, a file waits to be
    // taken in, or a note waits for a merge. The folder is listed for
    // conflict copies only when its own look changed since the last listing,
    // or with `listFolder` (the system told of a change in it): otherwise a
    // look costs two questions of the disk.
    bool ChangedOnDisk(const char* path, bool listFolder = false);

    // Files of deleted notes brought back (store/deleted_notes.h), taken in at
    // the next sync as another side of the merge, and removed once a store
    // holding their notes is on disk. Each note comes back under its identity
    // with a version above its deletion, made from the file alone, so that
    // every computer taking in the same file makes the same version.
    void TakeIn(std::vector<std::string> files);

    // Brings the store and the run's notes (oldest first) and settings
    // together: reads the file when it changed, merges, and writes the result
    // when it differs from the file (or, with `create`, when there is no file
    // yet). `settings` becomes the merged settings; `changes` tells what the
    // screen must now show.
    SyncResult Sync(const char* path, StoredSettings& settings, const std::vector<NoteNow>& notes,
                    bool create, ScreenChanges& changes);
    // The window of changes.show[index] exists, under this key.
    void Adopt(std::size_t index, NoteKey key);

    // A note of the run as the store keeps it: with its identity and the
    // version the next save gives it (none yet for a note no save has seen).
    StoredNote AsStored(NoteKey key, const StoredNote& now) const;

  private:
    struct FileState; // the file as one sync read it
    struct SyncState; // what one sync carries from phase to phase
    void MergeWithFile(const std::string& path, const StoredSettings& settings,
                       const std::vector<NoteNow>& notes, SyncState& sync);
    void WriteMerged(const std::string& path, bool create, SyncState& sync);
    void RememberSync(SyncState& sync, const std::vector<NoteNow>& notes, ScreenChanges& changes);
    bool HeldStill(const FileLook& look);
    bool ReadFile(const std::string& path, FileState& file, SyncResult& later);
    std::vector<NoteHere> NotesHere(const std::vector<NoteNow>& notes, std::vector<NoteKey>& keys);
    void StampSettings(const StoredSettings& settings, const FileState& file, StoredSettings& merged,
                       Version& version);
    bool KeepCopies(const std::string& path, const MergeOutcome& merge, const FileState& file);
    void Remember(const std::vector<NoteHere>& here, const std::vector<NoteKey>& keys,
                  const std::vector<NoteNow>& notes, const IdentityMerge& merged, const MergedSave& save,
                  const SavedRun* saved, ScreenChanges& changes);
    void RememberVersion(const StoredNote& note);
    Version Stamped(const Version& base);
    void RememberFile(std::uint64_t hash);
    std::vector<StoredNote> ReadConflictCopies(const std::vector<std::string>& files,
                                               std::vector<std::string>& read, Deletions& deletions,
                                               bool restored = false);
    void DeleteConflictCopies(const std::vector<std::string>& copies);

    StoreDisk* disk_;
    // The file as this run last read or wrote it: its notes, document,
    // bytes, encoding and look. Until a file could be read, nothing.
    StoredRun run_;
    IniDocument document_;
    bool documentCurrent_ = false; // document_ holds bytes_ parsed
    std::string bytes_;
    bool known_ = false;
    FileLook look_;
    StoreEncoding encoding_ = StoreEncoding::Ansi;
    StoredSettings settings_{DefaultNoteWidth, DefaultNoteHeight, DefaultNoteColor};
    Version settingsVersion_;

    // Each note of the run against that file, and the identities given to
    // notes new here that no file holds yet.
    std::unordered_map<NoteKey, NoteRecord> records_;
    std::unordered_map<NoteKey, std::string> newIds_;
    std::uint64_t serial_ = 0;
    std::uint64_t lastCount_ = 0; // the last count this run gave a version
    // Notes deleted here or elsewhere, as far as this run knows.
    Deletions deletions_;
    // Versions of notes and whole stores this run read or wrote, the latest
    // few thousand: one found again later is an old copy.
    std::unordered_set<NoteVersion> seen_;
    std::vector<NoteVersion> seenOrder_; // oldest first
    std::unordered_set<std::uint64_t> seenFiles_;
    std::vector<std::uint64_t> seenFilesOrder_;
    std::vector<NoteRecord> toAdopt_;
    std::vector<std::string> toAdoptIds_;
    bool waiting_ = false;
    std::vector<std::string> takeIn_;

    // The backup keeps the store as the run found it, made at the run's
    // first write (and again at the next, until one could be made). Until
    // another writer's file replaces it, that is bytes_, and no copy is kept.
    std::string found_;
    bool foundKnown_ = false;
    bool foundIsBytes_ = false;
    bool backupMade_ = false;
    // The store as the run last wrote it, kept before another writer's
    // changes take away what was saved here: bytes_ until a file of another
    // writer is read.
    std::string lastWritten_;
    bool wroteAny_ = false;
    bool lastWrittenIsBytes_ = false;
    const std::string& Found() const { return foundIsBytes_ ? bytes_ : found_; }
    const std::string& LastWritten() const { return lastWrittenIsBytes_ ? bytes_ : lastWritten_; }
    // bytes_ is about to hold another file: what still needs it gets a copy.
    void KeepWhatBytesHold();

    // A changed file is read only once its look has held still.
    FileLook changingLook_;
    unsigned long changingSince_ = 0;
    unsigned long firstChange_ = 0;
    bool changing_ = false;

    // The folder as it looked at the last listing for conflict copies, and
    // whether that listing found one not yet taken in.
    FileLook folderLook_;
    bool listed_ = false;
    bool copiesBeside_ = false;
    // A copy dated now or ahead is read once its look has held still.
    struct CopyLook {
        std::string path;
        FileLook look;
        unsigned long since;
    };
    std::vector<CopyLook> copyLooks_;
    // Copies taken in that could not be deleted (a sync client or a scanner
    // holds them): not taken in again while their bytes stay, their deletion
    // tried a few times only. The oldest is forgotten first.
    struct TakenCopy {
        std::string path;
        FileLook look;
        std::uint64_t hash = 0;
        unsigned deleteTries = 0;
    };
    std::vector<TakenCopy> takenCopies_;
    std::vector<TakenCopy> justRead_; // by the sync under way
    TakenCopy* TakenIn(const std::string& copy, const FileLook& look);
};

#endif
