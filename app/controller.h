// The hidden controller window: the tray icon and its menu, the tray
// commands, and the start and close of the program.
#ifndef APPUNTELLO_CONTROLLER_H
#define APPUNTELLO_CONTROLLER_H

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

BOOL AddTrayIcon(HWND window, HICON icon);
// The icon the controller hands the tray: the program icon at the small-icon
// size, from the controller's creation to its close; nullptr otherwise.
HICON CurrentTrayIcon();
BOOL RemoveTrayIcon(HWND window);
HMENU BuildNoteListMenu();

// "Appuntello - dd/mm/yyyy  hh:mm" into a buffer of TitleCapacity characters.
void FormatNoteTitle(const SYSTEMTIME& time, char* title);

// Destroys every registered note, newest first.
void DestroyAllNotes();

#endif
