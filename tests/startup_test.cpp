// Start-up: the store path, the single running copy, the window classes and
// the controller window, checked on copies of the real program and in-process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "base/shared_state.h"
#include "base/store_path.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"

using testfiles::RunningProgram;
using testfiles::ScratchFolder;

namespace {

std::string Derived(std::string_view modulePath)
{
    char out[MAX_PATH] = "unchanged";
    return DeriveStorePath(modulePath, out, sizeof out) ? out : "(refused)";
}

// Starts a copy of the program, closes it in order and returns its exit code.
DWORD RunAndClose(const std::string& exePath, Where at = Here())
{
    TRACE_CALLER(at);
    RunningProgram program(exePath);
    EXPECT_TRUE(program.started()) << exePath;
    HWND controller = program.WaitForController();
    EXPECT_NE(controller, nullptr) << "no controller window from " << exePath;
    if (controller)
        PostMessageA(controller, WM_CLOSE, 0, 0);
    const DWORD code = program.ExitCode(20000);
    EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE)) << exePath << " did not end after WM_CLOSE";
    return code;
}

} // namespace

TEST(StorePath, APathTooShortOrTooLongIsRefused)
{
    EXPECT_EQ(Derived("ab"), "(refused)");
    std::string longPath(MAX_PATH, 'x');
    EXPECT_EQ(Derived(longPath), "(refused)");
    EXPECT_EQ(Derived(std::string(MAX_PATH - 1, 'y')).size(), static_cast<size_t>(MAX_PATH - 1));
}

// Copies of the program under other names keep their store beside them, named
// from their own file name.
TEST(StorePath, CopiesOfTheProgramWriteTheirOwnStore)
{
    struct Case {
        const char* exe;
        const char* store;
    } cases[] = {{"notes.exe", "notes.ini"}, {"notes.EXE", "notes.ini"}, {"notes.ex", "notesini"}};
    for (const Case& c : cases) {
        ScratchFolder own;
        std::string exe = own / c.exe;
        ASSERT_TRUE(CopyFileA(testfiles::ProgramPath().c_str(), exe.c_str(), FALSE)) << exe;
        EXPECT_EQ(RunAndClose(exe), 0u) << c.exe;
        EXPECT_TRUE(testfiles::Exists(own / c.store)) << c.exe << " should have written " << c.store;
    }
}

TEST(SingleInstance, SecondStartEndsAndLeavesOneController)
{
    ScratchFolder folder;
    std::string exe = folder / "Appuntello.exe";
    ASSERT_TRUE(CopyFileA(testfiles::ProgramPath().c_str(), exe.c_str(), FALSE));
    RunningProgram first(exe);
    HWND controller = first.WaitForController();
    ASSERT_NE(controller, nullptr);

    RunningProgram second(exe);
    ASSERT_EQ(second.ExitCode(10000), 0u) << "the second copy kept running, or failed";
    EXPECT_EQ(testfiles::FindWindows("Class_Appuntello", "Appuntello").size(), 1u);

    PostMessageA(controller, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.ExitCode(20000), 0u);
}

// Two copies started together race past the window search; the mutex lets
// only one of them run.
TEST(SingleInstance, TwoCopiesStartedTogetherLeaveOneRunning)
{
    ScratchFolder folder;
    std::string exe = folder / "Appuntello.exe";
    ASSERT_TRUE(CopyFileA(testfiles::ProgramPath().c_str(), exe.c_str(), FALSE));
    RunningProgram a(exe);
    RunningProgram b(exe);
    DWORD codeA = 99, codeB = 99;
    DWORD start = GetTickCount();
    bool aEnded = false, bEnded = false;
    while (!aEnded && !bEnded && GetTickCount() - start < 15000) {
        aEnded = a.WaitExit(50, &codeA);
        bEnded = b.WaitExit(50, &codeB);
    }
    ASSERT_TRUE(aEnded != bEnded) << "exactly one copy should end by itself";
    EXPECT_EQ(aEnded ? codeA : codeB, 0u);
    RunningProgram& survivor = aEnded ? b : a;
    HWND controller = survivor.WaitForController();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(testfiles::FindWindows("Class_Appuntello", "Appuntello").size(), 1u);
    PostMessageA(controller, WM_CLOSE, 0, 0);
    EXPECT_EQ(survivor.ExitCode(20000), 0u);
}

