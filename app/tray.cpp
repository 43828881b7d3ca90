#include "app/tray.h"

#include <shellapi.h>

#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "res/resource.h"

const char TrayTip[] = "Appuntello - by ing. Lucanor";

namespace {

// The shell broadcasts this after it restarts.
UINT TaskbarCreatedMessage;

// The program icon drawn at the small-icon size, which the tray shows: the
// class icon is the large one, and shrunk its lines vanish. Loaded at the
// controller's creation, destroyed at its close.
OwnedIcon TrayIcon;

// Rebuilt at every opening of the tray menu, destroyed at close.
OwnedMenu NoteListMenu;

// Whether the shell has our icon, so that it is removed once.
bool IconAdded;

HICON TrayIconOrClassIcon(HWND window)
{
    if (TrayIcon)
        return TrayIcon.get();
    return reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
}

HMENU TrayPopup(HWND window)
{
    return GetSubMenu(GetMenu(window), 0);
}

// The first, smallest version of the record: every shell version takes it.
BOOL NotifyTray(DWORD action, HWND window, UINT flags, HICON icon, const char* tip)
{
    GlobalRecord<NOTIFYICONDATAA> record;
    if (!record)
        return FALSE;
    record->cbSize = NOTIFYICONDATAA_V1_SIZE;
    record->hWnd = window;
    record->uID = TrayIconId;
    record->uFlags = flags;
    record->uCallbackMessage = TrayCallbackMessage;
    record->hIcon = icon;
    lstrcpynA(record->szTip, tip, sizeof record->szTip);
    return Shell_NotifyIconA(action, record.get());
}

} // namespace

void ShowTrayIcon(HWND controller)
{
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    TrayIcon.reset(
        static_cast<HICON>(LoadImageA(AppInstance, MAKEINTRESOURCEA(IDI_APPUNTELLO), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    IconAdded = AddTrayIcon(controller, TrayIconOrClassIcon(controller)) != FALSE;
}

void ShowTrayIconAgain(HWND controller, UINT message)
{
    if (message == TaskbarCreatedMessage && message != 0)
        IconAdded = AddTrayIcon(controller, TrayIconOrClassIcon(controller)) != FALSE || IconAdded;
}

void RemoveTrayIconAndMenus(HWND controller)
{
    NoteListMenu.reset();
    if (IconAdded)
        RemoveTrayIcon(controller);
    IconAdded = false;
    TrayIcon.reset(); // the shell keeps a copy of its own
}

void OnTrayCallback(HWND controller, WPARAM id, LPARAM mouseMessage)
{
    if (id != TrayIconId)
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    if (mouseMessage == WM_LBUTTONUP) {
        // The menu closes on a click elsewhere only if our window is in front
        // while it runs, and gets the WM_NULL afterwards.
        SetForegroundWindow(controller);
        UINT command = static_cast<UINT>(
            TrackPopupMenu(TrayPopup(controller), TPM_RETURNCMD, cursor.x, cursor.y, 0, controller, nullptr));
        PostMessageA(controller, WM_NULL, 0, 0);
        if (command)
            SendMessageA(controller, WM_COMMAND, command, 0);
    } else if (mouseMessage == WM_RBUTTONDBLCLK) {
        PostMessageA(controller, WM_COMMAND, IDM_NEW_NOTE, 0);
    }
}

void OnInitTrayPopup(HWND controller, HMENU popup)
{
    // The note list's own opening rebuilds nothing.
    if (popup != TrayPopup(controller))
        return;
    NoteListMenu.reset(BuildNoteListMenu());

    GlobalRecord<MENUITEMINFOA> item;
    if (!item)
        return;
    item->cbSize = sizeof(MENUITEMINFOA);
    item->fMask = MIIM_STATE | MIIM_SUBMENU;
    item->fState = NoteListHead ? 0 : MFS_GRAYED;
    item->hSubMenu = NoteListMenu.get();
    SetMenuItemInfoA(popup, TrayMenuNoteListPosition, TRUE, item.get());
}

BOOL AddTrayIcon(HWND window, HICON icon)
{
    return NotifyTray(NIM_ADD, window, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, TrayTip);
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

HICON CurrentTrayIcon()
{
    return TrayIcon.get();
}

HMENU CurrentNoteListMenu()
{
    return NoteListMenu.get();
}
