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
// | made apart from the file's,| made apart; both identities  | Joined              | one note with both changes (JoinedNote),
// |   the common version held  |   read from a file, changes  |                     | the versions joined and stamped (busy:
// |   (NoteHistory)            |   apart                      |                     | waits)
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
// comes as a note of its own (ORIGINE naming the note it was split from);
// where they join (Joined), the note takes both changes (busy: the copy
// stays beside the store until it is free); a note it deletes, or one a
// derived identity names that is here by content, adds nothing.
//
// A note split off from X (ORIGINE X) goes once X holds it: its version at
// or before X's, and X holding the same content (so does one of two split
// off from X that hold the same), or this run having joined that very
// version into X, which is then told as its deletion. Counts alone would not
// tell: a computer whose change went to the split-off note and which then
// changes X stamps counts above the split-off note's.
//
// The settings are a row of their own (DecideSettings): the later version
// stands; of two versions made apart, the value the fixed order puts first
// stands and the versions join; never two.
#ifndef APPUNTELLO_STORE_MERGE_H
#define APPUNTELLO_STORE_MERGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
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
    Joined,
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
// own included), or nullptr; `joinable`: made apart, they have one note with
// both changes (JoinedNote).
NoteRule DecideNote(const StoredNote* here, bool known, const StoredNote* disk, bool diskSeen,
                    const Deletion* deleted, bool joinable = false);

enum class SettingsRule { Unchanged, TakeTheirs, KeepOurs, SameChange, Apart };
SettingsRule DecideSettings(const StoredSettings& here, const Version& hereVersion,
                            const StoredSettings& disk, const Version& diskVersion);

// The fixed order of two versions made apart, the same on every copy: by
// their versions' text, then by content. The first keeps the identity,
// stands for the settings, and comes first where both inserted at one point.
bool KeepsIdentity(const StoredNote& first, const StoredNote& second);
bool SettingsFirst(const StoredSettings& a, const Version& va, const StoredSettings& b, const Version& vb);

// The version two versions made apart were both made from: each computer's
// smaller count.
Version CommonVersion(const Version& first, const Version& second);
// The note with the changes both versions made to their common one, `first`
// by the fixed order first: the text merged unit by unit (text_merge.h), the
// title and the voice path as fields; nothing when the changes overlap or the
// text would not fit in a note. Identity and version are the caller's.
std::optional<StoredNote> JoinedNote(const StoredNote& common, const StoredNote& first,
                                     const StoredNote& second);

// What the run remembers of its notes' versions for the merge: the content
// of the last few versions of each note that a file held with its identity
// (read, or written by this run), so that the common version of two made
// apart can be found; and the versions this run joined into each note.
class NoteHistory {
  public:
    void Remember(const StoredNote& note);
    void RememberJoin(const std::string& id, const Version& taken);
    const StoredNote* Find(const std::string& id, const Version& version) const;
    bool Joined(const std::string& id, const Version& version) const;
    // The notes of other identities are forgotten.
    void KeepOnly(const std::unordered_set<std::string>& ids);

  private:
    struct Versions {
        std::vector<StoredNote> contents; // oldest first
        std::vector<Version> joined;
    };
    std::unordered_map<std::string, Versions> notes_;
};

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
    Update, // its window takes the version in record.base (changed elsewhere, or joined)
    Close,  // its window closes (deleted elsewhere, unchanged here)
};

struct MergedHere {
    ScreenAction action = ScreenAction::Keep;
    // The window waits (it is busy) while the file keeps the other version.
    bool holdsFile = false;
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
    // Per copy: it must stay beside the store, for a busy note that joins it later.
    std::vector<char> copiesWait;
    // Versions joined into a note by this merge: its identity, the version.
    std::vector<std::pair<std::string, Version>> joins;
};

// `base`: what the run remembers of its notes' versions; `here`: this run's
// notes (their versions may change: SameChange joins them, Apart gives one of
// two an identity of its own); `disk`: the store's snapshot; `copies`:
// conflict copies and files of deleted notes brought back; `stamps`: this
// computer's, for a note joined here.
MergedStore Merge(const NoteHistory& base, RunSide& here, const Snapshot& disk,
                  const std::vector<Snapshot>& copies, long today, VersionStamps& stamps);

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