// Only a window of both the class and the title is a running copy.
TEST(SingleInstance, LookalikeWindowsDoNotBlockStartUp)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA decoyClass{};
    decoyClass.lpfnWndProc = DefWindowProcA;
    decoyClass.hInstance = instance;
    decoyClass.lpszClassName = "Decoy_Class";
    ASSERT_TRUE(RegisterClassA(&decoyClass));
    decoyClass.lpszClassName = "Class_Appuntello"; // this process's own class of that name
    ASSERT_TRUE(RegisterClassA(&decoyClass));
    HWND otherClass = CreateWindowExA(0, "Decoy_Class", "Appuntello", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      instance, nullptr);
    HWND otherTitle = CreateWindowExA(0, "Class_Appuntello", "Altro", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      instance, nullptr);
    ASSERT_TRUE(otherClass && otherTitle);

    ScratchFolder folder;
    std::string exe = folder / "Appuntello.exe";
    ASSERT_TRUE(CopyFileA(testfiles::ProgramPath().c_str(), exe.c_str(), FALSE));
    EXPECT_EQ(RunAndClose(exe), 0u);

    DestroyWindow(otherClass);
    DestroyWindow(otherTitle);
    UnregisterClassA("Decoy_Class", instance);
    UnregisterClassA("Class_Appuntello", instance);
}

class WindowClasses : public testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(RegisterWindowClasses(instance), 0); }
    void TearDown() override { UnregisterWindowClasses(instance); }
    HINSTANCE instance = GetModuleHandleA(nullptr);
};

TEST_F(WindowClasses, AreRegisteredAsTheProgramNeedsThem)
{
    WNDCLASSA controller{}, note{};
    ASSERT_TRUE(GetClassInfoA(instance, "Class_Appuntello", &controller));
    ASSERT_TRUE(GetClassInfoA(instance, "Class_YellowWindow", &note));

    EXPECT_EQ(controller.style, 0u);
    EXPECT_EQ(controller.cbWndExtra, 0);
    EXPECT_EQ(controller.cbClsExtra, 0);
    EXPECT_NE(controller.hIcon, nullptr);
    EXPECT_NE(controller.hCursor, nullptr);
    EXPECT_EQ(controller.hbrBackground, nullptr);
    EXPECT_EQ(controller.lpszMenuName, MAKEINTRESOURCEA(101));

    EXPECT_EQ(note.style, static_cast<UINT>(CS_NOCLOSE));
    EXPECT_EQ(note.cbWndExtra, static_cast<int>(sizeof(void*))); // one word: the voice path
    EXPECT_EQ(note.cbClsExtra, 0);
    EXPECT_EQ(note.hIcon, controller.hIcon);
    EXPECT_EQ(note.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(note.hbrBackground, nullptr);
    EXPECT_EQ(note.lpszMenuName, nullptr);
    EXPECT_NE(note.lpfnWndProc, controller.lpfnWndProc);
}

TEST_F(WindowClasses, ControllerWindowIsAHiddenTopmostToolWindowWithTheTrayMenu)
{
    HWND controller = CreateControllerWindow(instance);
    ASSERT_NE(controller, nullptr);
    // The system adds WS_CLIPSIBLINGS to every pop-up window.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(controller, GWL_STYLE)) & ~WS_CLIPSIBLINGS & 0xFFFF0000u,
              0x90000000u);
    EXPECT_EQ(GetWindowLongA(controller, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    RECT rect = modal::WindowRect(controller);
    EXPECT_EQ(rect.right - rect.left, 0);
    EXPECT_EQ(rect.bottom - rect.top, 0);
    EXPECT_EQ(GetParent(controller), nullptr);
    EXPECT_EQ(testfiles::FindWindows("Class_Appuntello", "Appuntello").size(), 1u);

    HMENU menu = GetMenu(controller);
    ASSERT_NE(menu, nullptr);
    char text[64];
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Appuntello");
    EXPECT_EQ(GetMenuItemID(GetSubMenu(menu, 0), 0), 39999u);

    SendMessageA(controller, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(controller));
    EXPECT_TRUE(TakeQuit()) << "closing must end the loop";
}

namespace {

DWORD WINAPI CutModulePath(HMODULE, LPSTR buffer, DWORD size)
{
    // What GetModuleFileNameA does with a path longer than the buffer: fills
    // it, cut, and answers with its size.
    for (DWORD i = 0; i + 1 < size; ++i)
        buffer[i] = 'p';
    buffer[size - 1] = '\0';
    return size;
}

DWORD WINAPI LongestFittingPath(HMODULE, LPSTR buffer, DWORD)
{
    std::string path = "C:\\" + std::string(MAX_PATH - 1 - 3 - 4, 'q') + ".exe";
    lstrcpyA(buffer, path.c_str());
    return static_cast<DWORD>(path.size());
}

} // namespace

// A module path that does not fit comes back cut: the store path derived from
// it would name another file, so start-up must give up instead.
TEST(StorePath, CutModulePathIsRefused)
{
    lstrcpyA(StorePath, "before");
    ReadModuleFileName = CutModulePath;
    EXPECT_FALSE(SetStorePathFromModule(nullptr));
    EXPECT_STREQ(StorePath, "before");

    ReadModuleFileName = LongestFittingPath;
    EXPECT_TRUE(SetStorePathFromModule(nullptr));
    EXPECT_EQ(std::string(StorePath).substr(std::string(StorePath).size() - 5), "q.ini");
    ReadModuleFileName = GetModuleFileNameA;
    StorePath[0] = '\0'; // that folder does not exist: a later close could not save there
}
