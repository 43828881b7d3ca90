// The note store through the real controller: what a close writes into the
// file, and what the next start makes of it. Each test starts and closes the
// controller in this process as the program does across a restart, and
// checks the notes on screen and the bytes in the file.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/autosave.h"
#include "app/controller.h"
#include "app/controller_run.h"
#include "app/notes_io.h"
#include "app/startup.h"
#include "base/handles.h"
#include "base/path_parts.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "store/deleted_notes.h"
#include "store/ini_document.h"
#include "store/store_file.h"
#include "store/store_session.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"
#include "tests/support/store_builder.h"
#include "tests/support/voice_counts.h"

using testfiles::ReadFile;
using testfiles::WriteFile;

namespace {

const char SaveFailedText[] = "Impossibile salvare gli appunti nel file\n";
const char QuitUnsavedQuestion[] = "\n\nUscire senza salvare le modifiche?";
const char ReadFailedText[] = "Impossibile leggere gli appunti dal file\n";

// The example store of the file format: two notes, the first with two lines of
// text and no voice message, the second with an empty text and a voice message.
const char ExampleStore[] = "[OPZIONI]\r\n"
                            "LARGHEZZA=200\r\n"
                            "ALTEZZA=120\r\n"
                            "COLORE=65535\r\n"
                            "[0]\r\n"
                            "TITOLO=Shopping\r\n"
                            "MESSAGE=bread#@milk\r\n"
                            "AUDIO=\r\n"
                            "[1]\r\n"
                            "TITOLO=Calls\r\n"
                            "MESSAGE=\r\n"
                            "AUDIO=C:\\Voice\\calls.wav\r\n";

std::string Title(HWND note)
{
    return modal::WindowText(note);
}

// What the profile functions, which the old per-key store used, read there.
std::string ProfileString(const std::string& file, const char* section, const char* key,
                          DWORD capacity = 1024)
{
    std::vector<char> buffer(capacity);
    GetPrivateProfileStringA(section, key, "nf", buffer.data(), capacity, file.c_str());
    return buffer.data();
}

// Each test starts the controller itself, often after making the store.
class NoteStore : public ProgramTest {
  protected:
    bool StartsController() const override { return false; }

    void TearDown() override
    {
        if (controller && IsWindow(controller)) {
            EndSession();
        }
        ProgramTest::TearDown();
    }

    [[nodiscard]] testing::AssertionResult UseStore(const std::string& path)
    {
        if (path.size() >= sizeof StorePath)
            return testing::AssertionFailure() << "a store path of " << path.size() << " characters";
        std::strcpy(StorePath, path.c_str());
        store = path;
        return testing::AssertionSuccess();
    }

    // "E&sci". True when the program ended, false when it stayed open.
    bool Close()
    {
        SendMessageA(controller, WM_CLOSE, 0, 0);
        TakeQuit();
        return !IsWindow(controller);
    }

    // A close and the next start, as across a restart of the program.
    [[nodiscard]] testing::AssertionResult Restart()
    {
        if (!Close())
            return testing::AssertionFailure() << "the close was abandoned";
        if (NoteListHead)
            return testing::AssertionFailure() << "notes outlived the close";
        return Start();
    }

    // The end of the Windows session: the close that nobody can answer.
    void EndSession()
    {
        SendMessageA(controller, WM_ENDSESSION, TRUE, 0);
        TakeQuit();
    }

    // Open notes, oldest first.
    std::vector<HWND> Notes() const
    {
        std::vector<HWND> notes;
        for (NoteNode* node = NoteListHead; node; node = node->next) {
            notes.insert(notes.begin(), node->window);
        }
        return notes;
    }

    std::vector<std::string> Titles() const
    {
        std::vector<std::string> titles;
        for (HWND note : Notes()) {
            titles.push_back(Title(note));
        }
        return titles;
    }

    // A note as the user leaves it: title, text (pasted: set at once) and voice file.
    HWND NewNote(const std::string& title, const std::string& text = "", const std::string& voice = "",
                 Where at = Here())
    {
        HWND note = ProgramTest::NewNote(title.c_str(), at);
        SetWindowTextA(NoteEditOf(note), text.c_str());
        SetNoteVoicePath(note, voice.c_str());
        return note;
    }

    std::string File() const { return ReadFile(store); }
    IniDocument Document() const { return IniDocument::Parse(File()); }

    std::string store = StoreFile();
};

// ---- Round trips ----

TEST_F(NoteStore, NotesAndSettingsComeBackAfterACloseAndAStart)
{
    ASSERT_TRUE(Start());
    const std::string longPath = "C:\\Documenti\\Voce\\" + std::string(200, 'v') + ".wav";
    NewNote("Spesa", "pane\r\nlatte\r\n\r\nuova", "C:\\Voce\\spesa.wav");
    NewNote("", "");
    HWND hidden = NewNote("Citt\xe0 e caff\xe8", "Perch\xe9 \x80 5 \xbb \xff", longPath);
    HWND minimised = NewNote("Telefonate", "chiamare Ugo");
    ShowWindow(hidden, SW_HIDE);
    ShowWindow(minimised, SW_MINIMIZE);
    NoteWidth = 300;
    NoteHeight = 200;
    NoteColor = RGB(0x40, 0x80, 0xFF);

    ASSERT_TRUE(Restart());
    std::vector<HWND> notes = Notes();
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Spesa", "", "Citt\xe0 e caff\xe8", "Telefonate"}));
    EXPECT_EQ(NoteText(notes[0]), "pane\r\nlatte\r\n\r\nuova");
    EXPECT_EQ(NoteText(notes[1]), "");
    EXPECT_EQ(NoteText(notes[2]), "Perch\xe9 \x80 5 \xbb \xff");
    EXPECT_EQ(NoteText(notes[3]), "chiamare Ugo");
    EXPECT_STREQ(NoteVoicePath(notes[0]), "C:\\Voce\\spesa.wav");
    EXPECT_STREQ(NoteVoicePath(notes[1]), "");
    EXPECT_EQ(NoteVoicePath(notes[2]), longPath);
    for (size_t i = 0; i < notes.size(); ++i) {
        SCOPED_TRACE("note " + std::to_string(i));
        EXPECT_TRUE(IsWindowVisible(notes[i]));
        EXPECT_FALSE(IsIconic(notes[i]));
        RECT frame = modal::WindowRect(notes[i]);
        EXPECT_EQ(frame.left, static_cast<LONG>(20 * i));
        EXPECT_EQ(frame.top, static_cast<LONG>(20 * i));
        EXPECT_EQ(frame.right - frame.left, 300);
        EXPECT_EQ(frame.bottom - frame.top, 200);
    }
    EXPECT_EQ(NoteColor, RGB(0x40, 0x80, 0xFF));
    LOGBRUSH brush{};
    GetObjectA(NoteBrush.get(), sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, RGB(0x40, 0x80, 0xFF));
}

TEST_F(NoteStore, WritesTheSettingsAndNotesAsDecimalTextAndHashAt)
{
    ASSERT_TRUE(Start());
    NewNote("Spesa", "bread\r\nmilk");
    NewNote("Calls", "", "C:\\Voice\\calls.wav");
    NoteWidth = 200;
    NoteColor = 0x00FFFFFF;
    ASSERT_TRUE(Close());
    // Each note and the settings also say who they are and which version they hold.
    EXPECT_NE(File().find("IDENTITA="), std::string::npos);
    EXPECT_NE(File().find("VERSIONE="), std::string::npos);
    EXPECT_EQ(WithoutIdentities(File()), "[OPZIONI]\r\n"
                                         "LARGHEZZA=200\r\n"
                                         "ALTEZZA=120\r\n"
                                         "COLORE=16777215\r\n"
                                         "[0]\r\n"
                                         "TITOLO=Spesa\r\n"
                                         "MESSAGE=bread#@milk\r\n"
                                         "AUDIO=\r\n"
                                         "[1]\r\n"
                                         "TITOLO=Calls\r\n"
                                         "MESSAGE=\r\n"
                                         "AUDIO=C:\\Voice\\calls.wav\r\n");
}

TEST_F(NoteStore, ExampleStoreLoadsAsTwoNotesAndIsWrittenBackByteForByte)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    std::vector<HWND> notes = Notes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(Title(notes[0]), "Shopping");
    EXPECT_EQ(NoteText(notes[0]), "bread\r\nmilk");
    EXPECT_STREQ(NoteVoicePath(notes[0]), "");
    EXPECT_EQ(Title(notes[1]), "Calls");
    EXPECT_EQ(NoteText(notes[1]), "");
    EXPECT_STREQ(NoteVoicePath(notes[1]), "C:\\Voice\\calls.wav");
    EXPECT_EQ(modal::WindowRect(notes[0]).right - modal::WindowRect(notes[0]).left, 200);

