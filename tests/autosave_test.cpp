// Notes are saved a moment after each change, so that a crash loses at most
// the last few seconds: the real program killed after typing, and the same
// saves in this process, where the file can be watched.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/autosave.h"
#include "app/startup.h"
#include "base/handles.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "store/ini_document.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"

using testfiles::ReadFile;
using testfiles::RunningProgram;
using testfiles::WriteFile;

namespace {

const char OldStore[] = "[OPZIONI]\r\nLARGHEZZA=160\r\nALTEZZA=120\r\nCOLORE=65535\r\n"
                        "[0]\r\nTITOLO=vecchia\r\nMESSAGE=di ieri\r\nAUDIO=\r\n";

class Autosave : public ProgramTest {
  protected:
    bool StartsController() const override { return false; }
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp()); }
    void TearDown() override
    {
        RemoveDirectoryA(StoreFile().c_str()); // a test that stopped while its store could not be written
        ProgramTest::TearDown();
    }
    int Saves() const { return writes.Replaced("Appuntello.ini"); }
    IniDocument Store() const { return IniDocument::Parse(ReadFile(StoreFile())); }
    bool Holds(const char* section, const char* key, const std::string& value) const
    {
        return Store().Get(section, key) == value;
    }
    testfiles::Writes writes;
};

} // namespace

// Typed into the real program, which is then killed as a crash would end it:
// the next start shows the text; a deleted note stays deleted.
TEST(AutosaveKill, WhatWasTypedAndDeletedSurvivesAKill)
{
    testfiles::ScratchFolder folder;
    const std::string exe = folder / "Appuntello.exe";
    const std::string store = folder / "Appuntello.ini";
    ASSERT_TRUE(CopyFileA(testfiles::ProgramPath().c_str(), exe.c_str(), FALSE));
    auto stored = [&](const char* key) { return IniDocument::Parse(ReadFile(store)).Get("0", key); };
    {
        RunningProgram program(exe);
        HWND controller = program.WaitForController();
        ASSERT_NE(controller, nullptr);
        PostMessageA(controller, WM_COMMAND, IDM_NEW_NOTE, 0);
        std::vector<HWND> notes;
        ASSERT_TRUE(
            modal::PumpUntil([&] { return !(notes = program.Windows(NoteClassName)).empty(); }, 10000));
        modal::TypeText(GetDlgItem(notes[0], NoteEditId), "da salvare");
        ASSERT_TRUE(modal::PumpUntil([&] { return stored("MESSAGE") == "da salvare"; }, 10000))
            << "no save after typing";
        program.Kill();
    }
    {
        RunningProgram program(exe);
        ASSERT_NE(program.WaitForController(), nullptr);
        std::vector<HWND> notes = program.Windows(NoteClassName);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(NoteText(notes[0]), "da salvare");
        PostMessageA(notes[0], WM_COMMAND, IDM_DELETE_NOTE, 0);
        ASSERT_TRUE(modal::PumpUntil([&] { return !stored("TITOLO"); }, 10000)) << "no save after deleting";
        program.Kill();
    }
    RunningProgram program(exe);
    ASSERT_NE(program.WaitForController(), nullptr);
    EXPECT_TRUE(program.Windows(NoteClassName).empty());
}

// A burst of typing is one save, made a moment after it; the backup keeps the
// store as the run found it however often the run saves.
TEST_F(Autosave, ABurstOfTypingIsOneSaveAndTheBackupKeepsTheStoreOfTheStart)
{
    ASSERT_TRUE(WriteFile(StoreFile(), OldStore));
    ASSERT_TRUE(Start());
    HWND edit = NoteEditOf(Notes()[0]);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    modal::TypeText(edit, "scritta di fila");
    EXPECT_EQ(Saves(), 0) << "saved while the user was still typing";
    ASSERT_TRUE(modal::PumpUntil([&] { return Holds("0", "MESSAGE", "scritta di fila"); }, 6000));
    modal::Pump(AutosaveTiming.delay + 500);
    EXPECT_EQ(Saves(), 1);

    SendMessageA(controller, WM_COMMAND, IDM_DELETE_ALL, 0);
    ASSERT_TRUE(modal::PumpUntil([&] { return !Store().HasSection("0"); }, 6000));
    EXPECT_EQ(Saves(), 2);
    EXPECT_EQ(ReadFile(StoreFile() + ".bak"), OldStore);
}

