// One run of the controller window: everything the program holds from the
// controller's creation to its destruction that the shared globals
// (base/shared_state.h) do not, in one object, as the recorder keeps one per
// window. Made when the window is (WM_NCCREATE), freed with it (WM_NCDESTROY),
// reached from its window; a fresh controller is a fresh run.
#ifndef APPUNTELLO_APP_CONTROLLER_RUN_H
#define APPUNTELLO_APP_CONTROLLER_RUN_H

#include <windows.h>

#include "app/autosave.h"
#include "app/tray.h"
#include "store/store_session.h"

enum class RunPhase {
    // The stored notes are being made (inside the controller's creation):
    // nothing that happens to them is a change of the user's.
    Loading,
    // Changes are saved a moment later; another writer's are merged.
    Running,
    // Another writer's notes are being shown: no change of the user's either.
    Merging,
    // The close sequence runs, asking the user perhaps: a second close
    // request does nothing, and nothing saves but the close itself.
    Closing,
};

struct ControllerRun {
    explicit ControllerRun(HWND controller) : window(controller) {}
    ControllerRun(const ControllerRun&) = delete;
    ControllerRun& operator=(const ControllerRun&) = delete;

    const HWND window;
    RunPhase phase = RunPhase::Loading;
    // The Windows session ends: nobody can be asked at the close.
    bool sessionEnding = false;
    TrayState tray;
    AutosaveState autosave;
    // The store as this run read and wrote it, and what it knows of other writers.
    StoreSession store;
};

// Made and freed by the controller's window procedure.
bool AttachRun(HWND controller);
void DetachRun(HWND controller);
// The run of a controller window; nullptr outside its life.
ControllerRun* RunOf(HWND controller);

#endif