    ASSERT_TRUE(Close());
    EXPECT_EQ(File(), ExampleStore);
}

TEST_F(NoteStore, ChangesToLoadedNotesAreSaved)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    std::vector<HWND> notes = Notes();
    ASSERT_EQ(notes.size(), 2u);
    modal::TypeText(NoteEditOf(notes[1]), "Ugo");
    SetWindowTextA(notes[1], "Telefonate");
    DestroyWindow(notes[0]);
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), std::vector<std::string>{"Telefonate"});
    EXPECT_EQ(NoteText(Notes()[0]), "Ugo");
    EXPECT_STREQ(NoteVoicePath(Notes()[0]), "C:\\Voice\\calls.wav");
    EXPECT_FALSE(Document().HasSection("1"));
}

// A value made by hand may be longer than any note: the note shows what its
// edit field holds, cut never between the two characters of a line break, and
// the file keeps the whole value until the user changes the text.
TEST_F(NoteStore, AnOverlongStoredTextIsCutBetweenLinesAndKeptWholeInTheFile)
{
    std::string message(1023, 'x');
    message += "#@" + std::string(500, 'y');
    const std::string title(200, 't');
    ASSERT_TRUE(WriteFile(store, "[0]\r\nTITOLO=" + title + "\r\nMESSAGE=" + message + "\r\nAUDIO=\r\n"));
    ASSERT_TRUE(Start());
    ASSERT_EQ(Notes().size(), 1u);
    EXPECT_EQ(NoteText(Notes()[0]), std::string(1023, 'x'));
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Document().Get("0", "MESSAGE"), message);
    EXPECT_EQ(Document().Get("0", "TITOLO"), title);
    SetWindowTextA(NoteEditOf(Notes()[0]), "cambiato");
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Document().Get("0", "MESSAGE"), "cambiato");
    EXPECT_EQ(Document().Get("0", "TITOLO"), title) << "the title was not touched";
}

TEST_F(NoteStore, HashAtTypedByTheUserBecomesALineBreak)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("Nota");
    modal::TypeText(NoteEditOf(note), "uno#@due");
    ASSERT_TRUE(Restart());
    ASSERT_EQ(Notes().size(), 1u);
    EXPECT_EQ(NoteText(Notes()[0]), "uno\r\ndue");
}

// The old store read texts through 1,024-character buffers and kept 1,023.
TEST_F(NoteStore, AFullNoteKeepsItsLastCharacter)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("Piena");
    std::string typed;
    while (typed.size() < 1024) {
        typed += (typed.size() % 100 == 98) ? '\r' : static_cast<char>('a' + typed.size() % 26);
    }
    modal::TypeText(NoteEditOf(note), typed + "oltre");
    const std::string full = NoteText(note);
    ASSERT_EQ(full.size(), 1024u) << "the edit field holds 1,024 characters";

    ASSERT_TRUE(Restart());
    ASSERT_EQ(Notes().size(), 1u);
    EXPECT_EQ(NoteText(Notes()[0]), full);
    EXPECT_EQ(ProfileString(store, "0", "MESSAGE").size(), 1023u) << "what the old store would have loaded";
}

// ---- Faults of the old store ----

TEST_F(NoteStore, ANoteTitledNfIsANoteLikeAnyOther)
{
    ASSERT_TRUE(WriteFile(store, "[0]\r\nTITOLO=prima\r\n[1]\r\nTITOLO=nf\r\nMESSAGE=a\r\n"
                                 "[2]\r\nTITOLO=NF\r\n[3]\r\nTITOLO=dopo\r\n"));
    // The old store could not tell this title from a missing one.
    EXPECT_EQ(ProfileString(store, "1", "TITOLO"), ProfileString(store, "9", "TITOLO"));

    ASSERT_TRUE(Start());
    NewNote("Nf", "nuova");
    EXPECT_EQ(Titles(), (std::vector<std::string>{"prima", "nf", "NF", "dopo", "Nf"}));
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"prima", "nf", "NF", "dopo", "Nf"}));
    EXPECT_EQ(NoteText(Notes()[1]), "a");
}

TEST_F(NoteStore, AMissingVoiceOrTextKeyDoesNotEndTheList)
{
    ASSERT_TRUE(WriteFile(store, "[0]\r\nTITOLO=senza voce\r\nMESSAGE=testo\r\n"
                                 "[1]\r\nTITOLO=senza testo\r\nAUDIO=C:\\v.wav\r\n"
                                 "[2]\r\nTITOLO=ultima\r\nMESSAGE=fine\r\nAUDIO=\r\n"));
    EXPECT_EQ(ProfileString(store, "1", "MESSAGE"), "nf") << "the old store's text for a missing key";

    ASSERT_TRUE(Start());
    std::vector<HWND> notes = Notes();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(NoteText(notes[0]), "testo");
    EXPECT_STREQ(NoteVoicePath(notes[0]), "");
    EXPECT_EQ(NoteText(notes[1]), "");
    EXPECT_STREQ(NoteVoicePath(notes[1]), "C:\\v.wav");
    ASSERT_TRUE(Close());

    IniDocument saved = Document();
    EXPECT_EQ(saved.Get("0", "AUDIO"), "");
    EXPECT_EQ(saved.Get("1", "MESSAGE"), "");
    EXPECT_EQ(saved.Get("2", "TITOLO"), "ultima");
    EXPECT_FALSE(saved.HasSection("3"));
}

TEST_F(NoteStore, SectionsBeyondAGapAreKeptAndMovedOutOfTheWay)
{
    const std::string beyond = "[3]\r\nTITOLO=oltre\r\nMESSAGE=tenuta\r\nALTRO=chiave sconosciuta\r\n"
                               "[4]\r\nTITOLO=oltre ancora\r\n";
    ASSERT_TRUE(WriteFile(store, "[0]\r\nTITOLO=a\r\n[1]\r\nTITOLO=b\r\n" + beyond));
    ASSERT_TRUE(Start());
    ASSERT_EQ(Titles(), (std::vector<std::string>{"a", "b"}));

    // Two notes still need no number beyond the gap: those sections stay as they are.
    ASSERT_TRUE(Restart());
    EXPECT_NE(File().find(beyond), std::string::npos) << File();

    // Four notes need "3": the unreached ones move up together, beyond a gap at "4".
    NewNote("c");
    NewNote("d");
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"a", "b", "c", "d"}));
    IniDocument saved = Document();
    EXPECT_EQ(saved.Get("3", "TITOLO"), "d");
    EXPECT_FALSE(saved.HasSection("4"));
    EXPECT_EQ(saved.Get("5", "TITOLO"), "oltre");
    EXPECT_EQ(saved.Get("5", "ALTRO"), "chiave sconosciuta");
    EXPECT_EQ(saved.Get("6", "TITOLO"), "oltre ancora");

    // Deleting notes later leaves them where they are.
    DestroyWindow(Notes()[3]);
    DestroyWindow(Notes()[2]);
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Document().Get("5", "TITOLO"), "oltre");
    EXPECT_EQ(Document().Get("6", "TITOLO"), "oltre ancora");
}

