// Merging, the second of the store's three steps (snapshot, merge, session):
// this run's notes and settings meet the store's snapshot and those of the
// conflict copies and files of deleted notes brought back, and one table of
// rules decides every note, and the settings, by identity and version (a
// version vector: note_version.h), not by content. Every copy of the program
// that merges the same versions gets the same notes, identities and versions,
// so that copies on one store settle. One pure function: no windows, no
// files, no clock but the day it is given.
//
// The rules, one row each of DecideNote. A version at or before a deletion
// the copies know of counts as deleted, here as in the file.
// clang-format off
//
// | here (this window)         | the file, same identity      | rule                | result
// |----------------------------|------------------------------|---------------------|-----------------------------------------
// | version v                  | v, same content              | Unchanged           | nothing to do
// | v                          | made from v                  | TakeTheirs          | the window shows the file's (busy: waits)
// | deleted (at or before a    | not deleted                  | TakeTheirs          | the window shows the version that lives
// |   deletion)                |                              |                     |
// | made from the file's       | v, or a version this run had | KeepOurs            | this run's is written
// | changed                    | changed alike                | SameChange          | one note, the versions joined
// | made apart from the file's | (or alike with other content:| Apart               | both kept: the first by a fixed order keeps
// |                            |  a hand edit)                |                     | the identity, the other takes one derived
// |                            |                              |                     | from it (ORIGINE names the first); a later
// |                            |                              |                     | version of a branch split off elsewhere
// |                            |                              |                     | joins that branch
// | deleted                    | absent, or deleted           | DeletedThere        | the window closes (busy: waits)
// | not deleted                | absent, deletion known       | KeptAgainstDeletion | it stays (changed where the deletion had
// |                            |                              |                     | not arrived), written again
// | known                      | absent, no deletion          | NotInFile           | no deletion (a cut-off or old copy):
// |                            |                              |                     | written again
// | new                        | absent                       | NewHere             | written
// | none (deleted here, or     | deleted                      | Gone                | removed from the file
// |   unknown)                 |                              |                     |
// | none                       | not deleted                  | NewThere            | shown here
//
// clang-format on
// A conflict copy or a file of deleted notes brought back is merged by the
// same rules against the notes the merge keeps, but only adds: where the
// rules would replace a note (TakeTheirs) or keep both (Apart), its version
// comes as a note of its own; a note it deletes, or one a derived identity
// names that is here by content, adds nothing.
//
// The settings are a row of their own (DecideSettings): the later version
// stands; of two versions made apart, the value the fixed order puts first
// stands and the versions join; never two.
#ifndef APPUNTELLO_STORE_MERGE_H
#define APPUNTELLO_STORE_MERGE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/note_codec.h"
#include "store/snapshot.h"

// Deletions are remembered for this many days by the reading computer's clock.
constexpr long DeletionDays = 60;

enum class NoteRule {
    Unchanged,
    TakeTheirs,
    KeepOurs,
    SameChange,
    Apart,
    DeletedThere,
    KeptAgainstDeletion,
    NotInFile,
    NewHere,
    Gone,
    NewThere,
};

// `here`: the note on screen (nullptr: deleted here or unknown here); `known`:
// it was in a store this run synced; `disk`: the file's note of that identity
// (nullptr: none); `diskSeen`: the file's is a version this run had before;
// `deleted`: the deletion the copies know of for that identity (this run's
// own included), or nullptr.
NoteRule DecideNote(const StoredNote* here, bool known, const StoredNote* disk, bool diskSeen,
                    const Deletion* deleted);

enum class SettingsRule { Unchanged, TakeTheirs, KeepOurs, SameChange, Apart };
SettingsRule DecideSettings(const StoredSettings& here, const Version& hereVersion,
                            const StoredSettings& disk, const Version& diskVersion);

// The fixed order of two versions made apart, the same on every copy: by
// their versions' text, then by content. The first keeps the identity,
// stands for the settings, and comes first where both inserted at one point.
bool KeepsIdentity(const StoredNote& first, const StoredNote& second);
bool SettingsFirst(const StoredSettings& a, const Version& va, const StoredSettings& b, const Version& vb);

// The counts this computer gives its changes: each change takes a count of
// its own, above those of earlier runs (`floor`), so that a count given to one
// version is never given to another, even of a note that came back after
// this computer deleted it.
class VersionStamps {
  public:
    VersionStamps() = default;
    VersionStamps(std::string computer, std::uint64_t floor) : computer_(std::move(computer)), last_(floor) {}
    Version Next(const Version& from);
    // What Next would give now, without giving it.
    Version Peek(const Version& from) const;

  private:
    std::string computer_;
    std::uint64_t last_ = 0;
};

// This run's side of a merge.
struct RunSide {
    std::vector<NoteHere> notes; // with identities and versions; deleted ones without `now`
    StoredSettings settings;
    Version settingsVersion; // a version made from the last synced where they changed
    Deletions deletions;     // this run's, those of notes deleted here since the last sync among them
};

enum class ScreenAction {
    Keep,   // the note stays as it is on screen
    Update, // its window takes the version in record.base (changed elsewhere)
    Close,  // its window closes (deleted elsewhere, unchanged here)
};

struct MergedHere {
    ScreenAction action = ScreenAction::Keep;
    // Against the file read: its place there (-1: written at the end when
    // record.base is none or the window is updated, else waiting to close)
    // and the version that place holds for it.
    NoteRecord record;
};

// A note the merge brings to the screen.
struct MergedNew {
    StoredNote note;
    int place; // in the file read; -1 for a note written at the end
    IdentityFrom how = IdentityFrom::File;
};

struct MergedStore {
    std::vector<MergedHere> here; // one per note of the run, in the same order
    std::vector<MergedNew> added;
    std::vector<int> removed; // places of the file whose notes go
    // The notes the file holds afterwards, for PutNotes against the file's
    // run: every place that stays keeps its note, a note here at its place
    // writes its version where it changed, and the notes the file does not
    // hold yet follow at the end.
    std::vector<NoteToSave> save;
    std::vector<int> hereEntry;  // per note here: its entry in save, or -1
    std::vector<int> addedEntry; // per added note: its entry in save
    bool notesChange = false;    // some note differs from what the file holds
    Deletions deletions;         // the file's afterwards, those older than DeletionDays left out
    StoredSettings settings;
    Version settingsVersion;
    // Copies to keep before anything is written: the store as this run last
    // wrote it, for a note saved here that another writer replaced or
    // deleted; the file read, for a damaged one.
    bool takesAwaySaved = false;
    bool setAside = false;
    // Some note was left for a later merge (it was busy).
    bool waiting = false;
};

// `here`: this run's notes (their versions may change: SameChange joins
// them, Apart gives one of two an identity of its own); `disk`: the store's
// snapshot; `copies`: conflict copies and files of deleted notes brought back.
MergedStore Merge(RunSide& here, const Snapshot& disk, const std::vector<Snapshot>& copies, long today);

// What the run knows afterwards of each note here and of each note added,
// against the file it wrote (placeOf from PutNotes) or, when it wrote
// nothing, against the file as read (placeOf nullptr). A note that waits
// keeps the version its window shows, so that the next merge finds the
// other side's change again.
struct MergedRecords {
    std::vector<NoteRecord> here;
    std::vector<NoteRecord> added;
};
MergedRecords RecordsAfterSave(const std::vector<NoteHere>& here, const MergedStore& merged,
                               const std::vector<int>* placeOf);

#endif
