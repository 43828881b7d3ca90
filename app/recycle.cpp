#include "app/recycle.h"

#include "app/controller.h"
#include "app/controller_run.h"
#include "app/notes_io.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "store/deleted_notes.h"

void KeepBeforeDeleting(ControllerRun& run, const std::vector<HWND>& notes)
{
    if (StorePath[0] == '\0')
        return;
    std::vector<StoredNote> kept;
    for (HWND note : notes)
        if (const NoteNode* node = FindNote(note)) {
            StoredNote stored = run.store.AsStored(KeyOf(note), ReadNoteWindow(*node));
            if (!IsNewNoteTitle(stored.title.c_str()) || !stored.text.empty() || !stored.voicePath.empty())
                kept.push_back(std::move(stored));
        }
    if (kept.empty())
        return;
    SYSTEMTIME now;
    ReadLocalTime(&now);
    KeepDeletedNotes(StorePath, kept,
                     LocalMoment{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

void TakeInRestoredNotes(ControllerRun& run)
{
    if (StorePath[0] != '\0')
        run.store.TakeIn(FindRestoredDeletedNotes(StorePath));
}
