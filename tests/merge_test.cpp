// The store's reading and merging, without windows: for a file without
// identities, the base (the store as this run last read or wrote it), the
// notes here and the file on disk, one row per rule, each checked by what the
// file and the screen hold afterwards; for notes that know who they are, one
// row per rule of the merge's table, and the settings' row.
#include "store/merge.h"
#include "store/snapshot.h"
#include "tests/support/store_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// "Title|text"; nullptr in a run is a place that holds no note.
StoredNote N(const char* note)
{
    const std::string text = note;
    const std::size_t bar = text.find('|');
    return StoredNote{text.substr(0, bar), bar == std::string::npos ? "" : text.substr(bar + 1), ""};
}

std::string Shown(const StoredNote& note)
{
    return note.text.empty() ? note.title : note.title + "|" + note.text;
}

StoredRun RunOf(const std::vector<const char*>& notes)
{
    StoredRun run;
    for (const char* note : notes)
        run.push_back(note ? std::optional<StoredNote>(N(note)) : std::nullopt);
    return run;
}

std::string Ini(const StoredRun& run)
{
    return StoreText(run, "[OPZIONI]\r\nLARGHEZZA=160\r\n");
}

// A note of this run: the place of the base it was read from (-1: new here),
// and what it holds now (nullptr: deleted here).
struct Here {
    int from;
    const char* now;
    bool busy = false;
};

struct Row {
    const char* rule;
    std::vector<const char*> base;
    std::vector<Here> here;
    std::vector<const char*> disk;
    std::vector<const char*> file;       // the notes of the file afterwards, in order
    std::vector<const char*> screen;     // the notes here afterwards, then those the merge brought
    std::vector<const char*> older = {}; // versions this run read before the base (stale ones)
    bool diskIsStale = false;
    bool guarded = false;
    std::vector<const char*> copies = {}; // notes of a conflict copy
};

struct Result {
    std::vector<std::string> file;
    std::vector<std::string> screen;
    MergedStore merge;
};

constexpr long Today = 20000;
const StoredSettings Settings{160, 120, 65535};

// One merge, as this computer ("qui") makes it.
MergedStore MergeNow(RunSide& here, const Snapshot& disk, const std::vector<Snapshot>& copies = {},
                     const NoteHistory& history = NoteHistory())
{
    static VersionStamps stamps("qui", 100);
    return Merge(history, here, disk, copies, Today, stamps);
}

Snapshot Read(const StoredRun& run, const RunKnows& knows, bool stale = false)
{
    return ReadStore(IniDocument::Parse(Ini(run)), AnsiCharset, knows, stale, false);
}

// The base as a run holds it after loading a store without identities.
Snapshot Loaded(const StoredRun& base)
{
    static const std::vector<NoteHere> none;
    static const SeenContents nothingSeen;
    static const Version noVersion;
    return Read(base, RunKnows{StoredRun(), Settings, noVersion, none, nothingSeen, Today});
}

// This run's notes, stamped as a save stamps them: a changed note's version
// made from its record's, a new note's of its own.
std::vector<NoteHere> HereOf(const std::vector<Here>& notes, const Snapshot& base)
{
    std::vector<NoteHere> here;
    for (const Here& h : notes) {
        NoteHere note;
        if (h.from >= 0) {
            const std::size_t from = static_cast<std::size_t>(h.from);
            note.record = NoteRecord{h.from, base.notes[from], base.how[from]};
        }
        if (h.now) {
            note.now = N(h.now);
            if (note.record.base) {
                note.now->id = note.record.base->id;
                note.now->version = SameContent(*note.now, *note.record.base)
                                        ? note.record.base->version
                                        : SteppedVersion(note.record.base->version, "qui");
            } else {
                note.now->id = "nuova" + std::to_string(here.size());
                note.now->version = SteppedVersion(Version(), "qui");
            }
        }
        note.busy = h.busy;
        here.push_back(note);
    }
    return here;
}

Deletions DeletedHere(const std::vector<NoteHere>& here)
{
    Deletions deleted;
    for (const NoteHere& note : here)
        if (!note.now)
            deleted = JoinedDeletions(
                deleted, Deletions{{note.record.base->id, Deletion{note.record.base->version, Today}}});
    return deleted;
}

