// The note codec alone, on documents made in memory: what a save puts into
// the store and what a load takes out, without windows.
#include "store/note_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Titles(const IniDocument& store)
{
    std::vector<std::string> titles;
    for (const StoredNote& note : StoredNotes(store))
        titles.push_back(note.title);
    return titles;
}

} // namespace

TEST(NoteCodec, NotesAndSettingsReadBackAsTheyWereWritten)
{
    IniDocument store;
    const std::vector<StoredNote> notes{{"Spesa", "pane\r\nlatte\rburro #@", "C:\\Voce\\spesa.wav"},
                                        {" spazi ", "", ""}};
    PutSettings(store, StoredSettings{320, 240, 0x00FF7FFF});
    PutNotes(store, notes, 0);

    const IniDocument reread = IniDocument::Parse(store.Serialize());
    const StoredSettings settings = ReadSettings(reread);
    EXPECT_EQ(settings.width, 320);
    EXPECT_EQ(settings.height, 240);
    EXPECT_EQ(settings.color, 0x00FF7FFFul);
    const std::vector<StoredNote> back = StoredNotes(reread);
    ASSERT_EQ(back.size(), 2u);
    // The lone CR comes back as the line break it showed as; "#@" typed by
    // the user becomes one.
    EXPECT_EQ(back[0].text, "pane\r\nlatte\r\nburro \r\n");
    EXPECT_EQ(back[0].voicePath, notes[0].voicePath);
    EXPECT_EQ(back[1].title, " spazi ");
    EXPECT_EQ(back[1].text, "");
}

TEST(NoteCodec, SettingsOutOfRangeOrNoNumberAreMadeSound)
{
    const IniDocument store =
        IniDocument::Parse("[OPZIONI]\r\nLARGHEZZA=9000\r\nALTEZZA=abc\r\nCOLORE=-1\r\n");
    const StoredSettings settings = ReadSettings(store);
    EXPECT_EQ(settings.width, 480);
    EXPECT_EQ(settings.height, 120);
    EXPECT_EQ(settings.color, 0x00FFFFFFul);
}

// Sections beyond a gap were not loaded: the notes written now must neither
// overwrite them nor make them reachable by closing the gap.
TEST(NoteCodec, UnreachedSectionsStayBeyondTheNotesWritten)
{
    IniDocument store = IniDocument::Parse("[0]\r\nTITOLO=a\r\n[2]\r\nTITOLO=lontano\r\nPOS=1\r\n");
    ASSERT_EQ(Titles(store), std::vector<std::string>{"a"});

    PutNotes(store, {{"uno", "", ""}, {"due", "", ""}, {"tre", "", ""}}, 1);
    EXPECT_EQ(Titles(store), (std::vector<std::string>{"uno", "due", "tre"}));
    EXPECT_EQ(store.SectionNames().size(), 4u);
    // One number apart from the notes, so still beyond a gap, whole.
    EXPECT_EQ(store.Get("4", "TITOLO").value_or(""), "lontano");
    EXPECT_EQ(store.Get("4", "POS").value_or(""), "1");
}