// A numbered section without a title (emptied by hand, a sync conflict) is
// no note, but the notes after it are, and it keeps its place among them.
TEST_F(NoteStore, ASectionWithoutTitleIsSkippedAndKeptInItsPlace)
{
    const std::string stored = "[0]\r\nMESSAGE=senza titolo\r\n[1]\r\nTITOLO=a\r\n[2]\r\nTITOLO=c\r\n";
    ASSERT_TRUE(WriteFile(store, stored));
    ASSERT_TRUE(Start());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"a", "c"}));
    NewNote("b");
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"a", "c", "b"}));
    IniDocument saved = Document();
    EXPECT_EQ(saved.Get("0", "MESSAGE"), "senza titolo");
    EXPECT_EQ(saved.Get("3", "TITOLO"), "b");

    DestroyWindow(Notes()[0]);
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"c", "b"}));
    saved = Document();
    EXPECT_EQ(saved.Get("0", "MESSAGE"), "senza titolo");
    EXPECT_EQ(saved.Get("1", "TITOLO"), "c");
    EXPECT_EQ(saved.Get("2", "TITOLO"), "b");
    EXPECT_FALSE(saved.HasSection("3"));
}

TEST_F(NoteStore, LoneLineBreaksAreStoredAsLineBreaksAndCannotMakeSections)
{
    const std::string intruder = "x\n[9]\nTITOLO=intrusa";
    // Written as the old store did, the text makes a section of its own.
    const std::string old = folder / "vecchio.ini";
    WritePrivateProfileStringA("0", "MESSAGE", intruder.c_str(), old.c_str());
    EXPECT_EQ(ProfileString(old, "9", "TITOLO"), "intrusa");

    ASSERT_TRUE(Start());
    NewNote("incollata", intruder);
    NewNote("tagliata", "fine riga\rinizio\r");
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"incollata", "tagliata"}));
    EXPECT_EQ(NoteText(Notes()[0]), "x\r\n[9]\r\nTITOLO=intrusa");
    EXPECT_EQ(NoteText(Notes()[1]), "fine riga\r\ninizio\r\n");
    EXPECT_FALSE(Document().HasSection("9"));
    const std::string saved = File();
    for (size_t at = saved.find_first_of("\r\n"); at != std::string::npos;
         at = saved.find_first_of("\r\n", at + 2)) {
        ASSERT_EQ(saved.compare(at, 2, "\r\n"), 0) << "a raw line break inside a value at " << at;
    }
}

TEST_F(NoteStore, BlanksAndQuotesAroundValuesComeBackExactly)
{
    const std::vector<std::string> tricky = {"  spazi  ", "\"citato\"", "'apici'",   "\t",
                                             " ",         "\"",         "a  \"b\"  "};
    // The profile rules that read the store trim and unquote such values.
    const std::string old = folder / "vecchio.ini";
    WritePrivateProfileStringA("0", "TITOLO", tricky[0].c_str(), old.c_str());
    EXPECT_EQ(ProfileString(old, "0", "TITOLO"), "spazi");

    ASSERT_TRUE(Start());
    for (const std::string& value : tricky) {
        NewNote(value, value, value);
    }
    ASSERT_TRUE(Restart());
    ASSERT_EQ(Titles(), tricky);
    std::vector<HWND> notes = Notes();
    for (size_t i = 0; i < tricky.size(); ++i) {
        EXPECT_EQ(NoteText(notes[i]), tricky[i]);
        EXPECT_EQ(NoteVoicePath(notes[i]), tricky[i]);
    }
}

TEST_F(NoteStore, AVoicePathLongerThanTheUsualBufferIsKeptWhole)
{
    const std::string path = "C:\\" + std::string(150, 'a') + "\\" + std::string(150, 'b') + ".wav";
    ASSERT_TRUE(WriteFile(store, "[0]\r\nTITOLO=lunga\r\nMESSAGE=\r\nAUDIO=" + path + "\r\n"));
    ASSERT_TRUE(Start()); // playing it fails quietly, as for any file that cannot be played
    ASSERT_EQ(Notes().size(), 1u);
    EXPECT_EQ(NoteVoicePath(Notes()[0]), path);
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("0", "AUDIO"), path);
}

// Sizes are used as stored, hand-set ones too; only what is no size falls
// back. An exit where the user changed nothing leaves every line and header
// as it was, the stored settings included.
TEST_F(NoteStore, StoredSettingsAreUsedAsStoredAndWrittenBackUnchanged)
{
    struct Case {
        const char* width;
        const char* height;
        const char* color;
        int expectedWidth;
        int expectedHeight;
        COLORREF expectedColor;
    } cases[] = {
        // clang-format off
        {"600", "25", "-1", 600, 25, 0x00FFFFFF},
        {"-300", "0", "0x01FF8040", 40, 40, 0x00FF8040},
        {"abc", "", "giallo", 160, 120, 0x0000FFFF},
        {"\"250\"", " 130 ", "16777215", 250, 130, 0x00FFFFFF},
        {"99999", "480", "255", 32767, 480, 0x000000FF},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.width) + " " + c.height + " " + c.color);
        const std::string stored = std::string("[OPZIONI]\r\nLARGHEZZA=") + c.width +
                                   "\r\nALTEZZA=" + c.height + "\r\nCOLORE=" + c.color +
                                   "\r\n[ 0 ]\r\nTITOLO=n\r\nMESSAGE=\r\nAUDIO=\r\n[0]\r\nTITOLO=doppia\r\n";
        ASSERT_TRUE(WriteFile(store, stored));
        ASSERT_TRUE(Start());
        ASSERT_EQ(Notes().size(), 1u);
        EXPECT_EQ(NoteWidth, c.expectedWidth);
        EXPECT_EQ(NoteHeight, c.expectedHeight);
        EXPECT_EQ(NoteColor, c.expectedColor);
        RECT frame = modal::WindowRect(Notes()[0]);
        if (c.expectedWidth <= 1000) {
            EXPECT_EQ(frame.right - frame.left, c.expectedWidth);
        }
        EXPECT_EQ(frame.bottom - frame.top, c.expectedHeight);
        ASSERT_TRUE(Close());
        EXPECT_EQ(File(), stored);
    }
}

TEST_F(NoteStore, NotesAreSavedInTheOrderTheyWereCreated)
{
    ASSERT_TRUE(Start());
    NewNote("prima");
    HWND second = NewNote("seconda");
    NewNote("terza");
    // The old store took the notes in the order the window search yields them,
    // which is not the order of creation.
    SetWindowPos(second, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    std::vector<std::string> searched;
    for (HWND w = FindWindowA("Class_YellowWindow", nullptr); w;
         w = FindWindowExA(nullptr, w, "Class_YellowWindow", nullptr)) {
        searched.push_back(Title(w));
    }
    EXPECT_NE(searched, (std::vector<std::string>{"prima", "seconda", "terza"}));

    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(Restart());
        EXPECT_EQ(Titles(), (std::vector<std::string>{"prima", "seconda", "terza"}));
        std::vector<HWND> notes = Notes();
        for (size_t i = 0; i < notes.size(); ++i) {
            EXPECT_EQ(modal::WindowRect(notes[i]).left, static_cast<LONG>(20 * i));
        }
        EXPECT_EQ(NoteListHead->window, notes.back());
        EXPECT_EQ(NoteListHead->NoteId, 2);
    }
}