// Hiding and showing change nothing the store keeps: no write, not even one
// that leaves the same bytes.
TEST_F(Autosave, NothingIsWrittenWhileNothingChanges)
{
    ASSERT_TRUE(WriteFile(StoreFile(), OldStore));
    ASSERT_TRUE(Start());
    SendMessageA(controller, WM_COMMAND, IDM_HIDE_ALL, 0);
    SendMessageA(controller, WM_COMMAND, IDM_SHOW_ALL, 0);
    modal::Pump(AutosaveTiming.delay + 1000);
    EXPECT_EQ(Saves(), 0);
    EXPECT_EQ(ReadFile(StoreFile()), OldStore);
}

// A new title and the Options dialog's OK are saved too; not while the dialog
// is still asking.
TEST_F(Autosave, ATitleAndNewSettingsAreSaved)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("prima");
    modal::Pump(AutosaveTiming.delay + 500);
    ASSERT_TRUE(Holds("0", "TITOLO", "prima"));
    {
        modal::Script script;
        script.Dialog("Cambia Titolo", [](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_TITLE_EDIT, "dopo");
            modal::Click(dialog, IDOK);
        });
        SendMessageA(note, WM_COMMAND, IDM_CHANGE_TITLE, 0);
    }
    {
        modal::Script script;
        script.Dialog("Opzioni", [&](HWND dialog) {
            SendDlgItemMessageA(dialog, IDC_WIDTH_SLIDER, TBM_SETPOS, TRUE, 320);
            modal::Click(dialog, IDOK);
            // Asked while the title dialog's change waits: nothing is written meanwhile.
        });
        SendMessageA(controller, WM_COMMAND, IDM_OPTIONS, 0);
    }
    ASSERT_TRUE(modal::PumpUntil([&] { return Holds("OPZIONI", "LARGHEZZA", "320"); }, 6000));
    EXPECT_TRUE(Holds("0", "TITOLO", "dopo"));
}

// A store held by another program (a virus scanner, a sync client) makes a
// save fail: it is tried again on its own, without the user typing again.
TEST_F(Autosave, AFailedSaveIsRetriedWithoutFurtherTyping)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("nota");
    modal::Pump(AutosaveTiming.delay + 500);
    ASSERT_TRUE(Holds("0", "TITOLO", "nota"));
    {
        // Without delete sharing the new store cannot take its name.
        UniqueHandle held = testfiles::HoldOpen(StoreFile());
        ASSERT_TRUE(held.valid());
        modal::TypeText(NoteEditOf(note), "tenuta");
        modal::Pump(AutosaveTiming.delay + 1000); // a message box here would fail the test
        EXPECT_EQ(Saves(), 1);
    }
    ASSERT_TRUE(
        modal::PumpUntil([&] { return Holds("0", "MESSAGE", "tenuta"); }, AutosaveTiming.firstRetry * 4));
}

