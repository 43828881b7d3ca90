// The program running inside the test process: both classes registered, the
// store in a scratch folder, and the controller window created as at start.
#ifndef APPUNTELLO_TESTS_PROGRAM_H
#define APPUNTELLO_TESTS_PROGRAM_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/where.h"

// Every test of the program starts from a fresh program: every shared global
// as at start, before and after each test, so that no test sees another's.
class ProgramTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Tests of the parts below the controller make none.
    virtual bool StartsController() const { return true; }

    // Creates the controller window as a start of the program does: the
    // cascade from the first place, the store loaded.
    [[nodiscard]] testing::AssertionResult Start();
    // Closes the controller as "E&sci" does and checks that the loop would end.
    void CloseProgram(Where at = Here());
    // Notes in registry order, newest first.
    std::vector<HWND> Notes() const;
    HWND NewNote(const char* title = "Nota", Where at = Here());
    // The tray's "&Opzioni" command, its dialog answered by the steps of the
    // script, or acted on by the function.
    void Options(modal::Script& script, Where at = Here());
    void Options(std::function<void(HWND dialog)> action, Where at = Here());
    std::string StoreFile() const { return folder / "Appuntello.ini"; }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    testfiles::ScratchFolder folder;
    HWND controller = nullptr;
};

constexpr char OptionsCaption[] = "Opzioni";

// The windows of this thread, children included: the leak checks count them.
DWORD WindowCount();
// The text in a note's edit field, of this program or of another process.
std::string NoteText(HWND note);
// Takes the WM_QUIT that a close leaves for the message loop: false when none waits.
bool TakeQuit();
// The shell's report of an event on the tray icon, as its version 4 sends it:
// the event and the icon's id in lParam, the icon's or the cursor's place in wParam.
void SendTrayEvent(HWND controller, UINT event, UINT id = TrayIconId, POINT at = {});

#endif
