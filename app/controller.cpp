#include "app/controller.h"

#include <shellapi.h>

#include "app/autosave.h"
#include "app/notes_io.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "options/options_dialog.h"
#include "res/resource.h"

namespace {

const char TrayTip[] = "Appuntello - by ing. Lucanor";

// The shell broadcasts this after it restarts; its notification area has then
// forgotten every icon.
UINT TaskbarCreatedMessage;

// The program icon drawn at the small-icon size, which the tray shows: the
// class icon is the large one, and shrunk its lines vanish. Loaded at
// creation, destroyed at close.
OwnedIcon TrayIcon;

HICON TrayIconOrClassIcon(HWND window)
{
    if (TrayIcon)
        return TrayIcon.get();
    return reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
}

bool SessionEnding;
// Set while the close sequence runs: a close request arriving meanwhile (a
// second "E&sci", the end of the session) while it asks the user does nothing.
bool Closing;

HMENU TrayPopup(HWND window)
{
    return GetSubMenu(GetMenu(window), 0);
}

void OnTrayCallback(HWND window, WPARAM id, LPARAM mouseMessage)
{
    if (id != TrayIconId)
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    if (mouseMessage == WM_LBUTTONUP) {
        // The menu closes on a click elsewhere only if our window is in front
        // while it runs, and gets the WM_NULL afterwards.
        SetForegroundWindow(window);
        UINT command = static_cast<UINT>(
            TrackPopupMenu(TrayPopup(window), TPM_RETURNCMD, cursor.x, cursor.y, 0, window, nullptr));
        PostMessageA(window, WM_NULL, 0, 0);
        if (command)
            SendMessageA(window, WM_COMMAND, command, 0);
    } else if (mouseMessage == WM_RBUTTONDBLCLK) {
        PostMessageA(window, WM_COMMAND, IDM_NEW_NOTE, 0);
    }
}

void OnInitTrayPopup(HMENU popup)
{
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

void OnNewNote()
{
    SYSTEMTIME now;
    ReadLocalTime(&now);
    char title[TitleCapacity];
    FormatNoteTitle(now, title);
    CreateNoteWindow(title);
}

void ShowAllNotes(int how)
{
    for (NoteNode* node = NoteListHead; node; node = node->next)
        ShowWindow(node->window, how);
}

void OnDeleteAll()
{
    if (!NoteListHead)
        return;
    DestroyAllNotes();
    NoteCount = 0;
}

void OnCommand(HWND window, WPARAM command)
{
    if (command >= NoteListFirstCommand && command <= NoteListLastCommand) {
        ShowNoteById(static_cast<int>(command - NoteListFirstCommand));
        return;
    }
    switch (command) {
    case IDM_NEW_NOTE:
        OnNewNote();
        break;
    case IDM_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case IDM_SHOW_ALL:
        ShowAllNotes(SW_SHOWNORMAL);
        break;
    case IDM_HIDE_ALL:
        ShowAllNotes(SW_HIDE);
        break;
    case IDM_DELETE_ALL:
        OnDeleteAll();
        break;
    case IDM_OPTIONS:
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_OPTIONS), window, OptionsDlgProc, 0);
        break;
    }
}

void OnCreate(HWND window)
{
    ControllerWindow = window;
    SessionEnding = false;
    Closing = false;
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    TrayIcon.reset(
        static_cast<HICON>(LoadImageA(AppInstance, MAKEINTRESOURCEA(IDI_APPUNTELLO), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    AddTrayIcon(window, TrayIconOrClassIcon(window));
    NoteMenu.reset(LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_NOTE_MENU)));
    LoadNotes();
    StartAutosave(window);
}

// Returns false when the close was abandoned: the notes could not be saved
// and the user can try again.
bool OnClose(HWND window)
{
    if (Closing)
        return false;
    Closing = true;
    StopAutosave(window);
    // At the end of the session nobody can be asked: keep what could be
    // written and end. Its query has already saved what was unsaved then.
    const bool saved = (SessionEnding && !NotesChanged) || SaveNotesNow(window);
    if (!saved && !SessionEnding && !AskToQuitUnsaved()) {
        Closing = false;
        ResumeAutosave(window);
        return false;
    }
    DestroyAllNotes();
    NoteMenu.reset();
    NoteListMenu.reset();
    RemoveTrayIcon(window);
    TrayIcon.reset();
    NoteBrush.reset();
    PostQuitMessage(0);
    FreeNoteList();
    return true;
}

// The session may end only once the notes are saved: a store that cannot be
// written holds it back, and Windows shows the user why.
LRESULT OnQueryEndSession(HWND window)
{
    if (!Closing && NotesChanged)
        SaveNotesNow(window);
    return SavesFailing() ? FALSE : TRUE;
}

} // namespace

namespace {

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

HICON CurrentTrayIcon()
{
    return TrayIcon.get();
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
    for (NoteNode* node = NoteListHead; node; node = node->next) {
        char title[TitleCapacity];
        GetWindowTextA(node->window, title, sizeof title);
        bool reachable = node->NoteId >= 0 && node->NoteId <= NoteListMaxId;
        item->cbSize = sizeof(MENUITEMINFOA);
        item->fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
        item->fType = MFT_STRING;
        // An id beyond the command range would collide with the menu's own
        // commands: such a note is listed, but greyed.
        item->fState = reachable ? 0 : MFS_GRAYED;
        item->wID = reachable ? NoteListFirstCommand + static_cast<UINT>(node->NoteId) : 0;
        item->dwTypeData = title;
        InsertMenuItemA(list, position++, TRUE, item.get());
    }
    return list;
}

void FormatNoteTitle(const SYSTEMTIME& time, char* title)
{
    // At most 36 characters whatever the date: wsprintfA needs no size here,
    // and it spares the program the C runtime's formatting code.
    wsprintfA(title, "Appuntello - %02d/%02d/%d  %02d:%02d", time.wDay, time.wMonth, time.wYear, time.wHour,
              time.wMinute);
}

void DestroyAllNotes()
{
    NoteNode* node = NoteListHead;
    while (node) {
        NoteNode* next = node->next; // the node is freed with its window
        DestroyWindow(node->window);
        node = next;
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        break;
    case TrayCallbackMessage:
        OnTrayCallback(window, wParam, lParam);
        break;
    case WM_INITMENUPOPUP:
        if (reinterpret_cast<HMENU>(wParam) == TrayPopup(window))
            OnInitTrayPopup(reinterpret_cast<HMENU>(wParam));
        break;
    case WM_COMMAND:
        OnCommand(window, wParam);
        break;
    case WM_CLOSE:
        if (!OnClose(window))
            return 0;
        break;
    case WM_TIMER:
        if (wParam == AutosaveTimerId)
            OnAutosaveTimer(window);
        break;
    case WM_QUERYENDSESSION:
        return OnQueryEndSession(window);
    case WM_ENDSESSION:
        // While the close asks the user, its answer decides.
        if (wParam && !Closing) {
            SessionEnding = true;
            SendMessageA(window, WM_CLOSE, 0, 0);
        }
        break;
    case WM_DESTROY:
        if (ControllerWindow == window)
            ControllerWindow = nullptr;
        TrayIcon.reset(); // the shell keeps a copy of its own
        break;
    default:
        if (message == TaskbarCreatedMessage && message != 0)
            AddTrayIcon(window, TrayIconOrClassIcon(window));
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
