// The merge on random stores, through the store's own session on files in
// memory: each case loads a store of an earlier version (no identities),
// applies random edits, deletes and adds to its notes on the screen and, as
// another writer of that version, in the file, recording them, syncs, and
// checks that the file and the screen hold exactly what the recorded
// operations give by the merge's rules: a note deleted on one side and
// untouched on the other is gone, every other note of either side is there,
// as many times as the rules say. A second sync must then write nothing and
// change nothing on screen, so that two writers settle.
//
// APPUNTELLO_MERGE_CASES raises the number of cases (scripts/fuzz merge N).
#include "tests/support/memory_disk.h"
#include "tests/support/rng.h"
#include "tests/support/store_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum class Op { Keep, EditText, EditTitle, EditBoth, Delete };

struct Side {
    std::vector<Op> ops;            // per base note
    std::vector<StoredNote> edited; // per base note: its version after an edit
    std::vector<StoredNote> added;
};

std::string Shown(const StoredNote& note)
{
    return note.title + "|" + note.text;
}

Side RandomSide(Rng& rng, const std::vector<StoredNote>& base, const char* who, int& serial, bool deletes)
{
    Side side;
    for (const StoredNote& note : base) {
        Op op = static_cast<Op>(rng.Below(deletes ? 5 : 4));
        StoredNote edited = note;
        const std::string mark = std::string(who) + std::to_string(serial++);
        if (op == Op::EditText || op == Op::EditBoth)
            edited.text = note.text + " " + mark;
        if (op == Op::EditTitle || op == Op::EditBoth)
            edited.title = note.title + " " + mark;
        side.ops.push_back(op);
        side.edited.push_back(edited);
    }
    for (std::size_t n = rng.Below(3); n > 0; --n) {
        const std::string mark = std::string(who) + std::to_string(serial++);
        side.added.push_back(StoredNote{"nuova " + mark, rng.OneIn(3) ? "" : "testo " + mark, ""});
    }
    return side;
}

std::vector<StoredNote> Applied(const std::vector<StoredNote>& base, const Side& side)
{
    std::vector<StoredNote> notes;
    for (std::size_t i = 0; i < base.size(); ++i)
        if (side.ops[i] != Op::Delete)
            notes.push_back(side.edited[i]);
    return notes;
}

struct Case {
    std::vector<StoredNote> base;
    Side here, disk;
    bool diskInsertsInside; // the other side's new notes are put between its others (a hand edit)
};

// Three kinds of case, so that every note stays matched with its own base
// wherever the other side's deletes make the number of notes it would close
// count: with deletes, titles are unique and an edit keeps the title or the
// text; without them, titles may be shared (notes of the same minute), or a
// note may be renamed and rewritten, matched then by its neighbours, which
// may pair it with another note: that gives the same notes.
Case RandomCase(std::uint64_t seed)
{
    Rng rng(seed);
    Case c;
    int serial = 0;
    enum { Deletes, SharedTitles, Rewrites } kind = static_cast<decltype(Deletes)>(rng.Below(3));
    for (std::size_t n = rng.Below(9); n > 0; --n) {
        std::string title = "Appuntello - 09/12/2026  10:0" + std::to_string(rng.Below(4));
        if (kind != SharedTitles)
            title += " " + std::to_string(serial);
        c.base.push_back(
            StoredNote{title, "testo " + std::to_string(serial++), rng.OneIn(5) ? "C:\\v.wav" : ""});
    }
    c.here = RandomSide(rng, c.base, "q", serial, true);
    c.disk = RandomSide(rng, c.base, "l", serial, kind == Deletes);
    // A note renamed and rewritten there is matched only between two
    // neighbours: never the first nor the last.
    for (std::size_t i = 0; i < c.base.size(); ++i)
        if (c.disk.ops[i] == Op::EditBoth && (kind != Rewrites || i == 0 || i + 1 == c.base.size())) {
            c.disk.ops[i] = Op::EditText;
            c.disk.edited[i].title = c.base[i].title;
        }
    c.diskInsertsInside = kind != Deletes && rng.OneIn(3);
    return c;
}