TEST_F(NoteStore, SectionsAndKeysOfOthersAreCarriedOver)
{
    const std::string header = "; scritto a mano\r\n\r\n";
    const std::string options = "[OPZIONI]\r\nLARGHEZZA = 250 \r\nTEMA=scuro\r\nCOLORE=255\r\n";
    const std::string other = "[Altro]\r\nchiave = valore con spazi \r\n; commento\r\n\r\n";
    ASSERT_TRUE(WriteFile(store, header + options + other + "[0]\r\nTITOLO=vecchia\r\n"));
    ASSERT_TRUE(Start());
    DestroyWindow(Notes()[0]);
    NewNote("nuova");
    ASSERT_TRUE(Close());

    const std::string saved = File();
    EXPECT_EQ(saved.compare(0, header.size(), header), 0) << saved;
    EXPECT_NE(saved.find("TEMA=scuro\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find(other), std::string::npos) << saved;
    EXPECT_NE(saved.find("LARGHEZZA = 250 \r\n"), std::string::npos) << "unchanged lines stay as written";
    IniDocument document = Document();
    EXPECT_EQ(document.Get("OPZIONI", "ALTEZZA"), "120");
    EXPECT_EQ(document.Get("0", "TITOLO"), "nuova");
    EXPECT_FALSE(document.HasSection("1"));
}

// ---- Only this program's notes ----

// Another copy of the program, in a folder of its own, with one note open.
TEST_F(NoteStore, WindowsOfTheNoteClassInAnotherProgramAreNotSaved)
{
    testfiles::ScratchFolder otherFolder;
    const std::string otherExe = otherFolder / "Appuntello.exe";
    ASSERT_TRUE(CopyFileA(testfiles::ProgramPath().c_str(), otherExe.c_str(), FALSE));
    ASSERT_TRUE(WriteFile(otherFolder / "Appuntello.ini", "[0]\r\nTITOLO=altrui\r\n"));
    testfiles::RunningProgram other(otherExe);
    HWND otherController = other.WaitForController();
    ASSERT_NE(otherController, nullptr);

    ASSERT_TRUE(Start());
    NewNote("nostra");
    ASSERT_TRUE(Close());
    HWND foreign = FindWindowA("Class_YellowWindow", nullptr);
    EXPECT_NE(foreign, nullptr) << "the old store's search would still find this one, and never end";
    EXPECT_EQ(Document().Get("0", "TITOLO"), "nostra");
    EXPECT_FALSE(Document().HasSection("1"));

    PostMessageA(otherController, WM_CLOSE, 0, 0);
    ASSERT_EQ(other.ExitCode(20000), 0u);
    EXPECT_EQ(IniDocument::Parse(ReadFile(otherFolder / "Appuntello.ini")).Get("0", "TITOLO"), "altrui");
}

// ---- Replacing the file ----

TEST_F(NoteStore, ThePreviousStoreIsKeptAsOneBackup)
{
    ASSERT_TRUE(Start());
    NewNote("uno");
    ASSERT_TRUE(Close());
    EXPECT_FALSE(testfiles::Exists(store + ".bak")) << "no store before, nothing to keep";
    const std::string first = File();

    ASSERT_TRUE(Start());
    NewNote("due");
    ASSERT_TRUE(Close());
    EXPECT_EQ(ReadFile(store + ".bak"), first);
    const std::string second = File();

    ASSERT_TRUE(Start()); // nothing changes: the file and its backup stay as they are
    ASSERT_TRUE(Close());
    EXPECT_EQ(File(), second);
    EXPECT_EQ(ReadFile(store + ".bak"), first);
    EXPECT_TRUE(testfiles::Matching(store + "*.tmp").empty());
}

// A temporary file that a crash left (read-only even) is removed by the next
// save; one that another copy of the program is writing now is left to it.
TEST_F(NoteStore, TemporaryFilesOfCrashedSavesGoThoseOfSavesUnderWayStay)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    const std::string crashed = store + ".1a2b3c.tmp", underWay = store + ".4d5e6f.tmp";
    const std::string users = store + ".vecchio.tmp"; // named by the user: never ours
    // Where "<store>.<mark>.tmp" would pass the path limit: "~", four hex
    // digits named after "Appuntello.ini", four of the writer.
    const std::string crashedShort = folder / "~ca3d0042";
    ASSERT_TRUE(WriteFile(crashedShort, "[0]\r\nTITOLO=mez"));
    ASSERT_TRUE(testfiles::MakeOld(crashedShort));
    ASSERT_TRUE(WriteFile(crashed, "[0]\r\nTITOLO=mezzo sal"));
    ASSERT_TRUE(WriteFile(underWay, "[0]\r\nTITOLO=sta scrive"));
    ASSERT_TRUE(WriteFile(users, "[0]\r\nTITOLO=mia"));
    ASSERT_TRUE(testfiles::MakeOld(crashed));
    ASSERT_TRUE(testfiles::MakeOld(users));
    ASSERT_TRUE(SetFileAttributesA(crashed.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(Start());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls"}));
    NewNote("nuova");
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("2", "TITOLO"), "nuova");
    EXPECT_EQ(GetFileAttributesA(store.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(testfiles::Matching(store + "*.tmp"), (std::vector<std::string>{underWay, users}));
    EXPECT_FALSE(testfiles::Exists(crashedShort));
}

// ---- A store that cannot be written ----

// Running as root, Wine ignores the read-only attribute; a folder where the
// new file has to go stops the save just as a write-protected folder does.
TEST_F(NoteStore, AStoreThatCannotBeWrittenIsLeftAsItWasAndTheExitWaits)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    NewNote("nuova", "da non perdere");
    testfiles::Writes disk("Appuntello.ini"); // full
    {
        modal::Script script;
        script.Dialog("Attenzione", [&](HWND box) {
            EXPECT_EQ(modal::MessageBoxText(box), SaveFailedText + store + QuitUnsavedQuestion);
            EXPECT_EQ(GetFocus(), GetDlgItem(box, IDNO)) << "staying is the default";
            modal::Click(box, IDNO);
        });
        EXPECT_FALSE(Close()) << "the exit must wait for a store that can be written";
        EXPECT_TRUE(script.Done());
    }
    EXPECT_EQ(File(), ExampleStore);
    ASSERT_EQ(Notes().size(), 3u);
    EXPECT_TRUE(IsWindowVisible(Notes()[2]));
    EXPECT_TRUE(!testfiles::Exists(store + ".bak") || ReadFile(store + ".bak") == ExampleStore);

    // The user makes room and tries again.
    disk.Fail("");
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("2", "MESSAGE"), "da non perdere");
    EXPECT_EQ(ReadFile(store + ".bak"), ExampleStore);
}

// The warning runs a modal loop inside the close: a second "E&sci" or the end
// of the session arriving meanwhile must not start the close again.
TEST_F(NoteStore, CloseRequestsWhileTheWarningIsOpenDoNothing)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("nuova", "da non perdere");
    testfiles::Writes disk("Appuntello.ini"); // full
    {
        modal::Script script;
        script.Dialog("Attenzione", [&](HWND box) {
            SendMessageA(controller, WM_CLOSE, 0, 0);
            SendMessageA(controller, WM_ENDSESSION, TRUE, 0);
            EXPECT_TRUE(IsWindow(controller));
            EXPECT_TRUE(IsWindow(note)) << "a note was destroyed while the user was being asked";
            modal::Click(box, IDNO);
        });
        EXPECT_FALSE(Close());
        EXPECT_TRUE(script.Done());
    }
    ASSERT_TRUE(IsWindow(note));
    disk.Fail("");
    ASSERT_TRUE(Close()) << "the close can be tried again";
    EXPECT_EQ(Document().Get("0", "MESSAGE"), "da non perdere");
}

TEST_F(NoteStore, AStoreInAFolderThatIsGoneWarnsAndCanBeRetried)
{
    const std::string gone = folder / "sparita";
    ASSERT_TRUE(UseStore(gone + "\\Appuntello.ini"));
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Notes().empty());
    NewNote("nuova");
    {
        modal::Script script;
        script.Dialog("Attenzione", [&](HWND box) {
            EXPECT_EQ(modal::MessageBoxText(box), SaveFailedText + store + QuitUnsavedQuestion);
            modal::Click(box, IDNO);
        });
        EXPECT_FALSE(Close());
        EXPECT_TRUE(script.Done());
    }
    EXPECT_FALSE(testfiles::Exists(gone));
    EXPECT_EQ(Notes().size(), 1u);

    ASSERT_TRUE(CreateDirectoryA(gone.c_str(), nullptr));
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("0", "TITOLO"), "nuova");
}

