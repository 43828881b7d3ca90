// Saving as the user goes: the notes are written a moment after each change,
// and a save that fails is tried again on its own, less and less often, until
// one succeeds. Saves that keep failing, or that another writer keeps putting
// off, are told to the user once, and at the end of the Windows session they
// hold the shutdown back with the reason. Another writer's changes to the
// store are merged while the program is idle: the system tells of changes in
// the store's folder, and a cheap look now and then finds those it does not
// tell of.
#ifndef APPUNTELLO_APP_AUTOSAVE_H
#define APPUNTELLO_APP_AUTOSAVE_H

#include <windows.h>

#include "base/handles.h"

struct ControllerRun;

constexpr UINT_PTR AutosaveTimerId = 1;
// Looks at the store now and then for changes the system does not tell of.
constexpr UINT_PTR StoreLookTimerId = 2;

struct AutosaveTimes {
    UINT delay;        // from the last change to the save
    DWORD longestWait; // the save is put off no longer once the first unsaved change is this old
    UINT firstRetry;   // from a failed save to the next try; doubled at each failure...
    UINT longestRetry; // ...up to this
    DWORD warnAfter;   // failing (or put off) for this long, the user is told
    // Between two looks at the store for changes the system does not tell of
    // (some network shares; under Wine, writes from outside its own Wine): a
    // look, then a second of the file holding still, brings them within
    // about 10 s.
    UINT look;
    UINT later;      // the store was still being written, or another copy was saving: tried again after this
    DWORD closeWait; // at the close, how long to wait for either of them
};
// Tests shorten them.
extern AutosaveTimes AutosaveTiming;
constexpr AutosaveTimes DefaultAutosaveTiming{2000, 5000, 2000, 30000, 60000, 8000, 1000, 4000};

// What autosave keeps for one run of the controller (ControllerRun).
struct AutosaveState {
    // The unsaved mark: from a change the store keeps until the save that writes it.
    bool unsaved = false;
    bool savePending = false;     // a change waits for its save...
    DWORD firstUnsavedChange = 0; // ...since this moment
    unsigned failures = 0;        // in a row
    DWORD firstFailure = 0;
    bool warned = false;       // the user was told; again only after a save succeeds
    bool shutdownHeld = false; // the reason is shown to a user whose shutdown waits for us
    bool putOff = false;       // saves were put off by another writer (SyncResult::Later)...
    DWORD putOffSince = 0;     // ...since this moment
    // Signalled when something in the store's folder changes.
    OwnedChangeNotification folderChanges;
    // The same for the program's own folder of deleted notes, where
    // "Ripristina" puts a file back.
    OwnedChangeNotification restoredChanges;
};

// Once the stored notes are made, and again when a close is abandoned: every
// change from now on is saved, and the store is watched.
void StartAutosave(ControllerRun& run);
// The close begins: no save of ours, no timer.
void StopAutosave(ControllerRun& run);

// A change the store keeps, while the run is running.
void OnNoteChanged(ControllerRun& run);
void OnAutosaveTimer(ControllerRun& run);
// Another writer's changes to the store are merged within a few seconds,
// even when nothing is unsaved here: the system tells of a change in the
// store's folder (the program's own writes included: the look compares with
// what it wrote), and between those the store is looked at now and then.
void OnStoreFolderChanged(ControllerRun& run, int signal);
void OnStoreLookTimer(ControllerRun& run);
// What the message loop waits on besides messages, at most two: signalled
// when the store's folder, or the folder of deleted notes, changes; none
// while the run does not watch them.
int StoreFolderSignals(const ControllerRun& run, HANDLE signals[2]);
// How the store's folder is watched; tests put their own here.
extern HANDLE(WINAPI* WatchFolder)(LPCSTR folder, BOOL subtree, DWORD filter);

// Saves every note now, recording the outcome: a failure starts the retries
// (while the run is running) and names the problem as the reason that holds a
// shutdown back; a success ends both. When the store is still being written
// by another writer, or another copy saves, the save is tried again in a
// moment; with `closing` it is waited for, a few seconds at most, and a
// store that does not exist yet is created.
bool SaveNotesNow(ControllerRun& run, bool closing = false);

#endif
