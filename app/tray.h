// The tray icon and its menu: the icon added at the controller's creation,
// added again after the shell restarts and removed at close; the menu opened
// at the icon, with the note list built afresh at every opening.
#ifndef APPUNTELLO_APP_TRAY_H
#define APPUNTELLO_APP_TRAY_H

#include <windows.h>

extern const char TrayTip[];

// Loads the icon at the small-icon size and adds it to the tray.
void ShowTrayIcon(HWND controller);
// After the shell has restarted, its notification area has forgotten the icon.
void ShowTrayIconAgain(HWND controller, UINT message);
// Removes the icon from the tray and releases it and the note list.
void RemoveTrayIconAndMenus(HWND controller);

// The shell's report of a mouse event on the icon: the menu at a release of
// the left button, a new note at a double click of the right one.
void OnTrayCallback(HWND controller, WPARAM id, LPARAM mouseMessage);
// The tray menu is about to open: its note list is built afresh.
void OnInitTrayPopup(HWND controller, HMENU popup);

BOOL AddTrayIcon(HWND window, HICON icon);
BOOL RemoveTrayIcon(HWND window);
// The notes, newest first, each by its title and under its NoteId's command.
HMENU BuildNoteListMenu();
// The icon handed to the tray, from ShowTrayIcon to RemoveTrayIconAndMenus.
HICON CurrentTrayIcon();
// The note list of the last opening of the menu, until the next or the close.
HMENU CurrentNoteListMenu();

#endif