TEST_F(NoteStore, AStoreThatCannotBeReadIsNotReplaced)
{
    // A folder in the store's place: it cannot be read, and must not be lost.
    ASSERT_TRUE(CreateDirectoryA(store.c_str(), nullptr));
    ASSERT_TRUE(WriteFile(store + "\\dentro.txt", "contenuto"));
    {
        modal::Script script;
        script.Dialog("Attenzione", [&](HWND box) {
            EXPECT_EQ(modal::MessageBoxText(box), ReadFailedText + store);
            modal::Click(box, IDOK);
        });
        ASSERT_TRUE(Start());
        EXPECT_TRUE(script.Done()) << "the user is told at start";
    }
    NewNote("nuova");
    {
        modal::Script script;
        script.Dialog("Attenzione", [](HWND box) { modal::Click(box, IDNO); });
        EXPECT_FALSE(Close());
        EXPECT_TRUE(script.Done());
    }
    EXPECT_EQ(ReadFile(store + "\\dentro.txt"), "contenuto");
    EXPECT_TRUE(testfiles::Matching(store + "*.tmp").empty());
}

// When saving can never succeed, the user may still leave: the store stays
// exactly as it was.
TEST_F(NoteStore, TheUserMayQuitWithoutSavingAndTheStoreStaysAsItWas)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    NewNote("persa");
    testfiles::Writes disk("Appuntello.ini"); // full
    modal::Script script;
    script.Dialog("Attenzione", [](HWND box) { modal::Click(box, IDYES); });
    EXPECT_TRUE(Close());
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(NoteListHead, nullptr);
    EXPECT_EQ(File(), ExampleStore);
}

// Held open without sharing by another program at start (a sync tool, say),
// and readable again at exit: the stored notes and settings stay, and the
// notes of the run come after them.
TEST_F(NoteStore, AStoreUnreadableAtStartKeepsItsNotesAndSettings)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    {
        UniqueHandle held = testfiles::HoldOpen(store, 0);
        ASSERT_TRUE(held.valid());
        modal::Script script;
        script.Dialog("Attenzione", [&](HWND box) {
            EXPECT_EQ(modal::MessageBoxText(box), ReadFailedText + store);
            modal::Click(box, IDOK);
        });
        ASSERT_TRUE(Start());
        EXPECT_TRUE(script.Done());
    }
    EXPECT_TRUE(Notes().empty());
    NewNote("nuova", "del giorno");
    ASSERT_TRUE(Restart());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls", "nuova"}));
    EXPECT_EQ(NoteWidth, 200) << "the stored settings stay";
    EXPECT_EQ(Document().Get("OPZIONI", "LARGHEZZA"), "200");
}

// Saved from Notepad as "Unicode" or as UTF-8: read as the profile functions
// read it, and written back in the encoding it had, with its mark.
TEST_F(NoteStore, AStoreSavedAsUnicodeIsReadAndKeepsItsEncoding)
{
    // "[OPZIONI] LARGHEZZA=200" and a note titled "Città" with "caffè" in it,
    // and a character that code page 1252 lacks in a note the user leaves alone.
    const std::wstring text = L"[OPZIONI]\r\nLARGHEZZA=200\r\nALTEZZA=120\r\nCOLORE=65535\r\n[0]\r\nTITOLO="
                              L"Citt\u00e0\r\nMESSAGE=caff\u00e8#@ok\r\n"
                              L"AUDIO=\r\n[1]\r\nTITOLO=Z\u0142oty\r\nMESSAGE=\u4e2d\r\nAUDIO=\r\n";
    for (const std::string& file : {testfiles::Utf16(text), testfiles::Utf8(text)}) {
        SCOPED_TRACE(file.substr(0, 2) == "\xff\xfe" ? "UTF-16LE" : "UTF-8");
        ASSERT_TRUE(WriteFile(store, file));
        ASSERT_TRUE(Start());
        EXPECT_EQ(NoteWidth, 200) << "the first line counts too";
        ASSERT_EQ(Titles(), (std::vector<std::string>{"Citt\xe0", "Zloty"}));
        EXPECT_EQ(NoteText(Notes()[0]), "caff\xe8\r\nok");
        NewNote("Perch\xe9");
        ASSERT_TRUE(Close());
        const std::string saved = File();
        EXPECT_EQ(saved.substr(0, 2), file.substr(0, 2)) << "the byte order mark stays";
        ASSERT_TRUE(Start());
        EXPECT_EQ(Titles(), (std::vector<std::string>{"Citt\xe0", "Zloty", "Perch\xe9"}));
        ASSERT_TRUE(Close());
        EXPECT_EQ(File(), saved);
    }
}

// A store path of 257 to 259 characters is accepted at start; "<store>.tmp"
// would pass the path limit there, and the backup's name too.
TEST_F(NoteStore, ALongStorePathSaves)
{
    for (std::size_t length : {257u, 259u}) {
        SCOPED_TRACE("a store path of " + std::to_string(length) + " characters");
        std::string path = folder.path();
        const std::string name = "\\Appuntello.ini";
        while (path.size() + name.size() < length) {
            path +=
                "\\" + std::string(std::min<std::size_t>(100, length - path.size() - name.size() - 1), 'd');
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        }
        ASSERT_EQ((path + name).size(), length);
        ASSERT_TRUE(UseStore(path + name));
        ASSERT_TRUE(Start());
        NewNote("lontana", "salvata");
        ASSERT_TRUE(Close());
        EXPECT_EQ(Document().Get("0", "MESSAGE"), "salvata");
        ASSERT_TRUE(Start());
        NewNote("seconda");
        ASSERT_TRUE(Close()) << "also when there is an old store to keep";
        EXPECT_EQ(Document().Get("1", "TITOLO"), "seconda");
    }
}

TEST_F(NoteStore, AtTheEndOfTheSessionNobodyIsAskedAndTheProgramEnds)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    NewNote("nuova");
    testfiles::Writes disk("Appuntello.ini"); // full
    EndSession();                             // a message box here would fail the test: nobody expects one
    EXPECT_FALSE(IsWindow(controller));
    EXPECT_EQ(NoteListHead, nullptr);
    EXPECT_EQ(File(), ExampleStore);
}

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM found)
{
    const std::string name = modal::ClassName(window);
    if (name == NoteClassName || name == ControllerClassName)
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// Closing tools (taskkill, installers, "close all") post WM_CLOSE to every
// window of the program, in z-order: the notes stay until the controller's
// close has saved them, whichever comes first.
TEST_F(NoteStore, ClosingEveryWindowOfTheProgramLosesNoNote)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "notes first" : "controller first");
        ASSERT_TRUE(Start());
        std::vector<HWND> windows;
        EnumThreadWindows(GetCurrentThreadId(), CollectProgramWindow, reinterpret_cast<LPARAM>(&windows));
        ASSERT_EQ(windows.size(), 3u);
        if (reversed) {
            std::reverse(windows.begin(), windows.end());
        }
        for (HWND window : windows) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        modal::Pump(500);
        EXPECT_TRUE(TakeQuit());
        EXPECT_FALSE(IsWindow(controller));
        EXPECT_EQ(Document().Get("0", "TITOLO"), "Shopping");
        EXPECT_EQ(Document().Get("1", "TITOLO"), "Calls");
    }
}

// ---- Voice messages at start ----

std::string SilentWave(DWORD milliseconds)
{
    const DWORD rate = 8000;
    const DWORD samples = rate * milliseconds / 1000;
    std::string wave = "RIFF____WAVEfmt ";
    auto put32 = [&wave](DWORD v) { wave.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&wave](WORD v) { wave.append(reinterpret_cast<const char*>(&v), 2); };
    put32(16);
    put16(WAVE_FORMAT_PCM);
    put16(1);
    put32(rate);
    put32(rate);
    put16(1);
    put16(8);
    wave += "data";
    put32(samples);
    wave.append(samples, '\x80');
    const DWORD riff = static_cast<DWORD>(wave.size() - 8);
    std::memcpy(&wave[4], &riff, 4);
    return wave;
}

