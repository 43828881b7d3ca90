// The note codec alone, on documents made in memory: what a save puts into
// the store and what a load takes out, without windows.
#include "store/note_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "store/note_version.h"

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

// Identities derived from what a note holds are kept in stores that every
// build of the program reads: the same parts give the same identity in each.
TEST(NoteCodec, ADerivedIdentityIsTheSameInEveryBuild)
{
    EXPECT_EQ(DerivedIdentity({"a", "bc"}), "a49db729a8992b5a");
    EXPECT_NE(DerivedIdentity({"ab", "c"}), DerivedIdentity({"a", "bc"})) << "the parts keep apart";
}
