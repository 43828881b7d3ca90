// Every test program: GoogleTest on the GUI thread, with the modal-loop
// helper armed so that no menu or dialog can hang a test.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "store/deleted_notes.h"
#include "tests/support/modal.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    InitCommonControls();
    modal::Install();
    // What tests delete goes beside their scratch stores, never into the
    // trash of the user who runs them; the test of the bin turns it on.
    RecycleBinKeeps = [](const std::string&) { return false; };
    return RUN_ALL_TESTS();
}
