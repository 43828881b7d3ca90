// The notes between the screen and the store: recreated as note windows at
// start, and at every save brought together with the store on disk, where
// another writer may have changed it meanwhile: what the merge brings is shown
// (notes updated in place, closed, or added at the next cascade positions,
// none of them taking the keyboard), through the run's store session.
#ifndef APPUNTELLO_APP_NOTES_IO_H
#define APPUNTELLO_APP_NOTES_IO_H

#include <windows.h>

#include "store/store_session.h"

struct ControllerRun;
struct NoteNode;

// Reads the settings, creates NoteBrush and recreates every stored note,
// playing each voice message to its end once its note is painted, none
// taking the keyboard. A store that is there but cannot be read is reported
// to the user.
void LoadNotes(ControllerRun& run);

// Writes every registered note and the settings, merged first with the store
// on disk when another writer changed it, and shows what the merge brought;
// with `create`, a store that does not exist yet is created. Later when the file was still being
// written or another writer was saving; Failed when the store could not be
// read or written, the old file being left as it was. With no StorePath at
// all (a controller made without one) nothing is kept.
SyncResult SaveAllNotes(ControllerRun& run, bool create = false);

// Whether the store on disk changed since this run last read or wrote it, a
// conflict copy lies beside it, or a note waits for a merge; the folder is
// listed for copies when `told` of a change in it, or when it looks changed.
bool StoreChangedOnDisk(ControllerRun& run, bool told = false);

// After a failed save at exit: tells the user and asks whether to quit all the
// same, losing the changes. True for yes.
bool AskToQuitUnsaved();

// A registered note's window read into what the store keeps: its title,
// text and voice path.
StoredNote ReadNoteWindow(const NoteNode& note);
// How the run names a note to the store.
NoteKey KeyOf(HWND note);

#endif