// Saves that keep failing are told once, by the controller; a save that works
// again says nothing, and only then may a new run of failures be told.
TEST_F(Autosave, SavesThatKeepFailingAreToldOnce)
{
    AutosaveTiming = AutosaveTimes{100, 500, 100, 200, 1000, 2000, 100, 1000};
    ASSERT_TRUE(Start());
    HWND note = NewNote("nota");
    ASSERT_TRUE(CreateDirectoryA(StoreFile().c_str(), nullptr));
    int warnings = 0;
    auto warn = [&](HWND box) {
        ++warnings;
        EXPECT_EQ(GetWindow(box, GW_OWNER), controller);
        EXPECT_NE(modal::MessageBoxText(box).find("Impossibile salvare gli appunti nel file"),
                  std::string::npos);
        modal::Click(box, IDOK);
    };
    {
        modal::Script script;
        script.Dialog("Attenzione", warn);
        modal::TypeText(NoteEditOf(note), "a");
        ASSERT_TRUE(script.WaitDone(5000));
        modal::Pump(1500);
        EXPECT_EQ(FindWindowA("#32770", "Attenzione"), nullptr) << "told twice";
        ASSERT_TRUE(RemoveDirectoryA(StoreFile().c_str()));
        ASSERT_TRUE(modal::PumpUntil([&] { return Holds("0", "MESSAGE", "a"); }, 2000));
    }
    ASSERT_TRUE(DeleteFileA(StoreFile().c_str()));
    ASSERT_TRUE(CreateDirectoryA(StoreFile().c_str(), nullptr));
    modal::Script script;
    script.Dialog("Attenzione", warn);
    modal::TypeText(NoteEditOf(note), "b");
    EXPECT_TRUE(script.WaitDone(5000));
    EXPECT_EQ(warnings, 2);
    ASSERT_TRUE(RemoveDirectoryA(StoreFile().c_str()));
}

// A lock that stays (its holder hangs, or it is dated an hour ahead by
// another computer's clock) puts every save off: once for as long as failures
// are borne, it is told as a failed save, and the shutdown waits.
TEST_F(Autosave, ALockThatStaysIsToldAsAFailedSave)
{
    AutosaveTiming = AutosaveTimes{100, 500, 100, 200, 1000, 60000, 100, 1000};
    ASSERT_TRUE(Start());
    HWND note = NewNote("nota");
    const std::string lock = StoreFile() + ".lock";
    ASSERT_TRUE(WriteFile(lock, "4242\r\n"));
    ASSERT_TRUE(testfiles::DateAhead(lock));
    modal::Script script;
    script.Dialog("Attenzione", [&](HWND box) {
        EXPECT_NE(modal::MessageBoxText(box).find("Impossibile salvare gli appunti nel file"),
                  std::string::npos);
        modal::Click(box, IDOK);
    });
    modal::TypeText(NoteEditOf(note), "a");
    EXPECT_TRUE(script.WaitDone(5000)) << "put off without a word";
    EXPECT_EQ(SendMessageA(controller, WM_QUERYENDSESSION, 0, 0), FALSE);
    ASSERT_TRUE(DeleteFileA(lock.c_str()));
    ASSERT_TRUE(modal::PumpUntil([&] { return Holds("0", "MESSAGE", "a"); }, 2000));
}

// What is typed while the Options dialog (or any other) is open is saved
// while it stays open.
TEST_F(Autosave, TypingIsSavedWhileTheOptionsDialogIsOpen)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("nota");
    modal::Script script;
    script.Dialog("Opzioni", [&](HWND dialog) {
        modal::TypeText(NoteEditOf(note), "mentre");
        EXPECT_TRUE(modal::PumpUntil([&] { return Holds("0", "MESSAGE", "mentre"); }, 6000));
        modal::Click(dialog, IDCANCEL);
    });
    SendMessageA(controller, WM_COMMAND, IDM_OPTIONS, 0);
    EXPECT_TRUE(script.Done());
}

// The end of the session waits for the notes: a store that cannot be written
// holds it back, and once it can be written the session may end.
TEST_F(Autosave, TheSessionEndsOnlyOnceTheNotesAreSaved)
{
    ASSERT_TRUE(Start());
    HWND note = NewNote("nota");
    ASSERT_TRUE(CreateDirectoryA(StoreFile().c_str(), nullptr));
    SetWindowTextA(NoteEditOf(note), "prima di spegnere");
    EXPECT_EQ(SendMessageA(controller, WM_QUERYENDSESSION, 0, 0), FALSE);
    ASSERT_TRUE(RemoveDirectoryA(StoreFile().c_str()));
    EXPECT_EQ(SendMessageA(controller, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_TRUE(Holds("0", "MESSAGE", "prima di spegnere"));
}