// The folder that Wine serves as \\\\server\\share: dosdevices\\unc\\server\\share
// in its prefix; empty without one.
std::string WineShareFolder()
{
    char prefix[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix))
        return "";
    std::string folder = std::string("Z:") + prefix + "/dosdevices/unc/server/share";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    return testfiles::Exists(folder) ? folder : "";
}

// Only messages on local drives: one on a share would make a store handed
// over by someone else contact that server before the user did anything.
TEST_F(NoteStore, StartPlaysEachLocalVoiceMessageToItsEndAndNoneFromAShare)
{
    if (waveOutGetNumDevs() == 0) {
        GTEST_SKIP() << "no sound device";
    }
    const std::string share = WineShareFolder();
    if (share.empty())
        GTEST_SKIP() << "Wine's shares are needed";
    const std::string wave = folder / "voce.wav";
    ASSERT_TRUE(WriteFile(wave, SilentWave(600)));
    ASSERT_TRUE(WriteFile(share + "\\remota.wav", SilentWave(3000)));
    const std::string remote = "\\\\server\\share\\remota.wav";
    ASSERT_TRUE(WriteFile(store, "[0]\r\nTITOLO=a\r\nAUDIO=" + wave + "\r\n[1]\r\nTITOLO=b\r\nAUDIO=" + wave +
                                     "\r\n[2]\r\nTITOLO=c\r\nAUDIO=" + folder / "manca.wav" +
                                     "\r\n[3]\r\nTITOLO=d\r\nAUDIO=" + remote + "\r\n"));
    CountMultimediaCalls();
    const std::size_t before = SoundsPlayed().size();
    ASSERT_TRUE(Start());
    ASSERT_EQ(Notes().size(), 4u);
    std::vector<std::string> asked;
    for (std::size_t i = before; i < SoundsPlayed().size(); ++i) {
        const SoundPlayed& sound = SoundsPlayed()[i];
        asked.push_back(sound.path);
        EXPECT_FALSE(sound.flags & SND_ASYNC) << "cut short by the next one: " << sound.path;
        EXPECT_EQ(sound.played, sound.path == wave) << sound.path;
    }
    EXPECT_EQ(asked, (std::vector<std::string>{wave, wave, folder / "manca.wav"})) << "none from the share";
    EXPECT_STREQ(NoteVoicePath(Notes()[3]), remote.c_str());

    // The user's own request plays it: the share was there all along.
    SendMessageA(Notes()[3], WM_COMMAND, IDM_PLAY_VOICE, 0);
    ASSERT_EQ(SoundsPlayed().size(), before + 4);
    EXPECT_EQ(SoundsPlayed().back().path, remote);
    EXPECT_TRUE(SoundsPlayed().back().played);
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("3", "AUDIO"), remote);
    DeleteFileA((share + "\\remota.wav").c_str());
}

} // namespace

// ---- Other writers: a sync client, a text editor, another computer ----

namespace {

// A sync client brings another computer's store: written beside it, then
// renamed over it.
bool ReplaceByRename(const std::string& store, const std::string& bytes)
{
    const std::string temp = store + ".synctemp";
    return WriteFile(temp, bytes) && MoveFileExA(temp.c_str(), store.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Long enough for the program to be told of the change (or to look at the
// store a second after its start), see it hold still (1 s) and merge it.
constexpr DWORD MergeWithin = 5000;

HANDLE WINAPI NoFolderWatch(LPCSTR, BOOL, DWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}

// The program's own message loop, until the condition holds or the time is up.
std::function<bool()> LoopDone;
DWORD LoopDeadline;
void CALLBACK EndLoopWhenDone(HWND, UINT, UINT_PTR, DWORD)
{
    if (LoopDone() || GetTickCount() > LoopDeadline)
        PostQuitMessage(0);
}
bool RunLoopUntil(std::function<bool()> done, DWORD milliseconds)
{
    LoopDone = std::move(done);
    LoopDeadline = GetTickCount() + milliseconds;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, EndLoopWhenDone);
    RunMessageLoop();
    KillTimer(nullptr, timer);
    return LoopDone();
}

const std::string ExampleWithANoteFromElsewhere =
    std::string(ExampleStore) + "[2]\r\nTITOLO=Dal portatile\r\nMESSAGE=scritta altrove\r\nAUDIO=\r\n";

} // namespace

// A note written into the store by another computer while the program runs
// appears on screen, behind what the user is doing: the keyboard stays in the
// note being typed into.
TEST_F(NoteStore, ANoteSyncedInWhileRunningShowsWithoutTakingTheKeyboard)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    HWND typing = Notes()[0];
    SetForegroundWindow(typing);
    ASSERT_EQ(GetFocus(), NoteEditOf(typing));
    ASSERT_TRUE(ReplaceByRename(store, ExampleWithANoteFromElsewhere));
    ASSERT_TRUE(modal::PumpUntil([&] { return Notes().size() == 3; }, MergeWithin));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls", "Dal portatile"}));
    EXPECT_EQ(NoteText(Notes()[2]), "scritta altrove");
    EXPECT_TRUE(IsWindowVisible(Notes()[2]));
    EXPECT_EQ(GetFocus(), NoteEditOf(typing));
    EXPECT_EQ(File(), ExampleWithANoteFromElsewhere) << "nothing changed here: nothing written";
}

// Idle, the program waits for the system to tell of a change in the store's
// folder: a write there reaches the screen in a second or so, long before its
// next look at the store. Where nothing is told (some shares; under Wine, a
// write from outside its Wine) the look, made cheap, finds it.
TEST_F(NoteStore, AChangeReachesTheScreenWhenToldAndWhenOnlyLookedFor)
{
    for (const bool told : {true, false}) {
        SCOPED_TRACE(told ? "told" : "looked for");
        WatchFolder = told ? FindFirstChangeNotificationA : NoFolderWatch;
        AutosaveTiming.look = told ? 60000 : 500;
        ASSERT_TRUE(WriteFile(store, ExampleStore));
        ASSERT_TRUE(Start());
        HANDLE signals[2];
        EXPECT_EQ(StoreFolderSignals(*RunOf(controller), signals) > 0, told);
        modal::Pump(1500); // past the first look
        ASSERT_TRUE(ReplaceByRename(store, ExampleWithANoteFromElsewhere));
        EXPECT_TRUE(RunLoopUntil([&] { return Notes().size() == 3; }, 3000));
        EXPECT_EQ(File(), ExampleWithANoteFromElsewhere) << "nothing changed here: nothing written";
        ASSERT_TRUE(Close());
    }
}

// Nothing changed here: the exit leaves another computer's store as it came,
// byte for byte, its line ends and comment included.
TEST_F(NoteStore, AnExitWithNothingChangedLeavesAReplacedStoreByteForByte)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    const std::string theirs = "; dall'altro computer\n[OPZIONI]\nLARGHEZZA=200\nALTEZZA=120\nCOLORE=65535\n"
                               "[0]\nTITOLO=Shopping\nMESSAGE=bread#@milk#@eggs\nAUDIO=\n[1]\nTITOLO=Calls\n"
                               "MESSAGE=\nAUDIO=C:\\Voice\\calls.wav\n[2]\nTITOLO=Nuova\nMESSAGE=\nAUDIO=\n";
    ASSERT_TRUE(ReplaceByRename(store, theirs));
    ASSERT_TRUE(Close());
    EXPECT_EQ(File(), theirs);
}

