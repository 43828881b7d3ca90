#include "app/tray.h"

#include <shellapi.h>
#include <windowsx.h>

#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "res/resource.h"

const char TrayTip[] = "Appuntello - by ing. Lucanor";

BOOL(WINAPI* NotifyShell)(DWORD, PNOTIFYICONDATAA) = Shell_NotifyIconA;

void Moment::Mark()
{
    tick_ = GetTickCount();
    marked_ = true;
}

bool Moment::Recent() const
{
    return marked_ && GetTickCount() - tick_ <= GetDoubleClickTime();
}

bool Moment::Take()
{
    const bool recent = Recent();
    marked_ = false;
    return recent;
}

namespace {

HICON TrayIconOrClassIcon(HWND window, const TrayState& tray)
{
    if (tray.icon)
        return tray.icon.get();
    return reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
}

HMENU TrayPopup(HWND window)
{
    return GetSubMenu(GetMenu(window), 0);
}

// The record of version 4, which the shell of Vista and later takes: the one
// whose icon tells us of the keys pressed on it.
BOOL NotifyTray(DWORD action, HWND window, UINT flags, HICON icon, const char* tip, UINT version = 0)
{
    GlobalRecord<NOTIFYICONDATAA> record;
    if (!record)
        return FALSE;
    record->cbSize = sizeof(NOTIFYICONDATAA);
    record->hWnd = window;
    record->uID = TrayIconId;
    record->uFlags = flags;
    record->uCallbackMessage = TrayCallbackMessage;
    record->hIcon = icon;
    lstrcpynA(record->szTip, tip, sizeof record->szTip);
    record->uVersion = version;
    return NotifyShell(action, record.get());
}

void OpenTrayMenu(HWND controller, TrayState& tray, POINT at)
{
    KeyboardReturn back(controller, tray);
    // The menu closes on a click elsewhere only if our window is in front
    // while it runs, and gets the WM_NULL afterwards.
    SetForegroundWindow(controller);
    tray.menuOpen = true;
    UINT command = static_cast<UINT>(
        TrackPopupMenu(TrayPopup(controller), TPM_RETURNCMD, at.x, at.y, 0, controller, nullptr));
    tray.menuOpen = false;
    tray.menuClosed.Mark();
    PostMessageA(controller, WM_NULL, 0, 0);
    if (command)
        SendMessageA(controller, WM_COMMAND, command, 0);
}

// Enter, Space, Shift+F10 or the Menu key on the focused icon: the menu opens
// at the icon. One Enter is reported twice, the second time inside the first
// menu's loop or right after it.
void OpenTrayMenuFromKeyboard(HWND controller, TrayState& tray, WPARAM anchor)
{
    if (tray.menuOpen || tray.menuClosed.Recent())
        return;
    OpenTrayMenu(controller, tray, POINT{GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor)});
}

POINT CursorPosition()
{
    POINT cursor{};
    GetCursorPos(&cursor);
    return cursor;
}

} // namespace

