// Notes that other writers change too: a sync client bringing another
// computer's store, a second copy of the program on the same file, a text
// editor. When the store on disk is no longer what this run last read or
// wrote, three versions meet: that last store (the base), the notes on
// screen, and the file on disk. What the merge decides (identity_merge.h) is
// turned here into what the file and the screen get. No windows here: tested
// natively.
//
// A note of a file that has no identity (an earlier version's store, or one
// written by hand) is matched with the base's by its content and place, in
// this order: the same note unchanged; a version
// this run itself read or wrote for a note (an older copy); the same text (a
// note renamed); the same title (notes made in the same minute share one);
// the same place between the notes matched around it (a note renamed and
// rewritten). When
// matching fails, a note is taken as deleted on one side and added on the
// other: the result is two notes, never a lost one.
#ifndef APPUNTELLO_STORE_NOTE_MERGE_H
#define APPUNTELLO_STORE_NOTE_MERGE_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/note_codec.h"

// A version of a note as one number: two versions are the same note in the
// same state when their numbers are equal.
using NoteVersion = std::uint64_t;
NoteVersion VersionOf(const StoredNote& note);

// What the run knows of one of its notes against the file it last read or wrote.
struct NoteRecord {
    int place = -1;                 // its place in that file's run; -1 when it is not there
    std::optional<StoredNote> base; // its version as last read or written; none for a note new here
};

// One note of this run as the merge sees it.
struct NoteHere {
    NoteRecord record;
    std::optional<StoredNote> now; // none: deleted here since the base
    // Its menu, title dialog or recorder is open: it is neither rewritten nor
    // closed now, and waits for a later merge.
    bool busy = false;
};

// Versions of notes that this run read or wrote, each with the note here that
// had it (an index into the merge's notes, or -1 for a note gone since), and
// whether this run wrote it. A version on disk found here is stale.
struct SeenVersion {
    int here = -1;
    bool written = false;
};
using SeenVersions = std::unordered_map<NoteVersion, SeenVersion>;

enum class ScreenAction {
    Keep,   // the note stays as it is on screen
    Update, // its window takes the version in record.base (changed elsewhere)
    Close,  // its window closes (deleted elsewhere, unchanged here)
};

struct MergedHere {
    ScreenAction action = ScreenAction::Keep;
    // Against the file on disk: its place there (-1: written at the end by
    // the next save when record.base is none, or waiting to close) and the
    // version that place holds for it.
    NoteRecord record;
};

// A note the merge brings to the screen: from the file, or the other version
// of a note changed on both sides, or from a conflict copy.
struct MergedNew {
    StoredNote note;
    int place; // in the file on disk; -1 for a note of a conflict copy, written at the end
};

struct MergeOutcome {
    std::vector<MergedHere> here; // one per input note, in the same order
    std::vector<MergedNew> added;
    // Places on disk whose notes go: deleted here and unchanged there, or
    // stale copies of versions this run already had.
    std::vector<int> removed;
    // The file would have closed every note here, or more than half of them
    // when there are more than two (an empty or cut-off file, a glitch): its
    // missing notes were not taken as deletions.
    bool guarded = false;
    // A note that this run wrote was replaced or deleted by the other side.
    bool takesAwaySaved = false;
    // Some note was left for a later merge (it was busy).
    bool waiting = false;
};

// A file that would close this many of the notes here is taken as damaged.
bool ClosesTooMany(std::size_t closing, std::size_t notes);

// The notes of the file after a merge, for PutNotes against the disk's run:
// every place of the disk that stays keeps its note, a note here at its place
// writes its own version where it changed here (the disk's where it did not),
// and the notes the file does not hold yet follow at the end (new here, kept
// against a deletion, this run's side of a conflict, from a conflict copy).
struct MergedSave {
    std::vector<NoteToSave> notes;
    std::vector<int> hereEntry;  // per note here: its entry in notes, or -1
    std::vector<int> addedEntry; // per added note: its entry in notes
    // The file must be written: something differs from what it holds.
    bool changes = false;
};
MergedSave NotesToSave(const StoredRun& disk, const std::vector<NoteHere>& here, const MergeOutcome& merge);

// What the run knows afterwards of each note here and of each note added,
// against the file it wrote (placeOf from PutNotes) or, when it wrote
// nothing, against the file as read (placeOf nullptr). A note that waits
// keeps the version its window shows, so that the next merge finds the
// other side's change again.
struct MergedRecords {
    std::vector<NoteRecord> here;
    std::vector<NoteRecord> added;
};
MergedRecords RecordsAfterSave(const std::vector<NoteHere>& here, const MergeOutcome& merge,
                               const MergedSave& save, const std::vector<int>* placeOf);

// For each place of `disk`, the place of `base` it was matched with, or -1
// (added on disk, or a place that holds no note); see the top of this file.
std::vector<int> MatchRuns(const StoredRun& base, const StoredRun& disk, const std::vector<NoteHere>& here,
                           const SeenVersions& seen);

// The settings as a file holds them: a key it lacks is none, and is no change.
struct SettingsOnDisk {
    std::optional<int> width;
    std::optional<int> height;
    std::optional<unsigned long> color;
};
SettingsOnDisk ReadSettingsOnDisk(const IniDocument& store);

// Setting by setting: one changed only on disk is taken (into `here`), one
// changed here stays; the base becomes what the disk holds, a missing key
// leaving it as it was. A stale file changes nothing here.
void MergeSettings(StoredSettings& base, StoredSettings& here, const SettingsOnDisk& disk, bool diskIsStale);

#endif
