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

HWND RecorderWindow;
int RecordingActive;

bool NotesChanged;

namespace {
DWORD FirstUnsavedChange;
}

void NoteChanged()
{
    if (!NotesChanged) {
        NotesChanged = true;
        FirstUnsavedChange = GetTickCount();
    } else if (GetTickCount() - FirstUnsavedChange >= AutosaveLongestWait) {
        return; // the timer runs out soon: the save is not put off again
    }
    if (ControllerWindow)
        SetTimer(ControllerWindow, AutosaveTimerId, AutosaveDelay, nullptr);
}

void(WINAPI* ReadLocalTime)(LPSYSTEMTIME) = GetLocalTime;
DWORD(WINAPI* ReadModuleFileName)(HMODULE, LPSTR, DWORD) = GetModuleFileNameA;