// What the rules give for the recorded operations.
std::vector<std::string> Expected(const Case& c)
{
    std::size_t notesHere = c.here.added.size(), closing = 0;
    for (std::size_t i = 0; i < c.base.size(); ++i) {
        if (c.here.ops[i] != Op::Delete)
            ++notesHere;
        if (c.here.ops[i] == Op::Keep && c.disk.ops[i] == Op::Delete)
            ++closing;
    }
    const bool guarded = closing > 0 && (closing == notesHere || (notesHere > 2 && 2 * closing > notesHere));
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < c.base.size(); ++i) {
        const Op h = c.here.ops[i], d = c.disk.ops[i];
        const std::string base = Shown(c.base[i]), mine = Shown(c.here.edited[i]),
                          theirs = Shown(c.disk.edited[i]);
        if (h == Op::Delete) {
            if (d != Op::Keep && d != Op::Delete)
                notes.push_back(theirs); // deleted here, changed there: kept
        } else if (d == Op::Delete) {
            if (h != Op::Keep || guarded)
                notes.push_back(mine); // changed here, or a file that would close too many
        } else if (h == Op::Keep && d == Op::Keep) {
            notes.push_back(base);
        } else if (h == Op::Keep) {
            notes.push_back(theirs);
            if (guarded)
                notes.push_back(base); // a damaged file replaces nothing: both kept
        } else if (d == Op::Keep) {
            notes.push_back(mine);
        } else {
            notes.push_back(mine); // changed on both sides: both kept
            notes.push_back(theirs);
        }
    }
    for (const StoredNote& note : c.here.added)
        notes.push_back(Shown(note));
    for (const StoredNote& note : c.disk.added)
        notes.push_back(Shown(note));
    std::sort(notes.begin(), notes.end());
    return notes;
}

std::vector<std::string> Sorted(const StoredRun& run)
{
    std::vector<std::string> notes;
    for (const auto& note : run)
        if (note)
            notes.push_back(Shown(*note));
    std::sort(notes.begin(), notes.end());
    return notes;
}

std::vector<std::string> Sorted(const std::vector<std::pair<NoteKey, StoredNote>>& screen)
{
    std::vector<std::string> notes;
    for (const auto& note : screen)
        notes.push_back(Shown(note.second));
    std::sort(notes.begin(), notes.end());
    return notes;
}

// A sync that is put off while the other writer's file holds still is tried
// again a moment later, as autosave does.
SyncResult SyncOnceStill(SimulatedCopy& copy, unsigned long& ticks)
{
    SyncResult result = SyncResult::Later;
    for (int tries = 0; tries < 5 && result == SyncResult::Later; ++tries) {
        result = copy.Sync();
        ticks += 1500;
    }
    return result;
}

std::uint64_t CaseCount()
{
    const char* value = std::getenv("APPUNTELLO_MERGE_CASES");
    return value ? std::strtoull(value, nullptr, 10) : 2000;
}

} // namespace

TEST(NoteMergeProperty, RandomEditsOnBothSidesGiveWhatTheRulesSayAndASecondMergeChangesNothing)
{
    const std::uint64_t cases = CaseCount();
    int failures = 0;
    for (std::uint64_t seed = 1; seed <= cases && failures < 5; ++seed) {
        const Case c = RandomCase(seed);
        Folder folder;
        unsigned long ticks = 100000;
        folder.Put("Appuntello.ini", StoreText(StoredRun(c.base.begin(), c.base.end())));
        SimulatedCopy copy(folder, ticks, "qui");
        copy.Start();
        ASSERT_EQ(copy.screen.size(), c.base.size());

        // This run's side, on the screen.
        std::vector<std::pair<NoteKey, StoredNote>> screen;
        for (std::size_t i = 0; i < c.base.size(); ++i)
            if (c.here.ops[i] != Op::Delete)
                screen.emplace_back(copy.screen[i].first, c.here.edited[i]);
        for (const StoredNote& note : c.here.added)
            screen.emplace_back(copy.nextKey++, note);
        copy.screen = screen;

        // The other writer's, in the file.
        std::vector<StoredNote> disk = Applied(c.base, c.disk);
        Rng place(seed ^ 0x5eedull);
        for (const StoredNote& note : c.disk.added)
            disk.insert(c.diskInsertsInside ? disk.begin() + static_cast<long>(place.Below(disk.size() + 1))
                                            : disk.end(),
                        note);
        folder.Put("Appuntello.ini", StoreText(StoredRun(disk.begin(), disk.end())));

        const bool synced = SyncOnceStill(copy, ticks) == SyncResult::Done;
        const std::vector<std::string> expected = Expected(c);
        const StoredRun file = StoredNotes(IniDocument::Parse(folder.files["Appuntello.ini"]));
        const bool ok = synced && Sorted(file) == expected && Sorted(copy.screen) == expected;
        EXPECT_TRUE(synced) << "seed " << seed;
        EXPECT_EQ(Sorted(file), expected) << "the file, seed " << seed;
        EXPECT_EQ(Sorted(copy.screen), expected) << "the screen, seed " << seed;

        // Nothing changed since on either side: nothing to show, nothing to write.
        const int writes = copy.disk.writes;
        const bool again = SyncOnceStill(copy, ticks) == SyncResult::Done;
        const bool settled = again && copy.disk.writes == writes && copy.changes.update.empty() &&
                             copy.changes.close.empty() && copy.changes.show.empty();
        EXPECT_TRUE(settled) << "a second sync changed something, seed " << seed;
        if (!ok || !settled)
            ++failures;
    }
}