// Sync clients keep the version of two computers that saved before syncing
// as a conflict copy: its notes are taken in, and the copy goes once the
// store holds them; one dated ahead (another computer's clock) too, once it
// holds still. A copy of another store whose name begins the same is left.
TEST_F(NoteStore, AConflictCopysNoteIsShownAndTheCopyIsGone)
{
    AutosaveTiming.look = 500;
    const std::string others = folder / "Appuntello (vecchio) (Mario's conflicted copy 2026-12-09).ini";
    ASSERT_TRUE(WriteFile(others, "[0]\r\nTITOLO=Di un altro\r\nMESSAGE=\r\nAUDIO=\r\n"));
    const std::pair<const char*, bool> copies[] = {
        {"Appuntello (Mario's conflicted copy 2026-12-09).ini", false},
        {"Appuntello-PORTATILE.ini", false},
        {"Appuntello (1).ini", false},
        {"Appuntello.sync-conflict-20261209-101500-ABCDEF1.ini", true}, // dated ahead
    };
    for (const auto& [name, ahead] : copies) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteFile(store, ExampleStore));
        const std::string copy = folder / name;
        ASSERT_TRUE(WriteFile(copy, ExampleWithANoteFromElsewhere));
        if (ahead) {
            ASSERT_TRUE(testfiles::DateAhead(copy));
        }
        ASSERT_TRUE(Start());
        ASSERT_TRUE(modal::PumpUntil([&] { return !testfiles::Exists(copy); }, MergeWithin));
        EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls", "Dal portatile"}));
        EXPECT_EQ(Document().Get("2", "MESSAGE"), "scritta altrove");
        ASSERT_TRUE(Close());
    }
    EXPECT_TRUE(testfiles::Exists(others));
}

// A copy that cannot be deleted (a sync client holds it) is taken in once:
// the looks do not merge it again and again, a note taken from it and
// deleted here stays deleted, and it goes at a save once it is let go.
TEST_F(NoteStore, AConflictCopyThatCannotBeDeletedIsTakenInOnce)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    const std::string copy = folder / "Appuntello (Mario's conflicted copy 2026-12-09).ini";
    ASSERT_TRUE(WriteFile(copy, ExampleWithANoteFromElsewhere));
    {
        UniqueHandle held = testfiles::HoldOpen(copy);
        ASSERT_TRUE(Start());
        ASSERT_TRUE(modal::PumpUntil([&] { return Notes().size() == 3; }, MergeWithin));
        EXPECT_TRUE(testfiles::Exists(copy));
        EXPECT_FALSE(RunOf(controller)->store.ChangedOnDisk(store.c_str(), true)) << "taken in again";
        SendMessageA(Notes()[2], WM_COMMAND, IDM_DELETE_NOTE, 0);
        ASSERT_TRUE(modal::PumpUntil([&] { return !Document().HasSection("2"); }, MergeWithin));
        modal::Pump(2500);
        EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls"}));
    }
    modal::TypeText(NoteEditOf(Notes()[0]), "x");
    EXPECT_TRUE(modal::PumpUntil([&] { return !testfiles::Exists(copy); }, MergeWithin));
}

// An empty file over the store (a glitch, a store emptied by mistake) is not
// taken as the deletion of every note: they stay, and the store holds them.
TEST_F(NoteStore, AnEmptyFileWrittenOverTheStoreClosesNoNote)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WriteFile(store, ""));
    modal::Pump(MergeWithin);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls"}));
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("0", "MESSAGE"), "bread#@milk");
    EXPECT_EQ(Document().Get("1", "TITOLO"), "Calls");
}

// A text editor opened the store, the program saved what was typed, the
// editor saved its old copy: what was typed stays on screen and comes back
// into the store.
TEST_F(NoteStore, AnEditorsStaleCopyLeavesWhatWasTypedOnScreenAndInTheStore)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    HWND note = Notes()[1];
    modal::TypeText(NoteEditOf(note), "richiamare");
    ASSERT_TRUE(
        modal::PumpUntil([&] { return Document().Get("1", "MESSAGE") == "richiamare"; }, MergeWithin));
    ASSERT_TRUE(WriteFile(store, ExampleStore)); // the editor's save, in place
    ASSERT_TRUE(
        modal::PumpUntil([&] { return Document().Get("1", "MESSAGE") == "richiamare"; }, MergeWithin));
    EXPECT_EQ(NoteText(note), "richiamare");
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Shopping", "Calls"}));
}

// The backup is made beside the store and then renamed over the old one: one
// that cannot be written (a full disk) leaves the previous backup.
TEST_F(NoteStore, ABackupThatCannotBeWrittenKeepsThePreviousOne)
{
    const std::string previous = "[0]\r\nTITOLO=copia di prima\r\n";
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(WriteFile(store + ".bak", previous));
    ASSERT_TRUE(Start());
    NewNote("nuova");
    testfiles::Writes disk(".bak");
    ASSERT_TRUE(Close());
    EXPECT_EQ(Document().Get("2", "TITOLO"), "nuova");
    EXPECT_EQ(ReadFile(store + ".bak"), previous);
}

// Another computer changed a note saved here: the change reaches the screen,
// and the store as this run last wrote it is kept beside it first.
TEST_F(NoteStore, AChangeFromElsewhereReachesTheScreenAndWhatItReplacedIsKept)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    HWND calls = Notes()[1];
    SetWindowTextA(NoteEditOf(calls), "scritta qui");
    ASSERT_EQ(SaveAllNotes(*RunOf(controller)), SyncResult::Done);
    const std::string mine = File();
    IniDocument theirs = Document();
    theirs.Set("1", "MESSAGE", "riscritta altrove");
    {
        // Nothing is taken away without its copy: while .mine cannot be
        // written, the note keeps what was saved here, and the save is tried again.
        testfiles::Writes failing(".mine");
        ASSERT_TRUE(ReplaceByRename(store, theirs.Serialize()));
        modal::Pump(3000);
        EXPECT_EQ(NoteText(calls), "scritta qui");
        EXPECT_FALSE(testfiles::Exists(store + ".mine"));
    }
    ASSERT_TRUE(modal::PumpUntil([&] { return NoteText(calls) == "riscritta altrove"; }, MergeWithin));
    EXPECT_EQ(ReadFile(store + ".mine"), mine);
    EXPECT_EQ(File(), theirs.Serialize());
}

// Typed into here and changed apart on another computer, from the same
// version: the note shows both changes, the caret and the selection stay on
// the same text, moved past what came before them, and the keyboard stays.
TEST_F(NoteStore, ANoteChangedApartHereAndElsewhereShowsBothWithTheCaretInPlace)
{
    const std::string note0 = "[0]\r\nTITOLO=Spesa\r\nMESSAGE=";
    ASSERT_TRUE(WriteFile(store, note0 + "pane latte\r\nAUDIO=\r\nIDENTITA=a1\r\nVERSIONE=altro:1\r\n"));
    ASSERT_TRUE(Start());
    HWND note = Notes()[0];
    HWND edit = NoteEditOf(note);
    SetFocus(edit);
    SetWindowTextA(edit, "pane latte uova");
    SendMessageA(edit, EM_SETSEL, 5, 10); // "latte"
    ASSERT_EQ(SaveAllNotes(*RunOf(controller)), SyncResult::Done);
    const HWND focus = GetFocus();
    ASSERT_TRUE(ReplaceByRename(
        store, note0 + "burro pane latte\r\nAUDIO=\r\nIDENTITA=a1\r\nVERSIONE=altro:1,zz:1\r\n"));
    ASSERT_TRUE(modal::PumpUntil([&] { return NoteText(note) == "burro pane latte uova"; }, MergeWithin));
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 11u);
    EXPECT_EQ(end, 16u);
    EXPECT_EQ(GetFocus(), focus);
    EXPECT_EQ(Notes().size(), 1u) << "one note";
    EXPECT_EQ(Document().Get("0", "MESSAGE"), "burro pane latte uova");
}