std::vector<std::string> ShownAfter(const MergedStore& merged, const std::vector<NoteHere>& here)
{
    std::vector<std::string> screen;
    for (std::size_t i = 0; i < here.size(); ++i) {
        const MergedHere& result = merged.here[i];
        if (!here[i].now || result.action == ScreenAction::Close)
            continue;
        screen.push_back(Shown(result.action == ScreenAction::Update ? *result.record.base : *here[i].now));
    }
    for (const MergedNew& added : merged.added)
        screen.push_back(Shown(added.note));
    return screen;
}

std::vector<std::string> FileAfter(const MergedStore& merged, const Snapshot& disk, const StoredRun& read)
{
    IniDocument file = IniDocument::Parse(Ini(read));
    PutNotes(file, merged.save, disk.notes, 0);
    std::vector<std::string> notes;
    for (const auto& note : StoredNotes(file))
        if (note)
            notes.push_back(Shown(*note));
    return notes;
}

Result Merge(const Row& row)
{
    const Snapshot base = Loaded(RunOf(row.base));
    RunSide here{HereOf(row.here, base), Settings, base.settingsVersion, {}};
    here.deletions = DeletedHere(here.notes);
    SeenContents seen;
    for (const auto& note : base.notes)
        if (note)
            seen.insert(HashOfContent(*note));
    for (const char* older : row.older)
        seen.insert(HashOfContent(N(older)));
    std::vector<Snapshot> copies;
    if (!row.copies.empty())
        copies.push_back(ReadCopy(IniDocument::Parse(Ini(RunOf(row.copies))), AnsiCharset));

    const StoredRun read = RunOf(row.disk);
    const Snapshot disk = Read(
        read, RunKnows{base.notes, Settings, base.settingsVersion, here.notes, seen, Today}, row.diskIsStale);
    Result result;
    result.merge = MergeNow(here, disk, copies);
    result.file = FileAfter(result.merge, disk, read);
    result.screen = ShownAfter(result.merge, here.notes);
    return result;
}

std::vector<std::string> Strings(const std::vector<const char*>& notes)
{
    return std::vector<std::string>(notes.begin(), notes.end());
}

