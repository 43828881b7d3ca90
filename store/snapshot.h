// Reading, the first of the store's three steps (snapshot, merge, session):
// a file of notes becomes one snapshot. The store itself, a sync client's
// conflict copy of it and a file of deleted notes brought back are read
// alike: every note with an identity, a version and how its identity was
// given; the settings with their version; the deletions the file tells of.
//
// A file of an earlier version, or written by hand, may hold notes without
// an identity. Such a note is matched by content with the notes of this run
// (the store it last synced, and its notes new since), as a file without
// identities always was matched (see MatchRuns), or gets an identity derived
// from the file alone, the same on every copy that reads it. A file without
// any identity deletes as it always did: a note it lacks that is unchanged
// here and that no copy of this version stamped was deleted there, unless that
// would close most notes here (the file is then taken as damaged). So after
// this step nothing asks what kind of file it was: the merge sees notes with
// identities and versions, each saying how its identity was given, and
// deletions. No windows here: tested natively.
#ifndef APPUNTELLO_STORE_SNAPSHOT_H
#define APPUNTELLO_STORE_SNAPSHOT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "store/ini_document.h"
#include "store/note_codec.h"

// How a note of a file got its identity.
enum class IdentityFrom : char {
    File,    // the file holds it
    Matched, // the file holds none: that of the note of this run it was matched with by content
    Derived, // the file holds none, nor matched one here: derived from the file alone
};

// A note's content (title, text, voice path) as one number: two notes hold
// the same when their numbers are equal.
using ContentHash = std::uint64_t;
ContentHash HashOfContent(const StoredNote& note);
// Contents of notes this run read or wrote.
using SeenContents = std::unordered_set<ContentHash>;

// What the run knows of one of its notes against the store it last synced.
struct NoteRecord {
    int place = -1;                        // its place in that store's run; -1 when it is not there
    std::optional<StoredNote> base;        // its version as last read or written; none for a note new here
    IdentityFrom how = IdentityFrom::File; // how the base got its identity
};

// One note of this run, `now` with its identity and the version a save gives
// it (its record's, or one made from it where it changed).
struct NoteHere {
    NoteRecord record;
    std::optional<StoredNote> now; // none: deleted here since the last sync
    // Its menu, title dialog or recorder is open: it is neither rewritten nor
    // closed now, and waits for a later merge.
    bool busy = false;
};

// A version this run had before, found in a file: SeenBefore for a note of
// this run (an old copy written back, which changes nothing), OldCopy for a
// note without identity that matches none here (an old copy of a note this
// run has since deleted or changed, which goes).
constexpr char SeenBefore = 1;
constexpr char OldCopy = 2;

struct Snapshot {
    StoredRun notes;               // by place, from section "0" on
    std::vector<IdentityFrom> how; // per place
    std::vector<char> seen;        // per place: SeenBefore, OldCopy or 0
    StoredSettings settings{DefaultNoteWidth, DefaultNoteHeight, DefaultNoteColor};
    Version settingsVersion;
    Deletions deletions;
    // Cut off, or (without identities) lacking most notes here: it deletes
    // nothing, what it changed is kept beside this run's notes, and the file
    // is kept aside before anything is written.
    bool damaged = false;
};

// What the run knows when it reads its store.
struct RunKnows {
    const StoredRun& base; // the store as this run last synced it: nothing before the first
    const StoredSettings& baseSettings;
    const Version& baseSettingsVersion;
    const std::vector<NoteHere>& here; // nothing while loading
    const SeenContents& seen;
    long today;
};

// The store. Settings keep the version this run last synced where the file
// has none; either way, values that differ from what that version held are a
// hand edit, stamped so that every copy reading the same file makes the same
// version (a missing key is no change). `stale`: the bytes are those of a
// store this run read or wrote before (an old copy written back): it changes
// no setting and deletes nothing by what it lacks. `cut`: the file ends
// inside a note (EndsMidNote) and stayed so: that note is not read, and the
// file is damaged.
Snapshot ReadStore(const IniDocument& document, const TextCharset& charset, const RunKnows& run, bool stale,
                   bool cut);
// A sync client's conflict copy: its notes and deletions; its settings are
// not taken. A note without identity gets one derived from its content.
Snapshot ReadCopy(const IniDocument& document, const TextCharset& charset);
// A file of deleted notes brought back: each note steps above the version it
// was deleted at, by a count named after the file's bytes, so that every copy
// taking in the same file makes the same version.
Snapshot ReadRestored(const IniDocument& document, const TextCharset& charset, std::string_view bytes);

// For each place of `disk` (notes without identity), the place of `base` it
// was matched with, or -1: the same note unchanged; the same text (a note
// renamed; before titles, which notes made in the same minute share); the
// same title (its text or voice changed); the first free place between the
// places its matched neighbours came from (a note renamed and rewritten).
// When matching fails, a note counts as deleted on one side and added on the
// other: two notes, never a lost one.
std::vector<int> MatchRuns(const StoredRun& base, const StoredRun& disk);

// A version no copy of this program stamped (every count derived from a file).
bool OnlyDerived(const Version& version);

// The identity the second of two versions of a note takes when both are kept:
// the same on every copy.
std::string ApartIdentity(const StoredNote& note);

// A file that would close this many of the notes here is taken as damaged:
// every note, or more than half of them when there are more than two.
bool ClosesTooMany(std::size_t closing, std::size_t notes);

// Deletions of two sources in one: per identity the later deletion, the
// versions joined.
Deletions JoinedDeletions(const Deletions& first, const Deletions& second);

#endif
