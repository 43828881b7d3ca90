#include "app/autosave.h"

#include <string>
#include <vector>

#include "app/notes_io.h"
#include "base/captions.h"
#include "base/shared_state.h"

AutosaveTimes AutosaveTiming = DefaultAutosaveTiming;

namespace {

HWND Controller; // while autosave runs
DWORD FirstUnsavedChange;
bool SavePending; // a change waits for its save

unsigned Failures; // in a row
DWORD FirstFailure;
bool Warned;
bool ShutdownHeld;

// Windows Vista and later show this text to a user whose shutdown waits for
// us; found at run time, older systems do without.
using BlockReasonCreate = BOOL(WINAPI*)(HWND, LPCWSTR);
using BlockReasonDestroy = BOOL(WINAPI*)(HWND);

FARPROC UserFunction(const char* name)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    return user ? GetProcAddress(user, name) : nullptr;
}

template <typename Function> Function As(FARPROC proc)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

void HoldShutdown(HWND controller)
{
    if (ShutdownHeld)
        return;
    auto create = As<BlockReasonCreate>(UserFunction("ShutdownBlockReasonCreate"));
    if (!create)
        return;
    const std::string reason = std::string("Appunti non salvati: impossibile scrivere nel file ") + StorePath;
    std::vector<WCHAR> wide(reason.size() + 1);
    if (!MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, wide.data(), static_cast<int>(wide.size())))
        return;
    ShutdownHeld = create(controller, wide.data()) != FALSE;
}

void ReleaseShutdown(HWND controller)
{
    if (!ShutdownHeld)
        return;
    ShutdownHeld = false;
    if (auto destroy = As<BlockReasonDestroy>(UserFunction("ShutdownBlockReasonDestroy")))
        destroy(controller);
}

UINT RetryDelay()
{
    UINT delay = AutosaveTiming.firstRetry;
    for (unsigned i = 1; i < Failures && delay < AutosaveTiming.longestRetry; ++i)
        delay *= 2;
    return delay < AutosaveTiming.longestRetry ? delay : AutosaveTiming.longestRetry;
}

void ScheduleRetry()
{
    if (Controller)
        SetTimer(Controller, AutosaveTimerId, RetryDelay(), nullptr);
}

// Once, until a save succeeds again. The box runs a modal loop in which the
// retries go on.
void WarnOnce()
{
    if (Warned || !Controller || GetTickCount() - FirstFailure < AutosaveTiming.warnAfter)
        return;
    Warned = true;
    const std::string message =
        std::string("Impossibile salvare gli appunti nel file\n") + StorePath +
        "\n\nGli appunti restano aperti: il programma riprover\xe0 a salvarli da solo.";
    MessageBoxA(Controller, message.c_str(), WarningCaption, MB_OK | MB_ICONWARNING);
}

// Saving is put off after each change, but not once the first unsaved change
// is longestWait old, so that typing without pause is saved too. While saves
// fail, the retries keep their own pace.
void OnNoteChanged()
{
    if (!Controller || Failures > 0)
        return;
    const DWORD now = GetTickCount();
    if (!SavePending) {
        SavePending = true;
        FirstUnsavedChange = now;
    } else if (now - FirstUnsavedChange >= AutosaveTiming.longestWait) {
        return; // the timer runs out soon: the save is not put off again
    }
    SetTimer(Controller, AutosaveTimerId, AutosaveTiming.delay, nullptr);
}

} // namespace

bool SaveNotesNow(HWND controller, bool closing)
{
    SyncResult result = SaveAllNotes(closing);
    for (const DWORD start = GetTickCount();
         closing && result == SyncResult::Later && GetTickCount() - start < AutosaveTiming.closeWait;) {
        Sleep(100);
        result = SaveAllNotes(closing);
    }
    if (result == SyncResult::Done) {
        NotesChanged = false;
        SavePending = false;
        Failures = 0;
        Warned = false;
        ReleaseShutdown(controller);
        return true;
    }
    if (result == SyncResult::Later && !closing) {
        // Not a failure: another writer is at it.
        if (Controller)
            SetTimer(Controller, AutosaveTimerId, AutosaveTiming.later, nullptr);
        return false;
    }
    if (Failures++ == 0)
        FirstFailure = GetTickCount();
    HoldShutdown(controller);
    ScheduleRetry();
    WarnOnce();
    return false;
}

bool SavesFailing()
{
    return Failures > 0;
}

void StartAutosave(HWND controller)
{
    NotesChanged = false;
    SavePending = false;
    Failures = 0;
    Warned = false;
    ShutdownHeld = false;
    ResumeAutosave(controller);
}

void StopAutosave(HWND controller)
{
    KillTimer(controller, AutosaveTimerId);
    KillTimer(controller, StoreWatchTimerId);
    Controller = nullptr;
    NoteChangeListener = nullptr;
}

void ResumeAutosave(HWND controller)
{
    Controller = controller;
    NoteChangeListener = OnNoteChanged;
    SetTimer(controller, StoreWatchTimerId, AutosaveTiming.watch, nullptr);
    if (Failures > 0)
        ScheduleRetry();
}

void OnAutosaveTimer(HWND controller)
{
    KillTimer(controller, AutosaveTimerId);
    if (Controller != controller || (!NotesChanged && !StoreChangedOnDisk()))
        return;
    SaveNotesNow(controller);
}

void OnStoreWatchTimer(HWND controller)
{
    // A save under way or being retried looks at the store itself.
    if (Controller != controller || SavePending || Failures > 0 || !StoreChangedOnDisk())
        return;
    SaveNotesNow(controller);
}