// clang-format off
const Row Rows[] = {
    {"unchanged on both sides",
     {"A", "B"}, {{0, "A"}, {1, "B"}}, {"A", "B"},
     {"A", "B"}, {"A", "B"}},
    {"changed here only: this run's version",
     {"A", "B"}, {{0, "A|mio"}, {1, "B"}}, {"A", "B"},
     {"A|mio", "B"}, {"A|mio", "B"}},
    {"changed there only: the other version, in the file and on screen",
     {"A", "B"}, {{0, "A"}, {1, "B"}}, {"A", "B|suo"},
     {"A", "B|suo"}, {"A", "B|suo"}},
    {"added here: added to the file",
     {"A"}, {{0, "A"}, {-1, "N"}}, {"A"},
     {"A", "N"}, {"A", "N"}},
    {"added there: shown here",
     {"A"}, {{0, "A"}}, {"A", "C"},
     {"A", "C"}, {"A", "C"}},
    {"deleted here, unchanged there: gone",
     {"A", "B"}, {{0, "A"}, {1, nullptr}}, {"A", "B"},
     {"A"}, {"A"}},
    {"deleted there, unchanged here: its window closes",
     {"A", "B", "C"}, {{0, "A"}, {1, "B"}, {2, "C"}}, {"A", "C"},
     {"A", "C"}, {"A", "C"}},
    {"deleted here, changed there: kept",
     {"A", "B"}, {{0, "A"}, {1, nullptr}}, {"A", "B|suo"},
     {"A", "B|suo"}, {"A", "B|suo"}},
    {"deleted there, changed here: kept",
     {"A", "B"}, {{0, "A"}, {1, "B|mio"}}, {"A"},
     {"A", "B|mio"}, {"A", "B|mio"}},
    {"changed on both sides differently: both versions, as two notes",
     {"A", "B"}, {{0, "A"}, {1, "B|mio"}}, {"A", "B|suo"},
     {"A", "B|suo", "B|mio"}, {"A", "B|mio", "B|suo"}},
    {"the same change on both sides: one note",
     {"A"}, {{0, "A|uguale"}}, {"A|uguale"},
     {"A|uguale"}, {"A|uguale"}},
    {"renumbered after a delete there, a note renamed and rewritten there between its neighbours",
     {"A", "B", "C|vecchio", "D"}, {{0, "A"}, {1, "B"}, {2, "C|vecchio"}, {3, "D"}}, {"B", "X|nuovo", "D"},
     {"B", "X|nuovo", "D"}, {"B", "X|nuovo", "D"}},
    {"the last note renamed and rewritten there: closed here and shown anew",
     {"A", "B", "C|vecchio"}, {{0, "A"}, {1, "B"}, {2, "C|vecchio"}}, {"A", "B", "X|nuovo"},
     {"A", "B", "X|nuovo"}, {"A", "B", "X|nuovo"}},
    {"a note renamed there keeps its place and is renamed here",
     {"A|a", "B|b", "C|c"}, {{0, "A|a"}, {1, "B|b"}, {2, "C|c"}}, {"A|a", "X|b", "C|c"},
     {"A|a", "X|b", "C|c"}, {"A|a", "X|b", "C|c"}},
    {"a stale version there (an editor's old copy): this run's version stands",
     {"A|nuovo", "B"}, {{0, "A|nuovo"}, {1, "B"}}, {"A|vecchio", "B"},
     {"A|nuovo", "B"}, {"A|nuovo", "B"}, {"A|vecchio"}},
    {"a store equal to an older one: nothing in it deletes or changes a note here",
     {"A|nuovo", "B"}, {{0, "A|nuovo"}, {1, "B"}, {-1, "N"}}, {"A|vecchio"},
     {"A|nuovo", "B", "N"}, {"A|nuovo", "B", "N"}, {"A|vecchio"}, true},
    {"a store without a note that matched: both sides' notes",
     {"A|a", "B|b"}, {{0, "A|a"}, {1, "B|b"}}, {"X|x", "Y|y"},
     {"X|x", "Y|y", "A|a", "B|b"}, {"A|a", "B|b", "X|x", "Y|y"}, {}, false, true},
    {"a cut-off file closes nothing and changes nothing here",
     {"A|a", "B|bbbb", "C|c", "D|d", "E|e"},
     {{0, "A|a"}, {1, "B|bbbb"}, {2, "C|c"}, {3, "D|d"}, {4, "E|e"}}, {"A|a", "B|bb"},
     {"A|a", "B|bb", "B|bbbb", "C|c", "D|d", "E|e"}, {"A|a", "B|bbbb", "C|c", "D|d", "E|e", "B|bb"},
     {}, false, true},
    {"an empty file closes nothing",
     {"A", "B"}, {{0, "A"}, {1, "B"}}, {},
     {"A", "B"}, {"A", "B"}, {}, false, true},
    {"a place without a note stays where it is",
     {"A", nullptr, "B"}, {{0, "A|mio"}, {2, "B"}}, {"A", nullptr, "B", "C"},
     {"A|mio", "B", "C"}, {"A|mio", "B", "C"}},
    {"a note new here that the file holds too is that note",
     {"A"}, {{0, "A"}, {-1, "N|copiata"}}, {"A", "N|copiata"},
     {"A", "N|copiata"}, {"A", "N|copiata"}},
    {"but two new empty notes of the same minute are two notes",
     {"A"}, {{0, "A"}, {-1, "N"}}, {"A", "N"},
     {"A", "N", "N"}, {"A", "N", "N"}},
    {"a conflict copy's notes not present are added",
     {"A"}, {{0, "A"}}, {"A"},
     {"A", "C|dalla copia"}, {"A", "C|dalla copia"}, {}, false, false, {"A", "C|dalla copia"}},
    {"a note whose menu is open waits: neither rewritten nor closed",
     {"A", "B", "C"}, {{0, "A", true}, {1, "B", true}, {2, "C"}}, {"A|suo", "C"},
     {"A|suo", "C"}, {"A", "B", "C"}},
};
// clang-format on

} // namespace

TEST(NoteMerge, EachRuleAsTheFileAndTheScreenShowIt)
{
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.rule);
        const Result result = Merge(row);
        EXPECT_EQ(result.file, Strings(row.file));
        EXPECT_EQ(result.screen, Strings(row.screen));
        EXPECT_EQ(result.merge.setAside, row.guarded) << "a damaged file is kept aside";
    }
}

