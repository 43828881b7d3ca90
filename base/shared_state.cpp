#include "base/shared_state.h"

const char ControllerClassName[] = "Class_Appuntello";
const char NoteClassName[] = "Class_YellowWindow";
const char ControllerTitle[] = "Appuntello";

HINSTANCE AppInstance;
char StorePath[MAX_PATH];

HWND ControllerWindow;
OwnedMenu NoteMenu;
OwnedMenu NoteListMenu;

int NoteWidth = DefaultNoteWidth;
int NoteHeight = DefaultNoteHeight;
COLORREF NoteColor = DefaultNoteColor;
bool AppearanceCommitted;
OwnedBrush NoteBrush;

unsigned NoteCount;

NoteNode* NoteListHead;

bool NotesChanged;
void (*NoteChangeListener)();

void NoteChanged()
{
    if (!NoteChangeListener)
        return;
    NotesChanged = true;
    NoteChangeListener();
}

void(WINAPI* ReadLocalTime)(LPSYSTEMTIME) = GetLocalTime;
DWORD(WINAPI* ReadModuleFileName)(HMODULE, LPSTR, DWORD) = GetModuleFileNameA;
