// Every test program: GoogleTest on the GUI thread, with the modal-loop
// helper armed so that no menu or dialog can hang a test.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/support/modal.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    InitCommonControls();
    modal::Install();
    return RUN_ALL_TESTS();
}
