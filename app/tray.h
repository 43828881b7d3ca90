// The tray icon and its menu: the icon added at the controller's creation,
// added again after the shell restarts and removed at close; the menu opened
// at the icon, with the note list built afresh at every opening; and where
// the keyboard goes when the menu or a dialog of the hidden controller closes.
#ifndef APPUNTELLO_APP_TRAY_H
#define APPUNTELLO_APP_TRAY_H

#include <windows.h>
#include <shellapi.h>

#include "base/handles.h"

extern const char TrayTip[];

// When something happened on the icon. The shell reports some events twice:
// NIN_SELECT after every release of the left button, WM_CONTEXTMENU after
// every release of the right one, and one Enter on the icon as two
// NIN_KEYSELECT. A report within the double-click time of its first is that
// same event again.
class Moment {
  public:
    void Mark();
    bool Recent() const;
    // Whether the mark is recent; it counts once.
    bool Take();

  private:
    DWORD tick_ = 0;
    bool marked_ = false;
};

// What the tray keeps for one run of the controller (ControllerRun).
struct TrayState {
    // The shell broadcasts it after it restarts.
    UINT taskbarCreatedMessage = 0;
    // The program icon drawn at the small-icon size, which the tray shows: the
    // class icon is the large one, and shrunk its lines vanish.
    OwnedIcon icon;
    // Whether the shell has our icon, so that it is removed once.
    bool iconAdded = false;
    // Whether the shell took version 4: it then reports in that form, else
    // in the earlier one.
    bool version4 = false;
    // The note list of the tray menu: rebuilt at every opening of the menu,
    // destroyed at close.
    OwnedMenu noteList;
    Moment leftRelease;
    Moment rightRelease;
    Moment menuClosed;
    bool menuOpen = false;
    // Menus and dialogs of the controller that are running, one inside the other.
    int keyboardReturnDepth = 0;
};

// Loads the icon at the small-icon size and adds it to the tray.
void ShowTrayIcon(HWND controller, TrayState& tray);
// After the shell has restarted, its notification area has forgotten the icon.
void ShowTrayIconAgain(HWND controller, TrayState& tray, UINT message);
// Removes the icon from the tray and releases it and the note list.
void RemoveTrayIconAndMenus(HWND controller, TrayState& tray);

// The shell's report of an event on the icon. In the form of version 4,
// wParam holds the icon's or the cursor's place on the screen (x in the low
// word, y in the high one), lParam the event in its low word and the icon's
// id in its high one; in the earlier form, which a shell that refuses
// version 4 keeps, wParam is the icon's id and lParam the mouse message. The
// menu opens at a release of the left button (at the
// cursor) and at Enter, Space, Shift+F10 or the Menu key on the focused icon
// (at the icon); a double click of the right button makes a new note.
void OnTrayCallback(HWND controller, TrayState& tray, WPARAM wParam, LPARAM lParam);
// The tray menu is about to open: its note list is built afresh.
void OnInitTrayPopup(HWND controller, TrayState& tray, HMENU popup);

// Adds the icon and asks the shell for the events of version 4, keys
// included; version4 tells whether the shell took that version.
BOOL AddTrayIcon(HWND window, HICON icon, bool& version4);
// Where the tray talks to the shell; tests put their own here.
extern BOOL(WINAPI* NotifyShell)(DWORD action, PNOTIFYICONDATAA record);
BOOL RemoveTrayIcon(HWND window);
// The notes, newest first, each by its title and under its NoteId's command.
HMENU BuildNoteListMenu();

// The controller is a window of no size: what is typed to it goes nowhere.
// Held while a menu or dialog of the controller runs, this gives the keyboard
// back when it closes: to the note that had it, else to the notification
// area. A note that the command brought forward or made keeps it, and so does
// another program the user went to. Only the outermost of nested ones acts.
class KeyboardReturn {
  public:
    KeyboardReturn(HWND controller, TrayState& tray);
    ~KeyboardReturn();
    KeyboardReturn(const KeyboardReturn&) = delete;
    KeyboardReturn& operator=(const KeyboardReturn&) = delete;

  private:
    HWND controller_;
    TrayState& tray_;
    HWND note_ = nullptr;
    bool outermost_;
};

// The keyboard to our icon in the notification area, when the controller, a
// window of no size, has it.
void GiveKeyboardToTray(HWND controller, const TrayState& tray);

// Once the stored notes are made: the newest takes the keyboard, but only
// when the program has the foreground: started with the session, it takes
// the keyboard from no other program.
void GiveKeyboardToNewestNote();

#endif
