// The hidden controller window: the tray commands, and the start and close of
// the program (the tray icon and its menu are in app/tray.h).
#ifndef APPUNTELLO_CONTROLLER_H
#define APPUNTELLO_CONTROLLER_H

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// "Appuntello - dd/mm/yyyy  hh:mm" into a buffer of TitleCapacity characters.
void FormatNoteTitle(const SYSTEMTIME& time, char* title);
// Whether a title has that shape, whatever its date and time.
bool IsNewNoteTitle(const char* title);

// Where a new note's title reads the clock; tests put their own here.
extern void(WINAPI* ReadLocalTime)(LPSYSTEMTIME);

#endif