void ShowTrayIcon(HWND controller, TrayState& tray)
{
    tray.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    tray.icon.reset(
        static_cast<HICON>(LoadImageA(AppInstance, MAKEINTRESOURCEA(IDI_APPUNTELLO), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    tray.iconAdded = AddTrayIcon(controller, TrayIconOrClassIcon(controller, tray), tray.version4) != FALSE;
}

void ShowTrayIconAgain(HWND controller, TrayState& tray, UINT message)
{
    if (message == tray.taskbarCreatedMessage && message != 0)
        tray.iconAdded =
            AddTrayIcon(controller, TrayIconOrClassIcon(controller, tray), tray.version4) != FALSE ||
            tray.iconAdded;
}

void RemoveTrayIconAndMenus(HWND controller, TrayState& tray)
{
    tray.noteList.reset();
    if (tray.iconAdded)
        RemoveTrayIcon(controller);
    tray.iconAdded = false;
    tray.icon.reset(); // the shell keeps a copy of its own
}

void OnTrayCallback(HWND controller, TrayState& tray, WPARAM wParam, LPARAM lParam)
{
    UINT id = HIWORD(lParam), event = LOWORD(lParam);
    WPARAM anchor = wParam;
    if (!tray.version4) { // the earlier form: no keys, and the mouse alone
        id = static_cast<UINT>(wParam);
        event = static_cast<UINT>(lParam);
        const POINT cursor = CursorPosition();
        anchor = MAKEWPARAM(cursor.x, cursor.y);
    }
    if (id != TrayIconId)
        return;
    switch (event) {
    case WM_LBUTTONUP:
        tray.leftRelease.Mark();
        OpenTrayMenu(controller, tray, CursorPosition());
        break;
    case WM_RBUTTONUP:
        tray.rightRelease.Mark(); // a single right click does nothing
        break;
    case WM_RBUTTONDBLCLK:
        PostMessageA(controller, WM_COMMAND, IDM_NEW_NOTE, 0);
        break;
    case NIN_SELECT:
        // Right after a left release it is that release again; alone, Enter
        // on an icon that the mouse selected.
        if (!tray.leftRelease.Take())
            OpenTrayMenuFromKeyboard(controller, tray, anchor);
        break;
    case WM_CONTEXTMENU:
        // Right after a right release it is that click again.
        if (!tray.rightRelease.Take())
            OpenTrayMenuFromKeyboard(controller, tray, anchor);
        break;
    case NIN_KEYSELECT:
        OpenTrayMenuFromKeyboard(controller, tray, anchor);
        break;
    }
}

void OnInitTrayPopup(HWND controller, TrayState& tray, HMENU popup)
{
    // The note list's own opening rebuilds nothing.
    if (popup != TrayPopup(controller))
        return;
    tray.noteList.reset(BuildNoteListMenu());

    GlobalRecord<MENUITEMINFOA> item;
    if (!item)
        return;
    item->cbSize = sizeof(MENUITEMINFOA);
    item->fMask = MIIM_STATE | MIIM_SUBMENU;
    item->fState = NoteListHead ? 0 : MFS_GRAYED;
    item->hSubMenu = tray.noteList.get();
    SetMenuItemInfoA(popup, TrayMenuNoteListPosition, TRUE, item.get());
}

BOOL AddTrayIcon(HWND window, HICON icon, bool& version4)
{
    // With version 4 the tip shows only when asked for.
    BOOL added = NotifyTray(NIM_ADD, window, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP, icon, TrayTip);
    // Without it the shell reports the mouse alone, in the earlier form, and
    // turns Enter or the Menu key on the icon into a right click, which does
    // nothing.
    version4 = added && NotifyTray(NIM_SETVERSION, window, 0, nullptr, "", NOTIFYICON_VERSION_4);
    return added;
}

BOOL RemoveTrayIcon(HWND window)
{
    return NotifyTray(NIM_DELETE, window, NIF_MESSAGE, nullptr, "");
}

HMENU BuildNoteListMenu()
{
    HMENU list = CreatePopupMenu();
    GlobalRecord<MENUITEMINFOA> item;
    if (!list || !item)
        return list;
    UINT position = 0;
    ForEachNote([&](const NoteNode& node) {
        char title[TitleCapacity];
        GetWindowTextA(node.window, title, sizeof title);
        bool reachable = node.NoteId >= 0 && node.NoteId <= NoteListMaxId;
        item->cbSize = sizeof(MENUITEMINFOA);
        item->fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
        item->fType = MFT_STRING;
        // An id beyond the command range would collide with the menu's own
        // commands: such a note is listed, but greyed.
        item->fState = reachable ? 0 : MFS_GRAYED;
        item->wID = reachable ? NoteListFirstCommand + static_cast<UINT>(node.NoteId) : 0;
        item->dwTypeData = title;
        InsertMenuItemA(list, position++, TRUE, item.get());
    });
    return list;
}

KeyboardReturn::KeyboardReturn(HWND controller, TrayState& tray)
    : controller_(controller), tray_(tray), outermost_(tray.keyboardReturnDepth++ == 0)
{
    HWND foreground = GetForegroundWindow();
    if (outermost_ && IsShownNote(foreground))
        note_ = foreground;
}

KeyboardReturn::~KeyboardReturn()
{
    --tray_.keyboardReturnDepth;
    if (!outermost_ || GetForegroundWindow() != controller_)
        return;
    if (IsShownNote(note_))
        SetForegroundWindow(note_); // its WM_SETFOCUS hands the keyboard to its text
    else
        GiveKeyboardToTray(controller_, tray_);
}

void GiveKeyboardToTray(HWND controller, const TrayState& tray)
{
    if (tray.iconAdded && GetForegroundWindow() == controller)
        NotifyTray(NIM_SETFOCUS, controller, 0, nullptr, "");
}

void GiveKeyboardToNewestNote()
{
    DWORD process = 0;
    HWND foreground = GetForegroundWindow();
    if (!foreground || !GetWindowThreadProcessId(foreground, &process) || process != GetCurrentProcessId())
        return;
    if (NoteListHead && IsShownNote(NoteListHead->window))
        SetForegroundWindow(NoteListHead->window);
}
