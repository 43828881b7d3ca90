// The note codec alone, on documents made in memory: what a save puts into
// the store and what a load takes out, without windows.
#include "store/note_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<NoteToSave> New(const std::vector<StoredNote>& notes)
{
    std::vector<NoteToSave> save;
    for (const StoredNote& note : notes)
        save.push_back(NoteToSave{note, -1});
    return save;
}

// The notes of the run; a place without a note shows as "-".
std::vector<std::string> Titles(const IniDocument& store)
{
    std::vector<std::string> titles;
    for (const std::optional<StoredNote>& note : StoredNotes(store))
        titles.push_back(note ? note->title : "-");
    return titles;
}

} // namespace

TEST(NoteCodec, NotesAndSettingsReadBackAsTheyWereWritten)
{
    IniDocument store;
    const std::vector<StoredNote> notes{{"Spesa", "pane\r\nlatte\rburro #@", "C:\\Voce\\spesa.wav"},
                                        {" spazi ", "", ""}};
    PutSettings(store, StoredSettings{320, 240, 0x00FF7FFF});
    PutNotes(store, New(notes), {}, 0);

    const IniDocument reread = IniDocument::Parse(store.Serialize());
    const StoredSettings settings = ReadSettings(reread);
    EXPECT_EQ(settings.width, 320);
    EXPECT_EQ(settings.height, 240);
    EXPECT_EQ(settings.color, 0x00FF7FFFul);
    const StoredRun back = StoredNotes(reread);
    ASSERT_EQ(back.size(), 2u);
    ASSERT_TRUE(back[0] && back[1]);
    // The lone CR comes back as the line break it showed as; "#@" typed by
    // the user becomes one.
    EXPECT_EQ(back[0]->text, "pane\r\nlatte\r\nburro \r\n");
    EXPECT_EQ(back[0]->voicePath, notes[0].voicePath);
    EXPECT_EQ(back[1]->title, " spazi ");
    EXPECT_EQ(back[1]->text, "");
}

TEST(NoteCodec, SettingsThatAreNoSizeOrNoNumberAreMadeSound)
{
    const IniDocument store =
        IniDocument::Parse("[OPZIONI]\r\nLARGHEZZA=99999\r\nALTEZZA=abc\r\nCOLORE=-1\r\n");
    const StoredSettings settings = ReadSettings(store);
    EXPECT_EQ(settings.width, 32767);
    EXPECT_EQ(settings.height, 120);
    EXPECT_EQ(settings.color, 0x00FFFFFFul);
    EXPECT_EQ(ReadSettings(IniDocument::Parse("[OPZIONI]\r\nLARGHEZZA=0\r\nALTEZZA=-5\r\n")).height, 40);
}

// Sections beyond a gap were not loaded: the notes written now must neither
// overwrite them nor make them reachable by closing the gap.
TEST(NoteCodec, UnreachedSectionsStayBeyondTheNotesWritten)
{
    IniDocument store = IniDocument::Parse("[0]\r\nTITOLO=a\r\n[2]\r\nTITOLO=lontano\r\nPOS=1\r\n");
    ASSERT_EQ(Titles(store), std::vector<std::string>{"a"});

    const StoredRun shown = StoredNotes(store);
    PutNotes(store, {{{"uno", "", ""}, 0}, {{"due", "", ""}, -1}, {{"tre", "", ""}, -1}}, shown, 0);
    EXPECT_EQ(Titles(store), (std::vector<std::string>{"uno", "due", "tre"}));
    EXPECT_EQ(store.SectionNames().size(), 4u);
    // One number apart from the notes, so still beyond a gap, whole.
    EXPECT_EQ(store.Get("4", "TITOLO").value_or(""), "lontano");
    EXPECT_EQ(store.Get("4", "POS").value_or(""), "1");
}

// What the user did not touch goes back as it was: the other lines of a
// note's section follow it to its new number, and a value cut at load is
// written back whole unless the user changed it.
TEST(NoteCodec, UntouchedLinesAndValuesCutAtLoadAreKept)
{
    const std::string longTitle(100, 't');
    const std::string longText(3000, 'x');
    IniDocument store = IniDocument::Parse(
        "[0]\r\nTITOLO=via\r\nMESSAGE=\r\nAUDIO=\r\n"
        "[1]\r\n; commento\r\nTITOLO=" +
        longTitle + "\r\nPOS=10,20\r\nriga senza uguale\r\nMESSAGE=" + longText + "\r\nAUDIO=nf\r\n");
    const StoredRun shown = StoredNotes(store);
    ASSERT_EQ(shown.size(), 2u);
    ASSERT_TRUE(shown[1]);
    EXPECT_EQ(shown[1]->title.size(), 63u);
    EXPECT_EQ(shown[1]->text.size(), 1024u) << "a note holds what its edit field holds";
    EXPECT_EQ(shown[1]->voicePath, "") << "\"nf\" is no voice message";

    // Note 0 deleted; note 1 moves to "0" untouched; a new note follows.
    PutNotes(store, {{*shown[1], 1}, {{"nuova", "", ""}, -1}}, shown, 0);
    const std::string bytes = store.Serialize();
    EXPECT_EQ(bytes.find("TITOLO=via"), std::string::npos);
    EXPECT_NE(bytes.find("[0]\r\n; commento\r\nTITOLO=" + longTitle +
                         "\r\nPOS=10,20\r\nriga senza uguale\r\n"
                         "MESSAGE=" +
                         longText + "\r\nAUDIO=nf\r\n"),
              std::string::npos)
        << bytes.substr(0, 200);
    EXPECT_EQ(store.Get("1", "TITOLO").value_or(""), "nuova");

    // Once the user changes the text, the text is what the note holds.
    const StoredRun now = StoredNotes(store);
    StoredNote changed = *now[0];
    changed.text = "corto";
    PutNotes(store, {{changed, 0}}, now, 0);
    EXPECT_EQ(store.Get("0", "MESSAGE").value_or(""), "corto");
    EXPECT_EQ(store.Get("0", "TITOLO").value_or(""), longTitle);
    EXPECT_EQ(store.Get("0", "POS").value_or(""), "10,20");
    EXPECT_FALSE(store.HasSection("1"));
}