// What the other side took away was saved here: the run keeps a copy first.
// A busy note waits, and the next merge, once it is free, carries it out.
TEST(NoteMerge, TakingAwayASavedNoteIsToldAndABusyNoteWaitsForTheNextMerge)
{
    const Snapshot base = Loaded(RunOf({"A", "B", "C"}));
    RunSide here{
        HereOf({{0, "A", true}, {1, "B", true}, {2, "C"}}, base), Settings, base.settingsVersion, {}};
    SeenContents seen;
    for (const auto& note : base.notes)
        seen.insert(HashOfContent(*note));
    const StoredRun read = RunOf({"A|suo", "C"});
    const Snapshot disk =
        Read(read, RunKnows{base.notes, Settings, base.settingsVersion, here.notes, seen, Today});
    MergedStore merged = MergeNow(here, disk);
    EXPECT_TRUE(merged.waiting);
    EXPECT_FALSE(merged.takesAwaySaved) << "nothing was taken away: the busy notes wait";

    // The file as the first merge left it, with B's deletion: the two notes
    // that waited are free now.
    for (std::size_t i = 0; i < 3; ++i) {
        here.notes[i].record = merged.here[i].record;
        here.notes[i].busy = false;
    }
    IniDocument file = IniDocument::Parse(Ini(read));
    PutNotes(file, merged.save, disk.notes, 0);
    PutDeletions(file, merged.deletions);
    here.deletions = merged.deletions;
    const Snapshot written = ReadStore(
        file, AnsiCharset, RunKnows{disk.notes, Settings, base.settingsVersion, here.notes, seen, Today},
        false, false);
    merged = MergeNow(here, written);
    EXPECT_FALSE(merged.waiting);
    EXPECT_EQ(merged.here[0].action, ScreenAction::Update);
    EXPECT_EQ(merged.here[1].action, ScreenAction::Close);
    EXPECT_EQ(merged.here[2].action, ScreenAction::Keep);
    EXPECT_TRUE(merged.takesAwaySaved);
}

// The settings are a row of their own: the later version stands; of two
// made apart, one value stands, the same on both copies, and the versions
// join. A file without a version is read against the version this run last
// synced: other values are a hand edit made from it, a missing key is no
// change, and a stale file changes nothing.
TEST(NoteMerge, SettingsStandByTheirVersionsAndAFileWithoutOneIsAHandEdit)
{
    const Version synced = *ParseVersion("p:1");
    const std::vector<NoteHere> none;
    const SeenContents nothingSeen;
    const RunKnows knows{StoredRun(), Settings, synced, none, nothingSeen, Today};
    const IniDocument options = IniDocument::Parse("[OPZIONI]\r\nLARGHEZZA=200\r\nALTEZZA=120\r\n");
    const Snapshot disk = ReadStore(options, AnsiCharset, knows, false, false);
    EXPECT_EQ(disk.settings.color, 65535ul) << "a missing key is no change";
    EXPECT_EQ(CompareVersions(disk.settingsVersion, synced), VersionOrder::After) << "a hand edit";
    const Snapshot stale = ReadStore(options, AnsiCharset, knows, true, false);
    EXPECT_EQ(stale.settings.width, 160);
    EXPECT_EQ(stale.settingsVersion, synced);

    RunSide unchanged{{}, Settings, synced, {}};
    EXPECT_EQ(MergeNow(unchanged, disk).settings.width, 200) << "the later version stands";
    RunSide changed{{}, StoredSettings{300, 120, 65535}, SteppedVersion(synced, "q"), {}};
    const MergedStore here = MergeNow(changed, disk);
    EXPECT_EQ(MergeNow(changed, stale).settings.width, 300);
    // The other copy, holding the hand edit, meets this run's change.
    Snapshot ours;
    ours.settings = changed.settings;
    ours.settingsVersion = changed.settingsVersion;
    RunSide theirs{{}, disk.settings, disk.settingsVersion, {}};
    const MergedStore there = MergeNow(theirs, ours);
    EXPECT_EQ(here.settings.width, there.settings.width) << "one value stands on both";
    EXPECT_TRUE(here.settings.width == 200 || here.settings.width == 300);
    EXPECT_EQ(here.settingsVersion, JoinedVersion(changed.settingsVersion, disk.settingsVersion));
    EXPECT_EQ(here.settingsVersion, there.settingsVersion);
}

