// A save that never finishes: the program is killed while it writes the
// store, and the file must then hold either the whole old store or the whole
// new one, never less. The killed program is this test program started again
// to run one of the CrashChild tests, which are disabled in a normal run.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/controller.h"
#include "app/controller_run.h"
#include "app/notes_io.h"
#include "app/startup.h"
#include "base/file_replace.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/store_builder.h"

using testfiles::ReadFile;
using testfiles::RunningProgram;
using testfiles::WriteFile;

namespace {

const char StoreVariable[] = "APPUNTELLO_CRASH_STORE";
const char StepVariable[] = "APPUNTELLO_CRASH_STEP";
constexpr UINT KilledCode = 3;

std::string Variable(const char* name)
{
    char value[MAX_PATH] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

// A store of `count` notes of about a thousand characters: more than one
// piece of the file is written, so a kill can fall between two of them.
std::string OldStore(int count)
{
    StoredRun notes;
    for (int i = 0; i < count; ++i) {
        std::string text = "nota " + std::to_string(i) + ":";
        while (text.size() < 1000) {
            text += " parola\r\naltra";
        }
        notes.push_back(StoredNote{"Nota " + std::to_string(i), text, ""});
    }
    return StoreText(notes, OptionsSection(200, 150, 65535));
}

// Arguments that make this test program, started again, run one CrashChild
// test on the store, stopping at the given step of its save.
std::string ChildArguments(const char* test, const std::string& store, int step)
{
    SetEnvironmentVariableA(StoreVariable, store.c_str());
    SetEnvironmentVariableA(StepVariable, std::to_string(step).c_str());
    return std::string("--gtest_also_run_disabled_tests --gtest_filter=CrashChild.DISABLED_") + test;
}

// ---- The children ----

int StepsSeen;
int DieAtStep;

bool DieAtTheChosenStep(const std::string&, ReplaceStep)
{
    if (++StepsSeen == DieAtStep) {
        TerminateProcess(GetCurrentProcess(), KilledCode);
    }
    return true;
}

// Starts as the program does, with the store named by the driver.
HWND StartProgram(Where at = Here())
{
    TRACE_CALLER(at);
    EXPECT_NE(RegisterWindowClasses(GetModuleHandleA(nullptr)), 0);
    std::strcpy(StorePath, Variable(StoreVariable).c_str());
    HWND controller = CreateControllerWindow(GetModuleHandleA(nullptr));
    EXPECT_NE(controller, nullptr);
    EXPECT_NE(NoteListHead, nullptr) << "the store had no notes";
    return controller;
}

// Changes the notes as a user might, then exits, dying at one step of the save.
TEST(CrashChild, DISABLED_ChangeNotesAndExit)
{
    HWND controller = StartProgram();
    ASSERT_NE(NoteListHead, nullptr);
    NoteNode* oldest = NoteListHead;
    while (oldest->next) {
        oldest = oldest->next;
    }
    DestroyWindow(oldest->window);
    SetWindowTextA(NoteEditOf(NoteListHead->window), "cambiata\r\nda poco");
    CreateNoteWindow("nuova");
    NoteWidth = 321;

    DieAtStep = std::atoi(Variable(StepVariable).c_str());
    ReplaceStepHook = DieAtTheChosenStep;
    SendMessageA(controller, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(controller));
}

// Saves two versions of the notes in turn until it is killed, after leaving a
// copy of each version beside the store and a mark that it has begun.
TEST(CrashChild, DISABLED_SaveOverAndOver)
{
    ControllerRun& run = *RunOf(StartProgram());
    ASSERT_NE(NoteListHead, nullptr);
    const std::string store = StorePath;
    HWND edit = NoteEditOf(NoteListHead->window);
    const char* const versions[] = {"versione A", "versione B"};
    for (int i = 0; i < 2; ++i) {
        SetWindowTextA(edit, versions[i]);
        ASSERT_EQ(SaveAllNotes(run), SyncResult::Done);
        ASSERT_TRUE(CopyFileA(store.c_str(), (store + "." + std::to_string(i)).c_str(), FALSE));
    }
    ASSERT_TRUE(WriteFile(store + ".begun", ""));
    const DWORD start = GetTickCount();
    for (int i = 0; GetTickCount() - start < 30000; ++i) {
        SetWindowTextA(edit, versions[i % 2]);
        SaveAllNotes(run);
    }
}

// ---- The driver ----

TEST(CrashSafety, AKillAtAnyStepOfASaveLeavesTheWholeOldOrTheWholeNewStore)
{
    testfiles::ScratchFolder folder;
    const std::string store = folder / "Appuntello.ini";
    const std::string backup = store + ".bak";
    const std::string old = OldStore(80);
    const std::string olderBackup = "[0]\r\nTITOLO=copia di prima\r\n";

    ASSERT_TRUE(WriteFile(store, old));
    {
        RunningProgram whole(testfiles::SelfPath(), ChildArguments("ChangeNotesAndExit", store, 0),
                             store + ".log");
        ASSERT_TRUE(whole.started());
        ASSERT_EQ(whole.ExitCode(60000), 0u) << ReadFile(store + ".log");
    }
    const std::string saved = ReadFile(store);
    ASSERT_NE(saved, old);
    ASSERT_NE(saved.find("TITOLO=nuova"), std::string::npos);

    int oldSeen = 0;
    bool newSeen = false;
    for (int step = 1;; ++step) {
        ASSERT_LT(step, 40) << "the save never finished";
        SCOPED_TRACE("killed at step " + std::to_string(step));
        // Fresh files: a kill between the backup and the swap leaves the two
        // names on one file, and writing to one would change the other.
        DeleteFileA(store.c_str());
        DeleteFileA(backup.c_str());
        ASSERT_TRUE(WriteFile(store, old));
        ASSERT_TRUE(WriteFile(backup, olderBackup));
        RunningProgram child(testfiles::SelfPath(), ChildArguments("ChangeNotesAndExit", store, step),
                             store + ".log");
        ASSERT_TRUE(child.started());
        const DWORD code = child.ExitCode(60000);
        ASSERT_TRUE(code == KilledCode || code == 0) << "exit code " << code << "\n"
                                                     << ReadFile(store + ".log");

        // Each save stamps new versions: the rest of the store is compared.
        const std::string found = WithoutIdentities(ReadFile(store));
        ASSERT_TRUE(found == old || found == WithoutIdentities(saved))
            << "the store holds " << found.size() << " bytes";
        if (found == old) {
            EXPECT_FALSE(newSeen) << "the old store came back after the new one was in place";
            ++oldSeen;
            const std::string kept = ReadFile(backup);
            EXPECT_TRUE(kept == olderBackup || kept == old)
                << "a backup that is neither: " << kept.size() << " bytes";
        } else {
            newSeen = true;
            EXPECT_EQ(ReadFile(backup), old);
        }
        if (code == 0) {
            break; // this save ran to its end: every step has been tried
        }
    }
    EXPECT_TRUE(newSeen);
    // The backup, then the store: each created, written, flushed.
    EXPECT_GE(oldSeen, 6);
}

// Kills from outside, at moments nobody chose, while the program saves again
// and again: whatever it was doing, the store is one of the two versions.
TEST(CrashSafety, AKillAtAnyMomentLeavesAWholeStore)
{
    testfiles::ScratchFolder folder;
    const std::string store = folder / "Appuntello.ini";
    int insideASave = 0;
    // Twelve kills at least, and more until one has come inside a save.
    for (int run = 0; run < 12 || (insideASave == 0 && run < 48); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        for (const char* name : {"", ".bak", ".begun"}) {
            DeleteFileA((store + name).c_str());
        }
        for (const std::string& temp : testfiles::Matching(store + "*.tmp")) {
            DeleteFileA(temp.c_str());
        }
        ASSERT_TRUE(WriteFile(store, OldStore(60)));
        RunningProgram child(testfiles::SelfPath(), ChildArguments("SaveOverAndOver", store, 0),
                             store + ".log");
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(modal::PumpUntil([&] { return testfiles::Exists(store + ".begun"); }, 30000))
            << ReadFile(store + ".log");
        Sleep(static_cast<DWORD>(run * 37 % 50));
        child.Kill();

        const std::string found = WithoutIdentities(ReadFile(store));
        const std::string a = WithoutIdentities(ReadFile(store + ".0"));
        const std::string b = WithoutIdentities(ReadFile(store + ".1"));
        ASSERT_NE(a, b);
        EXPECT_TRUE(found == a || found == b) << "the store holds " << found.size() << " bytes";
        const std::string kept = ReadFile(store + ".bak");
        // The backup keeps the store as the run found it, however often it saved.
        EXPECT_TRUE(kept == OldStore(60) || kept.empty()) << "the backup holds " << kept.size() << " bytes";
        if (!testfiles::Matching(store + "*.tmp").empty()) {
            ++insideASave;
        }
    }
    // A kill that leaves the temporary file behind came in the middle of a save.
    EXPECT_GT(insideASave, 0);
}

} // namespace
