// The way back from a deletion: what "&Elimina Tutti" and "&Elimina Memino"
// delete is kept first in a file sent to the Recycle Bin
// (store/deleted_notes.h), and a file brought back from there is taken into
// the store, which shows its notes again.
#ifndef APPUNTELLO_APP_RECYCLE_H
#define APPUNTELLO_APP_RECYCLE_H

#include <windows.h>

#include <vector>

struct ControllerRun;

// Keeps the notes about to be deleted, oldest first, as they are now. A note
// just made by "&Nuovo Memino" and left empty leaves nothing; nor does a
// controller made without a store.
void KeepBeforeDeleting(ControllerRun& run, const std::vector<HWND>& notes);

// Hands the files of deleted notes that came back to the store session, which
// takes them in at its next sync.
void TakeInRestoredNotes(ControllerRun& run);

#endif
