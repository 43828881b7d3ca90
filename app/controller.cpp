#include "app/controller.h"

#include "app/autosave.h"
#include "app/notes_io.h"
#include "app/tray.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "options/options_dialog.h"
#include "res/resource.h"

void(WINAPI* ReadLocalTime)(LPSYSTEMTIME) = GetLocalTime;

namespace {

bool SessionEnding;
// Set while the close sequence runs: a close request arriving meanwhile (a
// second "E&sci", the end of the session) while it asks the user does nothing.
bool Closing;

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
    ForEachNote([how](const NoteNode& node) { ShowWindow(node.window, how); });
}

void OnDeleteAll()
{
    if (!NoteListHead)
        return; // nothing deleted: the cascade goes on
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
    case IDM_OPTIONS: {
        KeyboardReturn back(window);
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_OPTIONS), window, OptionsDlgProc, 0);
        break;
    }
    }
}

void OnCreate(HWND window)
{
    ControllerWindow = window;
    SessionEnding = false;
    Closing = false;
    ShowTrayIcon(window);
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
    const bool saved = (SessionEnding && !NotesChanged) || SaveNotesNow(window, true);
    if (!saved && !SessionEnding && !AskToQuitUnsaved()) {
        Closing = false;
        ResumeAutosave(window);
        return false;
    }
    DestroyAllNotes();
    NoteMenu.reset();
    RemoveTrayIconAndMenus(window);
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
        SaveNotesNow(window, true);
    return SavesFailing() ? FALSE : TRUE;
}

} // namespace

void FormatNoteTitle(const SYSTEMTIME& time, char* title)
{
    // At most 36 characters whatever the date: wsprintfA needs no size here,
    // and it spares the program the C runtime's formatting code.
    wsprintfA(title, "Appuntello - %02d/%02d/%d  %02d:%02d", time.wDay, time.wMonth, time.wYear, time.wHour,
              time.wMinute);
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
        OnInitTrayPopup(window, reinterpret_cast<HMENU>(wParam));
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
        else if (wParam == StoreWatchTimerId)
            OnStoreWatchTimer(window);
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
        RemoveTrayIconAndMenus(window); // destroyed without its close (a test)
        break;
    default:
        ShowTrayIconAgain(window, message);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
