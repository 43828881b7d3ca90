#include "base/shared_state.h"

const char ControllerClassName[] = "Class_Appuntello";
const char NoteClassName[] = "Class_YellowWindow";
const char ControllerTitle[] = "Appuntello";

HINSTANCE AppInstance;
char StorePath[MAX_PATH];

HWND ControllerWindow;
OwnedMenu NoteMenu;

int NoteWidth = DefaultNoteWidth;
int NoteHeight = DefaultNoteHeight;
COLORREF NoteColor = DefaultNoteColor;
OwnedBrush NoteBrush;

unsigned NoteCount;

bool NotesChanged;
void (*NoteChangeListener)();

void NoteChanged()
{
    if (!NoteChangeListener)
        return;
    NotesChanged = true;
    NoteChangeListener();
}

void ResetSharedState()
{
    AppInstance = nullptr;
    StorePath[0] = '\0';
    ControllerWindow = nullptr;
    NoteMenu.reset();
    NoteWidth = DefaultNoteWidth;
    NoteHeight = DefaultNoteHeight;
    NoteColor = DefaultNoteColor;
    NoteBrush.reset();
    NoteCount = 0;
    NotesChanged = false;
    NoteChangeListener = nullptr;
}
