#include "store/note_store.h"

#include "notes/note_window.h"

// Reading and writing the file are not built yet: start-up only creates the
// brush from the default colour, and exit keeps nothing.
void LoadNotes()
{
    NoteBrush = CreateSolidBrush(NoteColor);
}

bool SaveAllNotes(bool)
{
    return true;
}
