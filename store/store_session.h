// Writing, the last of the store's three steps (snapshot, merge, session):
// the note store of a run, the INI file at StorePath. At start it is read
// whole; at every save the session takes the writers' lock, reads the file
// when it changed since this run last read or wrote it (snapshot.h), merges
// it with the run's notes and settings and with the conflict copies and files
// of deleted notes brought back (merge.h), keeps the copies that must come
// first (and writes nothing when one of them fails), writes the result where
// it differs from the file, and remembers what the next sync needs. Knows
// nothing of windows: the controller turns the stored notes into note windows
// and back, each note named by a key of its choosing. The files are reached
// through a StoreDisk, the system's or a simulation's.
#ifndef APPUNTELLO_STORE_STORE_SESSION_H
#define APPUNTELLO_STORE_STORE_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/ini_document.h"
#include "store/merge.h"
#include "store/note_codec.h"
#include "store/snapshot.h"
#include "store/store_disk.h"
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
extern const char SetAsideSuffix[]; // ".set-aside": a damaged file, kept as it came

class StoreSession {
  public:
    explicit StoreSession(StoreDisk& disk = SystemDisk())
        : disk_(&disk), stamps_(disk.Computer(), disk.CountFloor())
    {
    }

    // Reads the store, once, at the start of the run: its settings (defaults
    // for what is missing) and its notes, oldest first, each with its place;
    // adopt each note made (AdoptLoaded). False when a file is there but
    // cannot be read: the run then starts with the defaults and no notes, and
    // the file's notes are merged in as soon as it can be read.
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
    // the next sync (ReadRestored) and removed once a store holding their
    // notes is on disk.
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
    struct FileState; // the store as one sync read it
    struct Copies;    // the conflict copies and restored files one sync read

    bool ReadFile(const std::string& path, FileState& file, SyncResult& notRead);
    RunSide NotesHere(const std::vector<NoteNow>& notes, const StoredSettings& settings,
                      std::vector<NoteKey>& keys);
    void ReadCopies(const std::vector<std::string>& files, bool restored, Copies& copies);
    bool KeepCopies(const std::string& path, const MergedStore& merged, const FileState& file);
    enum class Written { No, Yes, Failed };
    Written Write(const std::string& path, bool create, const MergedStore& merged, FileState& file,
                  SavedRun& saved);
    void Remember(FileState& file, const RunSide& here, const std::vector<NoteKey>& keys,
                  std::size_t shownNotes, const MergedStore& merged, const SavedRun* saved, bool failed,
                  ScreenChanges& changes);
    void RememberCopies(const Copies& copies, bool failed);
    void RememberVersions(const Snapshot& snapshot);
    bool HeldStill(const FileLook& look);

    StoreDisk* disk_;

    // What the run remembers from one sync to the next, each for what it serves:
    //
    // The store as this run last read or wrote it, for the next sync: a file
    // whose look is still this is not read again (its parsed document and
    // snapshot serve), a file without identities is matched against its
    // notes, a change here is stamped from its settings' version, and a
    // write keeps the file's other lines. Until a file could be read, nothing.
    struct Synced {
        bool known = false;
        FileLook look;
        std::shared_ptr<const std::string> bytes = std::make_shared<const std::string>();
        StoreEncoding encoding = StoreEncoding::Ansi;
        IniDocument document;
        bool documentCurrent = false; // document holds bytes parsed
        Snapshot snapshot;
    } synced_;
    // Each note of the run against that store (its place, its version, how its
    // identity came), for stamping its changes; the identity of a note new
    // here that no store holds yet (its write failed), so that the next save
    // gives it the same; and what makes the next such identity new.
    std::unordered_map<NoteKey, NoteRecord> records_;
    std::unordered_map<NoteKey, std::string> newIds_;
    std::uint64_t newIdSerial_ = 0;
    // The counts this computer gives its changes.
    VersionStamps stamps_;
    // Notes deleted here or elsewhere, as far as this run knows: the next
    // file written tells of them.
    Deletions deletions_;
    // The last few versions of each note that a file held with its identity,
    // and the versions this run joined into it: two versions made apart join
    // into one note where their common version is here.
    NoteHistory history_;
    // Contents of notes, and whole stores, this run read or wrote, the latest
    // few thousand: one found again in a file is an old copy written back.
    class Recent {
      public:
        explicit Recent(std::size_t most) : most_(most) {}
        void Add(std::uint64_t hash);
        bool Has(std::uint64_t hash) const { return set_.count(hash) > 0; }
        const std::unordered_set<std::uint64_t>& set() const { return set_; }

      private:
        std::size_t most_;
        std::unordered_set<std::uint64_t> set_;
        std::vector<std::uint64_t> order_; // oldest first
    };
    Recent seenContents_{4096};
    Recent seenFiles_{64};
    // The notes the last sync brought to the screen, until their windows are
    // adopted (Adopt): each one's record, or the identity it keeps while no
    // store holds it.
    struct ToAdopt {
        NoteRecord record;
        std::string id;
    };
    std::vector<ToAdopt> toAdopt_;
    // A busy note waits: the next look merges again although nothing changed.
    bool waiting_ = false;
    // Files of deleted notes brought back, until a store holding their notes
    // is on disk.
    std::vector<std::string> takeIn_;
    // The backup keeps the store as the run found it: the bytes until the
    // backup could be made (at the run's first write, or the next), then
    // nothing. The store as the run last wrote it, for ".mine": nothing until
    // it wrote one. Both share synced_.bytes while the file holds them.
    std::shared_ptr<const std::string> found_;
    std::shared_ptr<const std::string> lastWritten_;
    // A changed file is read only once its look has held still, and a file
    // that ends inside a note only once it stayed so for a while: when it
    // first looked changed, and since when it has looked as now.
    struct Settling {
        bool on = false;
        FileLook look;
        unsigned long since = 0;
        unsigned long first = 0;
    } settling_;
    // The folder as it looked at the last listing for conflict copies, and
    // whether that listing found one not yet taken in: a look lists the
    // folder again only when that changed.
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
    TakenCopy* TakenIn(const std::string& copy, const FileLook& look);
};

#endif
