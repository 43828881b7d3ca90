#include "app/autosave.h"

#include <string>
#include <vector>

#include "app/controller_run.h"
#include "app/notes_io.h"
#include "app/recycle.h"
#include "base/captions.h"
#include "base/shared_state.h"

AutosaveTimes AutosaveTiming = DefaultAutosaveTiming;

namespace {

bool Running(const ControllerRun& run)
{
    return run.phase == RunPhase::Running;
}

// The text Windows shows to a user whose shutdown waits for us.
void HoldShutdown(ControllerRun& run)
{
    if (run.autosave.shutdownHeld)
        return;
    const std::string reason = std::string("Appunti non salvati: impossibile scrivere nel file ") + StorePath;
    std::vector<WCHAR> wide(reason.size() + 1);
    if (!MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, wide.data(), static_cast<int>(wide.size())))
        return;
    run.autosave.shutdownHeld = ShutdownBlockReasonCreate(run.window, wide.data()) != FALSE;
}

void ReleaseShutdown(ControllerRun& run)
{
    if (!run.autosave.shutdownHeld)
        return;
    run.autosave.shutdownHeld = false;
    ShutdownBlockReasonDestroy(run.window);
}

UINT RetryDelay(const AutosaveState& state)
{
    UINT delay = AutosaveTiming.firstRetry;
    for (unsigned i = 1; i < state.failures && delay < AutosaveTiming.longestRetry; ++i)
        delay *= 2;
    return delay < AutosaveTiming.longestRetry ? delay : AutosaveTiming.longestRetry;
}

void ScheduleRetry(ControllerRun& run)
{
    if (Running(run))
        SetTimer(run.window, AutosaveTimerId, RetryDelay(run.autosave), nullptr);
}

// Once, until a save succeeds again. The box runs a modal loop in which the
// retries go on.
void WarnOnce(ControllerRun& run)
{
    AutosaveState& state = run.autosave;
    if (state.warned || !Running(run) || GetTickCount() - state.firstFailure < AutosaveTiming.warnAfter)
        return;
    state.warned = true;
    const std::string message =
        std::string("Impossibile salvare gli appunti nel file\n") + StorePath +
        "\n\nGli appunti restano aperti: il programma riprover\xe0 a salvarli da solo.";
    MessageBoxA(run.window, message.c_str(), WarningCaption, MB_OK | MB_ICONWARNING);
}

} // namespace

// Saving is put off after each change, but not once the first unsaved change
// is longestWait old, so that typing without pause is saved too. While saves
// fail, the retries keep their own pace.
void OnNoteChanged(ControllerRun& run)
{
    AutosaveState& state = run.autosave;
    state.unsaved = true;
    if (state.failures > 0)
        return;
    const DWORD now = GetTickCount();
    if (!state.savePending) {
        state.savePending = true;
        state.firstUnsavedChange = now;
    } else if (now - state.firstUnsavedChange >= AutosaveTiming.longestWait) {
        return; // the timer runs out soon: the save is not put off again
    }
    SetTimer(run.window, AutosaveTimerId, AutosaveTiming.delay, nullptr);
}

bool SaveNotesNow(ControllerRun& run, bool closing)
{
    AutosaveState& state = run.autosave;
    SyncResult result = SaveAllNotes(run, closing);
    for (const DWORD start = GetTickCount();
         closing && result == SyncResult::Later && GetTickCount() - start < AutosaveTiming.closeWait;) {
        Sleep(100);
        result = SaveAllNotes(run, closing);
    }
    if (result == SyncResult::Done) {
        state.unsaved = false;
        state.savePending = false;
        state.failures = 0;
        state.warned = false;
        ReleaseShutdown(run);
        return true;
    }
    if (result == SyncResult::Later && !closing) {
        // Not a failure: another writer is at it.
        if (Running(run))
            SetTimer(run.window, AutosaveTimerId, AutosaveTiming.later, nullptr);
        return false;
    }
    if (state.failures++ == 0)
        state.firstFailure = GetTickCount();
    HoldShutdown(run);
    ScheduleRetry(run);
    WarnOnce(run);
    return false;
}

void StartAutosave(ControllerRun& run)
{
    run.phase = RunPhase::Running;
    SetTimer(run.window, StoreWatchTimerId, AutosaveTiming.watch, nullptr);
    if (run.autosave.failures > 0)
        ScheduleRetry(run);
}

void StopAutosave(ControllerRun& run)
{
    KillTimer(run.window, AutosaveTimerId);
    KillTimer(run.window, StoreWatchTimerId);
}

void OnAutosaveTimer(ControllerRun& run)
{
    KillTimer(run.window, AutosaveTimerId);
    if (Running(run) && (run.autosave.unsaved || StoreChangedOnDisk(run)))
        SaveNotesNow(run);
}

void OnStoreWatchTimer(ControllerRun& run)
{
    if (Running(run))
        TakeInRestoredNotes(run);
    // A save under way or being retried looks at the store itself.
    if (Running(run) && !run.autosave.savePending && run.autosave.failures == 0 && StoreChangedOnDisk(run))
        SaveNotesNow(run);
}
