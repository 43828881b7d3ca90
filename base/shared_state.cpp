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

NoteNode* NoteListHead;
HWND RecorderWindow;

unsigned NoteCount;

void NoteChanged()
{
    if (ControllerWindow)
        SendMessageA(ControllerWindow, NoteChangedMessage, 0, 0);
}

void NoteDeleting(HWND note)
{
    if (ControllerWindow)
        SendMessageA(ControllerWindow, NoteDeletingMessage, reinterpret_cast<WPARAM>(note), 0);
}