namespace {

// A note of a store that knows identities: "text@computer:count,...".
StoredNote V(const char* note)
{
    const std::string text = note;
    const std::size_t at = text.find('@');
    StoredNote stored{"T", text.substr(0, at), ""};
    stored.id = "n1";
    stored.version = *ParseVersion(text.substr(at + 1));
    return stored;
}

struct RuleRow {
    const char* rule;
    const char* here; // nullptr: no window of this note here
    bool known;       // it was in a store this run synced
    const char* disk; // nullptr: the file has no note of this identity
    const char* deletedAt;
    NoteRule expected;
    bool diskSeen = false;
    bool joinable = false; // the two have one note with both changes
};

// clang-format off
const RuleRow RuleRows[] = {
    {"the same version", "a@p:1", true, "a@p:1", nullptr, NoteRule::Unchanged},
    {"made from this window's version", "a@p:1", true, "b@p:1,q:1", nullptr, NoteRule::TakeTheirs},
    {"this window's version deleted, a later one lives", "a@p:1", true, "b@p:1,q:1", "p:1", NoteRule::TakeTheirs},
    {"made from the file's", "b@p:2", true, "a@p:1", nullptr, NoteRule::KeepOurs},
    {"an exact version this run had before", "b@p:2", true, "a@p:2", nullptr, NoteRule::KeepOurs, true},
    {"changed alike on both", "b@p:2", true, "b@p:1,q:1", nullptr, NoteRule::SameChange},
    {"made apart", "b@p:2", true, "c@p:1,q:1", nullptr, NoteRule::Apart},
    {"made apart, the common version held, changes apart", "b@p:2", true, "c@p:1,q:1", nullptr, NoteRule::Joined, false, true},
    {"the same content made apart stays one whether joinable or not", "b@p:2", true, "b@p:1,q:1", nullptr, NoteRule::SameChange, false, true},
    {"made from this window's, joinable or not", "a@p:1", true, "b@p:1,q:1", nullptr, NoteRule::TakeTheirs, false, true},
    {"alike but other content (no new stamp)", "b@p:2", true, "c@p:2", nullptr, NoteRule::Apart},
    {"deleted there at this version", "a@p:1", true, nullptr, "p:1", NoteRule::DeletedThere},
    {"deleted there, the file still holds a deleted version", "a@p:1", true, "a@p:1", "p:1", NoteRule::DeletedThere},
    {"changed here where the deletion had not arrived", "b@p:1,q:1", true, nullptr, "p:1", NoteRule::KeptAgainstDeletion},
    {"absent, no deletion: a cut-off or old copy", "a@p:1", true, nullptr, nullptr, NoteRule::NotInFile},
    {"new here", "a@p:1", false, nullptr, nullptr, NoteRule::NewHere},
    {"deleted here, unchanged there", nullptr, true, "a@p:1", "p:1", NoteRule::Gone},
    {"deleted here, changed there since", nullptr, true, "b@p:1,q:1", "p:1", NoteRule::NewThere},
    {"only in the file", nullptr, false, "a@q:1", nullptr, NoteRule::NewThere},
};
// clang-format on

} // namespace

TEST(NoteMerge, EachRuleByIdentityAndVersion)
{
    for (const RuleRow& row : RuleRows) {
        SCOPED_TRACE(row.rule);
        const StoredNote here = row.here ? V(row.here) : StoredNote{};
        const StoredNote disk = row.disk ? V(row.disk) : StoredNote{};
        const Deletion deleted{row.deletedAt ? *ParseVersion(row.deletedAt) : Version(), 20000};
        EXPECT_EQ(DecideNote(row.here ? &here : nullptr, row.known, row.disk ? &disk : nullptr, row.diskSeen,
                             row.deletedAt ? &deleted : nullptr, row.joinable),
                  row.expected);
    }
}

// Two copies that meet the same two versions made apart split them alike,
// whichever of them holds which: the same identities, versions and notes.
TEST(NoteMerge, VersionsMadeApartSplitAlikeOnEveryCopy)
{
    const StoredNote mine = V("mio@p:2"), theirs = V("suo@p:1,q:1");
    auto merge = [](const StoredNote& here, const StoredNote& there) {
        RunSide notes{std::vector<NoteHere>(1), Settings, Version(), {}};
        notes.notes[0].record = NoteRecord{0, V("base@p:1")};
        notes.notes[0].now = here;
        Snapshot disk;
        disk.notes = StoredRun{there};
        disk.how = {IdentityFrom::File};
        disk.seen = {0};
        const MergedStore merged = MergeNow(notes, disk);
        std::vector<std::string> result{notes.notes[0].now->id + "=" + notes.notes[0].now->text};
        for (const MergedNew& added : merged.added)
            result.push_back(added.note.id + "=" + added.note.text +
                             (added.note.origin.empty() ? "" : "<" + added.note.origin));
        std::sort(result.begin(), result.end());
        return result;
    };
    const std::vector<std::string> here = merge(mine, theirs), there = merge(theirs, mine);
    ASSERT_EQ(here.size(), 2u);
    EXPECT_EQ(here.size(), there.size());
    // The same identities for the same texts on both copies.
    for (const std::string& note : here)
        EXPECT_NE(std::find_if(there.begin(), there.end(),
                               [&](const std::string& other) {
                                   return other.substr(0, other.find('<')) == note.substr(0, note.find('<'));
                               }),
                  there.end())
            << note;
}

