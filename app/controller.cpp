#include "app/controller.h"

#include <cstring>
#include <vector>

#include "app/autosave.h"
#include "app/controller_run.h"
#include "app/notes_io.h"
#include "app/recycle.h"
#include "app/tray.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "options/options_dialog.h"
#include "res/resource.h"

void(WINAPI* ReadLocalTime)(LPSYSTEMTIME) = GetLocalTime;

namespace {

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

void OnDeleteAll(ControllerRun& run)
{
    if (!NoteListHead)
        return; // nothing deleted: the cascade goes on
    std::vector<HWND> notes;
    ForEachNoteOldestFirst([&](const NoteNode& node) { notes.push_back(node.window); });
    KeepBeforeDeleting(run, notes);
    DestroyAllNotes();
    NoteCount = 0;
}

void OnCommand(ControllerRun& run, WPARAM command)
{
    const HWND window = run.window;
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
        OnDeleteAll(run);
        break;
    case IDM_OPTIONS: {
        KeyboardReturn back(window, run.tray);
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_OPTIONS), window, OptionsDlgProc, 0);
        break;
    }
    }
}

void OnCreate(ControllerRun& run)
{
    ControllerWindow = run.window;
    NoteCount = 0;
    ShowTrayIcon(run.window, run.tray);
    NoteMenu.reset(LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_NOTE_MENU)));
    LoadNotes(run);
    TakeInRestoredNotes(run);
    StartAutosave(run);
}

// Returns false when the close was abandoned: the notes could not be saved
// and the user can try again.
bool OnClose(ControllerRun& run)
{
    if (run.phase == RunPhase::Closing)
        return false;
    run.phase = RunPhase::Closing;
    StopAutosave(run);
    // At the end of the session nobody can be asked: keep what could be
    // written and end. Its query has already saved what was unsaved then.
    const bool saved = (run.sessionEnding && !run.autosave.unsaved) || SaveNotesNow(run, true);
    if (!saved && !run.sessionEnding && !AskToQuitUnsaved()) {
        StartAutosave(run);
        return false;
    }
    // A note destroyed while active would hand the activation to the next,
    // and that one to the next, down the whole list.
    if (FindNote(GetActiveWindow()))
        SetActiveWindow(run.window);
    DestroyAllNotes();
    NoteMenu.reset();
    RemoveTrayIconAndMenus(run.window, run.tray);
    NoteBrush.reset();
    PostQuitMessage(0);
    FreeNoteList();
    return true;
}

// The session may end only once the notes are saved: a store that cannot be
// written holds it back, and Windows shows the user why.
LRESULT OnQueryEndSession(ControllerRun& run)
{
    if (run.phase != RunPhase::Closing && run.autosave.unsaved)
        SaveNotesNow(run, true);
    return run.autosave.failures > 0 ? FALSE : TRUE;
}

void OnTimer(ControllerRun& run, WPARAM timer)
{
    if (timer == AutosaveTimerId)
        OnAutosaveTimer(run);
    else if (timer == StoreLookTimerId)
        OnStoreLookTimer(run);
}

void OnEndSession(ControllerRun& run, WPARAM ending)
{
    // While the close asks the user, its answer decides.
    if (ending && run.phase != RunPhase::Closing) {
        run.sessionEnding = true;
        SendMessageA(run.window, WM_CLOSE, 0, 0);
    }
}

// Destroyed without its close (a test): what the run holds goes with it.
void OnDestroy(ControllerRun& run)
{
    if (ControllerWindow == run.window)
        ControllerWindow = nullptr;
    StopAutosave(run);
    RemoveTrayIconAndMenus(run.window, run.tray);
}

} // namespace

void FormatNoteTitle(const SYSTEMTIME& time, char* title)
{
    // At most 36 characters whatever the date: wsprintfA needs no size here,
    // and it spares the program the C runtime's formatting code.
    wsprintfA(title, "Appuntello - %02d/%02d/%d  %02d:%02d", time.wDay, time.wMonth, time.wYear, time.wHour,
              time.wMinute);
}

bool IsNewNoteTitle(const char* title)
{
    // "Appuntello - " then dd/mm/y...  hh:mm, each letter standing for a digit.
    const char prefix[] = "Appuntello - ";
    if (std::strncmp(title, prefix, sizeof prefix - 1) != 0)
        return false;
    const char* at = title + sizeof prefix - 1;
    auto digits = [&at](int least, int most) {
        int count = 0;
        while (count < most && *at >= '0' && *at <= '9') {
            ++at;
            ++count;
        }
        return count >= least;
    };
    auto literal = [&at](const char* text) {
        for (; *text; ++text, ++at)
            if (*at != *text)
                return false;
        return true;
    };
    return digits(2, 2) && literal("/") && digits(2, 2) && literal("/") && digits(1, 9) && literal("  ") &&
           digits(2, 2) && literal(":") && digits(2, 2) && *at == '\0';
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE && !AttachRun(window))
        return FALSE;
    ControllerRun* run = RunOf(window);
    if (!run) // before WM_NCCREATE, or after WM_NCDESTROY
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        OnCreate(*run);
        break;
    case NoteDeletingMessage:
        KeepBeforeDeleting(*run, {reinterpret_cast<HWND>(wParam)});
        return 0;
    case NoteChangedMessage:
        if (run->phase == RunPhase::Running)
            OnNoteChanged(*run);
        return 0;
    case KeyboardToTrayMessage:
        GiveKeyboardToTray(window, run->tray);
        return 0;
    case TrayCallbackMessage:
        OnTrayCallback(window, run->tray, wParam, lParam);
        break;
    case WM_INITMENUPOPUP:
        OnInitTrayPopup(window, run->tray, reinterpret_cast<HMENU>(wParam));
        break;
    case WM_COMMAND:
        OnCommand(*run, wParam);
        break;
    case WM_CLOSE:
        if (!OnClose(*run))
            return 0;
        break;
    case WM_TIMER:
        OnTimer(*run, wParam);
        break;
    case WM_QUERYENDSESSION:
        return OnQueryEndSession(*run);
    case WM_ENDSESSION:
        OnEndSession(*run, wParam);
        break;
    case WM_DESTROY:
        OnDestroy(*run);
        break;
    case WM_NCDESTROY:
        DetachRun(window);
        break;
    default:
        ShowTrayIconAgain(window, run->tray, message);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
