// At 144 DPI: sizes are kept in pixels of a 96-DPI screen, in the store and
// on the Options dialog's sliders, and drawn one and a half times larger. The
// test runs in a copy of this program started with Wine's LogPixels at 144,
// which Wine reads at each program's start; this program has a Wine prefix of
// its own (tests/CMakeLists.txt), so that no other test sees that setting.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/screen_scale.h"
#include "res/resource.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"
#include "voice/recorder.h"

using modal::HasOuterSize;
using modal::IsAt;
using modal::MoveSlider;

namespace {

// Sets LogPixels (0 removes it) and returns what it was.
DWORD SwapLogPixels(DWORD dpi)
{
    HKEY key = nullptr;
    DWORD old = 0, size = sizeof old;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegQueryValueExA(key, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old), &size);
    if (dpi)
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    else
        RegDeleteValueA(key, "LogPixels");
    RegCloseKey(key);
    return old;
}

class At144Dpi : public ProgramTest {};

} // namespace

TEST(ScreenAt144Dpi, NotesOptionsAndRecorderScale)
{
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Windows takes a new DPI setting only at the next sign-in";
    testfiles::ScratchFolder folder;
    DWORD old = SwapLogPixels(144), exitCode = STILL_ACTIVE;
    {
        testfiles::RunningProgram copy(testfiles::SelfPath(),
                                       "--gtest_also_run_disabled_tests --gtest_filter=At144Dpi.*",
                                       folder / "copy.log");
        exitCode = copy.ExitCode(120000);
    }
    SwapLogPixels(old);
    const std::string log = testfiles::ReadFile(folder / "copy.log");
    EXPECT_EQ(exitCode, 0u) << log;
    EXPECT_NE(log.find("[  PASSED  ] 1 test."), std::string::npos) << log;
}

TEST_F(At144Dpi, DISABLED_NotesApplyAndTheRecorderScaleWhatTheStoreKeeps)
{
    ASSERT_EQ(ScreenDpi(), 144);
    HWND first = NewNote();
    EXPECT_TRUE(HasOuterSize(first, 240, 180));
    EXPECT_TRUE(IsAt(NewNote(), POINT{30, 30})) << "the cascade steps 20 pixels of a 96-DPI screen";
    Options([&](HWND dialog) {
        MoveSlider(dialog, IDC_WIDTH_SLIDER, 320);
        modal::Click(dialog, IDC_APPLY);
        EXPECT_TRUE(HasOuterSize(first, 480, 180));
        modal::Click(dialog, IDCANCEL);
    });

    HWND recorder = CreateRecorderWindow(first, instance, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND record = GetDlgItem(recorder, RecorderRecordButtonId);
    EXPECT_TRUE(HasOuterSize(record, 132, 39)) << "the recorder's button, 88 x 26 pixels at 96 DPI";
    auto font = reinterpret_cast<HFONT>(SendMessageA(record, WM_GETFONT, 0, 0));
    LOGFONTA described{};
    GetObjectA(font, sizeof described, &described);
    EXPECT_LE(described.lfHeight, -MulDiv(8, 144, 72)) << "the recorder's text is smaller than 8 points";
    DestroyWindow(recorder);
    EXPECT_EQ(GetObjectType(font), 0u) << "the recorder's font outlives it";

    CloseProgram();
    const std::string store = testfiles::ReadFile(StoreFile());
    EXPECT_NE(store.find("LARGHEZZA=160\r\nALTEZZA=120\r\n"), std::string::npos) << store;
}