// Another copy of the program saving holds the lock beside the store: a save
// waits for it. A lock left by a writer that died over a minute ago is removed.
TEST_F(NoteStore, AnotherWritersLockIsWaitedForAndAStaleOneRemoved)
{
    ASSERT_TRUE(WriteFile(store, ExampleStore));
    ASSERT_TRUE(Start());
    NewNote("nuova");
    const std::string lock = store + ".lock";
    ASSERT_TRUE(WriteFile(lock, "4242\r\n"));
    // Closed, so deletable, as a writer on another computer's lock is seen
    // where share modes do not meet: only its age tells it from a dead one's.
    for (unsigned secondsAgo : {0u, 5u, 50u}) {
        ASSERT_TRUE(testfiles::DateBack(lock, secondsAgo));
        EXPECT_EQ(SaveAllNotes(*RunOf(controller)), SyncResult::Later) << secondsAgo << " s old";
        EXPECT_EQ(File(), ExampleStore);
        EXPECT_TRUE(testfiles::Exists(lock)) << secondsAgo << " s old";
    }
    ASSERT_TRUE(testfiles::DateBack(lock, 70));
    EXPECT_EQ(SaveAllNotes(*RunOf(controller)), SyncResult::Done);
    EXPECT_EQ(Document().Get("2", "TITOLO"), "nuova");
    EXPECT_FALSE(testfiles::Exists(lock));

    // A folder that refuses new files refuses the lock as it refuses the
    // store: a failed save, not another writer to wait for.
    MakeLockFile = [](const std::string&) -> void* {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    };
    testfiles::Writes refused("Appuntello.ini");
    NewNote("altra");
    EXPECT_EQ(SaveAllNotes(*RunOf(controller)), SyncResult::Failed);
}

// ---- Deleted notes ----

namespace {

// The desktop's trash of the user Wine runs as, which Wine's Recycle Bin is;
// the test program runs with a HOME of its own (tests/CMakeLists.txt).
std::string TrashFolder()
{
    // Wine hands the program HOME as WINEHOMEDIR, "\\??\\Z:\\home\\...".
    const char* home = std::getenv("WINEHOMEDIR");
    std::string folder = home ? home : "";
    if (folder.rfind("\\??\\", 0) == 0)
        folder.erase(0, 4);
    return folder + "\\.local\\share\\Trash\\files";
}

std::vector<std::string> Names(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    for (const std::string& path : paths)
        names.emplace_back(NameOf(path));
    std::sort(names.begin(), names.end());
    return names;
}

// What arrived in a folder since its names were taken.
std::vector<std::string> NewIn(const std::string& folder, const std::vector<std::string>& before)
{
    std::vector<std::string> now = Names(testfiles::Matching(folder + "\\*")), added;
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(added));
    return added;
}

std::vector<std::string> TitlesIn(const std::string& file)
{
    std::vector<std::string> titles;
    for (const auto& note : StoredNotes(IniDocument::Parse(ReadFile(file))))
        titles.push_back(note ? note->title : "(none)");
    return titles;
}

// While it lives, the Recycle Bin keeps files as the system says, or never.
class RecycleBin {
  public:
    explicit RecycleBin(bool on) : before_(RecycleBinKeeps)
    {
        RecycleBinKeeps = on ? SystemRecycleBinKeeps : Never;
    }
    ~RecycleBin() { RecycleBinKeeps = before_; }
    RecycleBin(const RecycleBin&) = delete;
    RecycleBin& operator=(const RecycleBin&) = delete;

  private:
    static bool Never(const std::string&) { return false; }
    bool (*before_)(const std::string&);
};

} // namespace

// "Elimina Tutti" by mistake: what it deleted is one file in the Recycle Bin,
// and "Ripristina" (the file moved back where it was) brings the notes back
// on screen and into the store. A note made and deleted empty leaves nothing.
// Where the bin would not keep the file, the folder beside the store keeps
// the last files, and one moved beside the store comes back the same way.
TEST_F(NoteStore, DeletedNotesGoToTheRecycleBinAndComeBack)
{
    std::optional<RecycleBin> bin(std::in_place, true);
    const std::string trash = TrashFolder();
    const std::vector<std::string> inTrash = Names(testfiles::Matching(trash + "\\*"));
    ASSERT_TRUE(Start());
    NewNote("Spesa", "pane\r\nlatte");
    NewNote("Chiamate", "Mario");
    ASSERT_TRUE(modal::PumpUntil([&] { return Document().Get("1", "TITOLO") == "Chiamate"; }, MergeWithin));

    SendMessageA(controller, WM_COMMAND, IDM_DELETE_ALL, 0);
    EXPECT_TRUE(Notes().empty());
    const std::vector<std::string> deleted = NewIn(trash, inTrash);
    ASSERT_EQ(deleted.size(), 1u) << trash;
    std::printf("in the trash: %s\n", deleted[0].c_str());
    EXPECT_EQ(TitlesIn(trash + "\\" + deleted[0]), (std::vector<std::string>{"Spesa", "Chiamate"}));
    ASSERT_TRUE(modal::PumpUntil([&] { return !Document().HasSection("0"); }, MergeWithin));

    // "Ripristina" puts the file back where it was.
    const std::string restored = OwnDeletedNotesFolder(store) + "\\" + deleted[0];
    ASSERT_TRUE(MoveFileA((trash + "\\" + deleted[0]).c_str(), restored.c_str())) << restored;
    ASSERT_TRUE(modal::PumpUntil([&] { return Notes().size() == 2; }, MergeWithin));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Spesa", "Chiamate"}));
    EXPECT_EQ(NoteText(Notes()[0]), "pane\r\nlatte");
    ASSERT_TRUE(modal::PumpUntil([&] { return !testfiles::Exists(restored); }, MergeWithin));
    EXPECT_EQ(Document().Get("0", "MESSAGE"), "pane#@latte");
    EXPECT_EQ(Document().Get("1", "TITOLO"), "Chiamate");
    modal::Pump(MergeWithin);
    EXPECT_EQ(Notes().size(), 2u) << "taken in once";

    // A new note deleted as it came leaves nothing.
    SendMessageA(controller, WM_COMMAND, IDM_NEW_NOTE, 0);
    ASSERT_EQ(Notes().size(), 3u);
    SendMessageA(Notes()[2], WM_COMMAND, IDM_DELETE_NOTE, 0);
    EXPECT_EQ(Notes().size(), 2u);
    EXPECT_TRUE(NewIn(trash, inTrash).empty());

    // Without a bin, beside the store: the last files of 22 deletions.
    bin.emplace(false);
    const std::string beside = DeletedNotesFolderBeside(store);
    SendMessageA(Notes()[1], WM_COMMAND, IDM_DELETE_NOTE, 0);
    std::vector<std::string> kept = Names(testfiles::Matching(beside + "\\*.ini"));
    ASSERT_EQ(kept.size(), 1u) << beside;
    EXPECT_EQ(TitlesIn(beside + "\\" + kept[0]), (std::vector<std::string>{"Chiamate"}));
    for (int i = 0; i < 21; ++i)
        SendMessageA(NewNote("Via " + std::to_string(i), "x"), WM_COMMAND, IDM_DELETE_NOTE, 0);
    kept = Names(testfiles::Matching(beside + "\\*.ini"));
    EXPECT_EQ(kept.size(), KeptBesideStore);
    EXPECT_TRUE(NewIn(trash, inTrash).empty());
    bool newestKept = false;
    for (const std::string& name : kept)
        newestKept = newestKept || TitlesIn(beside + "\\" + name) == std::vector<std::string>{"Via 20"};
    EXPECT_TRUE(newestKept);

    // Moved beside the store, a kept file comes back too.
    const std::string one = beside + "\\" + kept[0];
    const std::vector<std::string> itsNotes = TitlesIn(one);
    ASSERT_TRUE(MoveFileA(one.c_str(), (folder / kept[0]).c_str()));
    ASSERT_TRUE(modal::PumpUntil([&] { return Notes().size() == 2; }, MergeWithin));
    EXPECT_EQ(Titles()[1], itsNotes.at(0));
    RemoveDirectoryA(OwnDeletedNotesFolder(store).c_str());
}
