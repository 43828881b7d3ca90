#include "app/autosave.h"

#include <string>
#include <vector>

#include "app/controller_run.h"
#include "app/notes_io.h"
#include "app/recycle.h"
#include "base/captions.h"
#include "base/path_parts.h"
#include "base/shared_state.h"
#include "store/deleted_notes.h"

AutosaveTimes AutosaveTiming = DefaultAutosaveTiming;
HANDLE(WINAPI* WatchFolder)(LPCSTR, BOOL, DWORD) = FindFirstChangeNotificationA;

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

// A file written, renamed, made or deleted in the store's folder. Nothing
// when the system cannot watch it: the looks then find every change.
void Watch(OwnedChangeNotification& changes, const std::string& folder)
{
    if (changes)
        return;
    HANDLE watch =
        WatchFolder(folder.empty() ? "." : folder.c_str(), FALSE,
                    FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE);
    if (watch != INVALID_HANDLE_VALUE)
        changes.reset(watch);
}

void WatchStoreFolder(ControllerRun& run)
{
    if (StorePath[0] == '\0')
        return;
    Watch(run.autosave.folderChanges, FolderOf(StorePath));
    Watch(run.autosave.restoredChanges, OwnDeletedNotesFolder(StorePath));
}

// A save under way or being retried looks at the store itself.
void LookAtStore(ControllerRun& run, bool told)
{
    if (Running(run)) {
        WatchStoreFolder(run); // the folder of deleted notes may be new
        TakeInRestoredNotes(run);
    }
    if (Running(run) && !run.autosave.savePending && run.autosave.failures == 0 &&
        StoreChangedOnDisk(run, told))
        SaveNotesNow(run);
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
    const DWORD now = GetTickCount();
    if (result != SyncResult::Later) {
        state.putOff = false;
    } else if (!state.putOff) {
        state.putOff = true;
        state.putOffSince = now;
    }
    if (result == SyncResult::Later && !closing && now - state.putOffSince < AutosaveTiming.warnAfter) {
        // Not a failure: another writer is at it. Put off for as long as
        // failures are borne before the user is told, it is one (a lock that
        // stays: its holder hangs, or its date lies ahead).
        if (Running(run))
            SetTimer(run.window, AutosaveTimerId, AutosaveTiming.later, nullptr);
        return false;
    }
    if (state.failures++ == 0)
        state.firstFailure = result == SyncResult::Later ? state.putOffSince : now;
    HoldShutdown(run);
    ScheduleRetry(run);
    WarnOnce(run);
    return false;
}

void StartAutosave(ControllerRun& run)
{
    run.phase = RunPhase::Running;
    WatchStoreFolder(run);
    // The first look soon: a conflict copy may lie beside the store already.
    SetTimer(run.window, StoreLookTimerId, AutosaveTiming.later, nullptr);
    if (run.autosave.failures > 0)
        ScheduleRetry(run);
}

void StopAutosave(ControllerRun& run)
{
    KillTimer(run.window, AutosaveTimerId);
    KillTimer(run.window, StoreLookTimerId);
    run.autosave.folderChanges.reset();
    run.autosave.restoredChanges.reset();
}

void OnAutosaveTimer(ControllerRun& run)
{
    KillTimer(run.window, AutosaveTimerId);
    if (Running(run) && (run.autosave.unsaved || StoreChangedOnDisk(run)))
        SaveNotesNow(run);
    else
        run.autosave.putOff = false; // nothing left to put off
}

void OnStoreLookTimer(ControllerRun& run)
{
    SetTimer(run.window, StoreLookTimerId, AutosaveTiming.look, nullptr);
    LookAtStore(run, false);
}

void OnStoreFolderChanged(ControllerRun& run, int signal)
{
    // Watching on first, so that a change made from here on, the look's own
    // save included, is told again.
    HANDLE signals[2];
    if (signal < 0 || signal >= StoreFolderSignals(run, signals))
        return;
    OwnedChangeNotification& changes = signals[signal] == run.autosave.folderChanges.get()
                                           ? run.autosave.folderChanges
                                           : run.autosave.restoredChanges;
    if (!FindNextChangeNotification(changes.get()))
        changes.reset(); // the looks go on alone
    LookAtStore(run, true);
}

int StoreFolderSignals(const ControllerRun& run, HANDLE signals[2])
{
    int count = 0;
    if (run.phase != RunPhase::Running)
        return 0;
    if (run.autosave.folderChanges)
        signals[count++] = run.autosave.folderChanges.get();
    if (run.autosave.restoredChanges)
        signals[count++] = run.autosave.restoredChanges.get();
    return count;
}
