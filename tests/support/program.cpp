#include "tests/support/program.h"

#include <cstring>

#include "app/autosave.h"
#include "app/controller.h"
#include "app/startup.h"
#include "app/tray.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "store/store_file.h"
#include "voice/voice.h"

namespace {

// What a test may have changed around the program: the notes of the
// registry's own tests, the clock, the module path, the autosave's pace, the
// high-contrast question, the shell. The program itself starts afresh with each
// controller.
void ResetProgram()
{
    FreeNoteList();
    AutosaveTiming = DefaultAutosaveTiming;
    ReadLocalTime = GetLocalTime;
    ReadModuleFileName = GetModuleFileNameA;
    HighContrastOn = SystemHighContrastOn;
    NotifyShell = Shell_NotifyIconA;
    WatchFolder = FindFirstChangeNotificationA;
    MakeLockFile = DefaultMakeLockFile;
}

} // namespace

void ProgramTest::SetUp()
{
    ResetProgram();
    ASSERT_NE(RegisterWindowClasses(instance), 0);
    std::string store = StoreFile();
    ASSERT_LT(store.size(), sizeof StorePath);
    std::strcpy(StorePath, store.c_str());
    if (StartsController()) {
        ASSERT_TRUE(Start());
    }
}

testing::AssertionResult ProgramTest::Start()
{
    controller = CreateControllerWindow(instance);
    if (!controller)
        return testing::AssertionFailure() << "the controller window was not created";
    return testing::AssertionSuccess();
}

void ProgramTest::TearDown()
{
    if (controller && IsWindow(controller))
        CloseProgram();
    UnregisterWindowClasses(instance);
    ResetProgram();
}

void ProgramTest::CloseProgram(Where at)
{
    TRACE_CALLER(at);
    SendMessageA(controller, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(controller));
    EXPECT_TRUE(TakeQuit());
    EXPECT_EQ(NoteListHead, nullptr);
}

std::vector<HWND> ProgramTest::Notes() const
{
    std::vector<HWND> notes;
    for (NoteNode* node = NoteListHead; node; node = node->next)
        notes.push_back(node->window);
    return notes;
}

HWND ProgramTest::NewNote(const char* title, Where at)
{
    TRACE_CALLER(at);
    HWND note = CreateNoteWindow(title);
    EXPECT_NE(note, nullptr);
    return note;
}

void ProgramTest::Options(modal::Script& script, Where at)
{
    TRACE_CALLER(at);
    SendMessageA(controller, WM_COMMAND, IDM_OPTIONS, 0);
    EXPECT_TRUE(script.Done()) << "a dialog of the script never opened";
    EXPECT_TRUE(IsWindowEnabled(controller)) << "the controller stayed disabled";
}

void ProgramTest::Options(std::function<void(HWND dialog)> action, Where at)
{
    modal::Script script;
    script.Dialog(OptionsCaption, std::move(action), at);
    Options(script, at);
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, CountChild, count); // all descendants
    return TRUE;
}

} // namespace

DWORD WindowCount()
{
    DWORD count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string NoteText(HWND note)
{
    // WM_GETTEXT, which the system carries to another process's edit field;
    // GetWindowText reads only the captions of other processes' windows.
    HWND edit = GetDlgItem(note, NoteEditId);
    std::string text(static_cast<size_t>(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
    text.resize(
        static_cast<size_t>(SendMessageA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]))));
    return text;
}

bool TakeQuit()
{
    MSG quit;
    return PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void SendTrayEvent(HWND controller, UINT event, UINT id, POINT at)
{
    SendMessageA(controller, TrayCallbackMessage, MAKEWPARAM(at.x, at.y), MAKELPARAM(event, id));
}
