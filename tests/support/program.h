// The program running inside the test process: both classes registered, the
// store in a scratch folder, and the controller window created as at start.
#ifndef APPUNTELLO_TESTS_PROGRAM_H
#define APPUNTELLO_TESTS_PROGRAM_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"

class ProgramTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Closes the controller as "E&sci" does and checks that the loop would end.
    void CloseProgram();
    // Notes in registry order, newest first.
    std::vector<HWND> Notes() const;
    HWND NewNote(const char* title = "Nota");
    std::string StoreFile() const { return folder / "Appuntello.ini"; }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    testfiles::ScratchFolder folder;
    HWND controller = nullptr;
};

// Handle counts of this process, to catch leaks.
DWORD GdiObjects();
DWORD UserObjects();

#endif