namespace {

// "title|text|voice".
StoredNote F(const char* note)
{
    const std::string text = note;
    const std::size_t first = text.find('|'), second = text.find('|', first + 1);
    return StoredNote{text.substr(0, first), text.substr(first + 1, second - first - 1),
                      text.substr(second + 1)};
}

struct JoinRow {
    const char* rule;
    const char* common;
    const char* first;
    const char* second;
    const char* joined; // nullptr: both notes are kept
};

// clang-format off
const JoinRow JoinRows[] = {
    {"a word at each end of the text", "Spesa|pane latte|", "Spesa|pane latte uova|", "Spesa|burro pane latte|", "Spesa|burro pane latte uova|"},
    {"the title on one side, the text on the other", "Spesa|pane|", "Lista|pane|", "Spesa|pane latte|", "Lista|pane latte|"},
    {"a voice message on one side, the text on the other", "Spesa|pane|", "Spesa|pane|C:\\v.wav", "Spesa|pane latte|", "Spesa|pane latte|C:\\v.wav"},
    {"two titles", "Spesa|pane|", "Lista|pane|", "Conto|pane latte|", nullptr},
    {"two voice paths", "Spesa|pane|", "Spesa|pane|C:\\a.wav", "Spesa|pane latte|C:\\b.wav", nullptr},
    {"the same word changed differently", "Spesa|pane latte|", "Spesa|pane burro|", "Spesa|pane uova|", nullptr},
};
// clang-format on

} // namespace

// What two versions made apart join into, field by field, against the
// version both were made from; a text that would not fit in a note is no join.
TEST(NoteMerge, VersionsMadeApartJoinFieldByField)
{
    for (const JoinRow& row : JoinRows) {
        SCOPED_TRACE(row.rule);
        const std::optional<StoredNote> joined = JoinedNote(F(row.common), F(row.first), F(row.second));
        ASSERT_EQ(joined.has_value(), row.joined != nullptr);
        if (joined) {
            EXPECT_TRUE(SameContent(*joined, F(row.joined)))
                << joined->title << "|" << joined->text << "|" << joined->voicePath;
        }
    }
    const std::string full(NoteTextLimit - 3, 'x');
    EXPECT_FALSE(JoinedNote(StoredNote{"T", full, ""}, StoredNote{"T", full + " a", ""},
                            StoredNote{"T", "b " + full, ""}))
        << "longer than a note holds";
    EXPECT_EQ(CommonVersion(*ParseVersion("p:3,q:1"), *ParseVersion("p:2,r:4")), *ParseVersion("p:2"));
}

// Two copies meeting the same two versions made apart, both holding the
// version they were made from, join them into the same text, each under a
// version above both; without it, both notes are kept, as before.
TEST(NoteMerge, VersionsMadeApartJoinAlikeWhereTheCommonVersionIsHeld)
{
    const StoredNote common = V("pane latte@p:1"), mine = V("pane latte uova@p:2"),
                     theirs = V("burro pane latte@p:1,q:1");
    NoteHistory history;
    history.Remember(common);
    auto merge = [&](const StoredNote& here, const StoredNote& there, const NoteHistory& held) {
        RunSide notes{std::vector<NoteHere>(1), Settings, Version(), {}};
        notes.notes[0].record = NoteRecord{0, common};
        notes.notes[0].now = here;
        Snapshot disk;
        disk.notes = StoredRun{there};
        disk.how = {IdentityFrom::File};
        disk.seen = {0};
        return MergeNow(notes, disk, {}, held);
    };
    const MergedStore here = merge(mine, theirs, history), there = merge(theirs, mine, history);
    ASSERT_EQ(here.here[0].action, ScreenAction::Update);
    ASSERT_EQ(there.here[0].action, ScreenAction::Update);
    const StoredNote& a = *here.here[0].record.base;
    const StoredNote& b = *there.here[0].record.base;
    EXPECT_EQ(a.text, "burro pane latte uova");
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.id, "n1");
    EXPECT_EQ(CompareVersions(a.version, JoinedVersion(mine.version, theirs.version)), VersionOrder::After);
    EXPECT_TRUE(here.added.empty()) << "one note";

    const MergedStore without = merge(mine, theirs, NoteHistory());
    EXPECT_EQ(without.here[0].action, ScreenAction::Keep);
    EXPECT_EQ(without.added.size(), 1u) << "both kept";
}
