#include "app/startup.h"

#include "app/autosave.h"
#include "app/controller.h"
#include "app/controller_run.h"
#include "app/tray.h"
#include "base/shared_state.h"
#include "base/store_path.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "voice/voice.h"

const char SingleInstanceMutexName[] = "Local\\Appuntello.SingleInstance";
DWORD(WINAPI* ReadModuleFileName)(HMODULE, LPSTR, DWORD) = GetModuleFileNameA;

HANDLE AcquireSingleInstanceMutex()
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, SingleInstanceMutexName);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex;
}

bool BringRunningInstanceToTop(bool otherCopyHoldsMutex)
{
    // The first copy creates its window only after loading its notes.
    const int attempts = otherCopyHoldsMutex ? 100 : 1;
    for (int i = 0; i < attempts; ++i) {
        if (HWND running = FindWindowA(ControllerClassName, ControllerTitle)) {
            BringWindowToTop(running);
            return true;
        }
        if (i + 1 < attempts)
            Sleep(50);
    }
    return false;
}

ATOM RegisterWindowClasses(HINSTANCE instance)
{
    AppInstance = instance;
    GlobalRecord<WNDCLASSA> record;
    if (!record)
        return 0;
    WNDCLASSA* wc = record.get();
    wc->style = 0;
    wc->lpfnWndProc = MainWndProc;
    wc->hInstance = instance;
    wc->hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPUNTELLO));
    wc->hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc->lpszMenuName = MAKEINTRESOURCEA(IDR_TRAY_MENU);
    wc->lpszClassName = ControllerClassName;
    RegisterClassA(wc); // a failure shows as a failed controller window

    wc->style = CS_NOCLOSE;
    wc->lpfnWndProc = NoteWndProc;
    wc->cbWndExtra = sizeof(LONG_PTR); // window word 0: the note's voice path
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = NoteClassName;
    return RegisterClassA(wc);
}

void UnregisterWindowClasses(HINSTANCE instance)
{
    UnregisterClassA(NoteClassName, instance);
    UnregisterClassA(ControllerClassName, instance);
}

bool SetStorePathFromModule(HINSTANCE instance)
{
    char modulePath[MAX_PATH];
    DWORD length = ReadModuleFileName(instance, modulePath, sizeof modulePath);
    // A path that filled the buffer was cut: its end is not the file's extension.
    if (length == 0 || length >= sizeof modulePath)
        return false;
    return DeriveStorePath(std::string_view(modulePath, length), StorePath, sizeof StorePath);
}

HWND CreateControllerWindow(HINSTANCE instance)
{
    HWND controller = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, ControllerClassName, ControllerTitle,
                                      WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (controller)
        GiveKeyboardToNewestNote();
    return controller;
}

void WaitForMessageOrStoreChange(DWORD milliseconds)
{
    ControllerRun* run = ControllerWindow ? RunOf(ControllerWindow) : nullptr;
    HANDLE signals[2];
    const int count = run ? StoreFolderSignals(*run, signals) : 0;
    DWORD result = WAIT_FAILED;
    if (count > 0)
        result = MsgWaitForMultipleObjectsEx(static_cast<DWORD>(count), signals, milliseconds, QS_ALLINPUT,
                                             MWMO_INPUTAVAILABLE);
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + static_cast<DWORD>(count))
        OnStoreFolderChanged(*run, static_cast<int>(result - WAIT_OBJECT_0));
    else if (result == WAIT_FAILED) // no watch, or one the system let go of
        MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// While a menu or a modal dialog runs its own loop, nobody waits for the
// store's folder; once it ends, the signal still set is seen here.
void RunMessageLoop()
{
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return;
            // The recorder is a window of buttons, not a dialog: the dialog
            // manager gives it Tab, Enter, Space, Esc and the buttons' letters.
            if (RecorderWindow && IsDialogMessageA(RecorderWindow, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        WaitForMessageOrStoreChange(INFINITE);
    }
}
