// The merge of notes that know who they are (note_version.h): each note of
// this run and of the file is paired by its identity, and the two versions
// decide, not their content. A note only the file has, and a note the file
// lacks, are decided by the deleted notes the copies know of. Every copy of
// the program that merges the same versions gets the same notes, identities
// and versions, so that copies on one store settle.
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
// Notes of the file without an identity (an earlier version's, written by
// hand, or rewritten by a program that dropped the keys) are first matched
// with this run's by content, as the merge of a file without identities
// matches them (note_merge.h); an unmatched one gets an identity derived from
// the file alone, its content and place, so that every copy names it alike.
// A version of a note that this run last synced, found with other content
// and no new stamp (an editor's change), counts as made from it. Deletions
// are kept DeletionDays by the reading computer's clock.
#ifndef APPUNTELLO_STORE_IDENTITY_MERGE_H
#define APPUNTELLO_STORE_IDENTITY_MERGE_H

#include <string>
#include <vector>

#include "store/note_codec.h"
#include "store/note_merge.h"

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

// The identity of the other of two notes made apart: the same on every copy.
std::string ApartIdentity(const StoredNote& note);
// Of two versions made apart, the one that keeps the identity.
bool KeepsIdentity(const StoredNote& first, const StoredNote& second);

// Gives the file's notes without an identity the identity of the note of this
// run they are matched with (`base`, the store this run last synced, and the
// seen versions as for MatchRuns), or one derived from the file; a second
// note with an identity the file already has gets a new one too. A note that
// is the version this run last synced with other content and no new stamp
// gets a version made from it. `seenAt[place]` tells whether the file's note
// is a version this run had before: SeenBefore, or OldCopy for a note without
// an identity that matches none here (an old copy of a note this run has
// since deleted or changed, which goes).
constexpr char SeenBefore = 1;
constexpr char OldCopy = 2;
void IdentifyDisk(StoredRun& disk, const StoredRun& base, const std::vector<NoteHere>& here,
                  const SeenVersions& seen, std::vector<char>& seenAt);

struct IdentityMerge {
    MergeOutcome merge;
    // What the file keeps of deleted notes: those this run and the file know
    // of, less those of notes that stay, less those older than DeletionDays.
    Deletions deletions;
};

// `here`: this run's notes, each `now` with its identity and version (a
// changed note's version made from its record's); a note may come out with
// another identity or version (Apart, SameChange), which the save writes.
// `deletions`: the file's, the conflict copies' and this run's own, joined.
// `guarded`: the file was taken as damaged; what it changed is kept beside
// this run's notes, not instead of them.
IdentityMerge MergeByIdentity(std::vector<NoteHere>& here, const StoredRun& disk,
                              const std::vector<char>& diskSeen, const Deletions& deletions,
                              const std::vector<StoredNote>& fromCopies, long today, bool guarded = false);

struct StoreMergeInput {
    const StoredRun& base; // the store as this run last synced it
    StoredRun& disk;       // the file now; its notes come out identified (IdentifyDisk)
    bool identified;       // the file knows identities (HasIdentities)
    bool diskIsStale;      // the file's bytes are those of an older store this run read or wrote
    const SeenVersions& seen;
    const Deletions& deletions; // the file's, the copies' and this run's own, joined
    const std::vector<StoredNote>& fromCopies;
    long today;
};
// The whole merge of this run's notes with a file: its notes identified
// (IdentifyDisk), a file without identities deleting as it always did, then
// MergeByIdentity. `guarded` tells of a file without identities that would
// have closed most notes here.
IdentityMerge MergeStore(const StoreMergeInput& input, std::vector<NoteHere>& here);

// Deletions of two sources in one: per identity the later deletion, the
// versions joined.
Deletions JoinedDeletions(const Deletions& first, const Deletions& second);

#endif
