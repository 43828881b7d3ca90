// The controller window and the tray: the tray callback, the tray menu and its
// note list, the tray commands, and the close at exit and at log-off.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/controller.h"
#include "app/controller_run.h"
#include "app/tray.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"

namespace {

int IdOf(HWND note)
{
    for (NoteNode* node = NoteListHead; node; node = node->next)
        if (node->window == note)
            return node->NoteId;
    return -1;
}

using modal::MenuItem;
using modal::MenuItems;

void WINAPI SeventhOfDecember(LPSYSTEMTIME time)
{
    *time = SYSTEMTIME{};
    time->wDay = 7;
    time->wMonth = 12;
    time->wYear = 2026;
    time->wHour = 9;
    time->wMinute = 5;
}

// Whether the shell still has our icon: only an icon it knows can be modified.
bool TrayIconPresent(HWND controller)
{
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = controller;
    data.uID = TrayIconId;
    data.uFlags = NIF_TIP;
    lstrcpyA(data.szTip, TrayTip);
    return Shell_NotifyIconA(NIM_MODIFY, &data);
}

class Controller : public ProgramTest {
  protected:
    void ClickTray() { SendTrayEvent(controller, WM_LBUTTONUP); }
};

// The notes' requests that the notification area take the keyboard: the
// controller's window procedure listened in on.
WNDPROC ControllerProc;
int KeyboardToTrayCount;
LRESULT CALLBACK ListenToController(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == KeyboardToTrayMessage)
        ++KeyboardToTrayCount;
    return CallWindowProcA(ControllerProc, window, message, wParam, lParam);
}

// A shell that adds icons but refuses version 4, as older ones do.
BOOL WINAPI ShellWithoutVersion4(DWORD action, PNOTIFYICONDATAA record)
{
    return action == NIM_SETVERSION ? FALSE : Shell_NotifyIconA(action, record);
}

} // namespace

TEST_F(Controller, TrayIconIsAddedAtStart)
{
    EXPECT_TRUE(TrayIconPresent(controller));
}

TEST_F(Controller, OtherIconIdsAndOtherMouseMessagesDoNothing)
{
    // A menu opened here would be an unexpected modal loop and fail the test.
    for (UINT event : {UINT(WM_LBUTTONUP), UINT(WM_RBUTTONDBLCLK), UINT(NIN_KEYSELECT), UINT(WM_CONTEXTMENU)})
        SendTrayEvent(controller, event, TrayIconId + 1);
    for (UINT mouse : {WM_RBUTTONUP, WM_RBUTTONDOWN, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE})
        SendTrayEvent(controller, mouse);
    modal::Pump(100);
    EXPECT_TRUE(Notes().empty());
}

// Refused version 4, the shell reports in the earlier form: the icon's id in
// wParam, the mouse message in lParam.
TEST_F(Controller, AShellThatRefusesVersion4IsUnderstoodInItsEarlierForm)
{
    CloseProgram();
    NotifyShell = ShellWithoutVersion4;
    ASSERT_TRUE(Start());
    {
        modal::Script script; // one menu, for our icon's left release only
        script.Menu(0);
        SendMessageA(controller, TrayCallbackMessage, TrayIconId + 1, WM_LBUTTONUP);
        SendMessageA(controller, TrayCallbackMessage, TrayIconId, WM_LBUTTONUP);
        EXPECT_TRUE(script.Done());
    }
    SendMessageA(controller, TrayCallbackMessage, TrayIconId, WM_RBUTTONDBLCLK);
    modal::Pump(100);
    EXPECT_EQ(Notes().size(), 1u);
}

// What the shell reports for each thing the user does on the icon, in order,
// doubles included, and what comes of it.
TEST_F(Controller, EachTrayActionOpensOneMenuOrNone)
{
    struct Sequence {
        const char* action;
        std::vector<UINT> events;
        int menus;
        size_t notes;
    } const sequences[] = {
        {"Enter, reported twice", {NIN_KEYSELECT, NIN_KEYSELECT}, 1, 0},
        {"Shift+F10 or the Menu key", {WM_CONTEXTMENU}, 1, 0},
        {"a left click", {WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT}, 1, 0},
        {"a right click", {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}, 0, 0},
        {"a right double click",
         {WM_RBUTTONUP, WM_CONTEXTMENU, WM_RBUTTONDBLCLK, WM_RBUTTONUP, WM_CONTEXTMENU},
         0,
         1},
    };
    for (const Sequence& sequence : sequences) {
        SCOPED_TRACE(sequence.action);
        CloseProgram(); // a fresh icon: the shell's doubles are told apart by time
        ASSERT_TRUE(Start());
        {
            modal::Script script; // and a menu it does not expect fails the test
            for (int i = 0; i < sequence.menus; ++i)
                script.Menu(0);
            for (UINT event : sequence.events)
                SendTrayEvent(controller, event, TrayIconId, POINT{900, 740});
        }
        EXPECT_TRUE(Notes().empty()) << "a new note is posted, not made at once";
        modal::Pump(100);
        EXPECT_EQ(Notes().size(), sequence.notes);
    }
}

// The controller is a window of no size: the keyboard must not stay on it.
TEST_F(Controller, TheKeyboardGoesBackWhereItWasAndToTheNewestNoteAtStart)
{
    NewNote("Vecchia");
    HWND note = NewNote("Nuova");
    ASSERT_EQ(GetFocus(), NoteEditOf(note));
    {
        modal::Script script;
        script.Menu(0);
        ClickTray();
    }
    EXPECT_EQ(GetForegroundWindow(), note);
    EXPECT_EQ(GetFocus(), NoteEditOf(note));

    CloseProgram();       // the notes are stored...
    ASSERT_TRUE(Start()); // ...and come back: the newest takes the keyboard once they are all there
    ASSERT_EQ(Notes().size(), 2u);
    EXPECT_EQ(GetFocus(), NoteEditOf(Notes()[0]));
}

// A note that leaves the screen with the keyboard hands it on, through its
// menu opened with Alt+Space: to the note that had it before, else to the
// newest note shown, and to the notification area only when none is shown.
// Windows alone would give it to the controller, a window of no size.
TEST_F(Controller, AHiddenOrDeletedNoteHandsTheKeyboardOn)
{
    HWND first = NewNote("Prima"), second = NewNote("Seconda"), third = NewNote("Terza"),
         fourth = NewNote("Quarta");
    SetForegroundWindow(second);
    SetForegroundWindow(first); // the keyboard went fourth, second, first
    ControllerProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(controller, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListenToController)));
    struct Step {
        HWND note;
        UINT command;
        HWND next; // nullptr: the notification area
    } const steps[] = {
        {first, IDM_HIDE_NOTE, second},    // back to the one that had it before
        {second, IDM_DELETE_NOTE, fourth}, // that one hidden: the newest shown
        {fourth, IDM_HIDE_NOTE, third},    // that one deleted: the newest shown
        {third, IDM_DELETE_NOTE, nullptr}, // none shown
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(modal::WindowText(step.note));
        ASSERT_TRUE(modal::PumpUntil([&] { return GetFocus() == NoteEditOf(step.note); }, 2000));
        KeyboardToTrayCount = 0;
        modal::Script script;
        script.Menu(step.command);
        modal::PressKeys({VK_MENU, VK_SPACE});
        EXPECT_TRUE(script.WaitDone(3000));
        modal::Pump(50);
        if (step.next) {
            EXPECT_EQ(GetForegroundWindow(), step.next);
            EXPECT_EQ(GetFocus(), NoteEditOf(step.next));
            EXPECT_EQ(KeyboardToTrayCount, 0);
        } else {
            EXPECT_EQ(KeyboardToTrayCount, 1) << "the controller kept the keyboard";
        }
    }
    SetWindowLongPtrA(controller, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControllerProc));
}

TEST_F(Controller, NewNoteFromTheTrayMenuIsTitledWithDateAndTime)
{
    ReadLocalTime = SeventhOfDecember;
    modal::Script script;
    script.Menu(IDM_NEW_NOTE);
    ClickTray();
    EXPECT_TRUE(script.Done());
    ASSERT_EQ(Notes().size(), 1u);
    EXPECT_EQ(modal::WindowText(Notes()[0]), "Appuntello - 07/12/2026  09:05");
    EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(Notes()[0], 1)), 0);
    EXPECT_STREQ(NoteVoicePath(Notes()[0]), "");
}

TEST_F(Controller, NoteListIsGreyAndEmptyWithoutNotes)
{
    modal::Script script;
    script.Menu(0, [](HMENU popup) {
        EXPECT_TRUE(GetMenuState(popup, 2, MF_BYPOSITION) & MF_GRAYED);
        char text[64];
        GetMenuStringA(popup, 2, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, "&Leggi Memino");
        HMENU list = GetSubMenu(popup, 2);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(GetMenuItemCount(list), 0);
    });
    ClickTray();
    EXPECT_TRUE(script.Done());
}

TEST_F(Controller, NoteListShowsNotesNewestFirstAndBringsTheChosenOneBack)
{
    HWND a = NewNote("Prima");
    HWND b = NewNote("Seconda");
    HWND c = NewNote("Terza");
    ShowWindow(b, SW_HIDE);
    modal::Script script;
    script.Menu(30000 + static_cast<UINT>(IdOf(b)), [&](HMENU popup) {
        EXPECT_FALSE(GetMenuState(popup, 2, MF_BYPOSITION) & MF_GRAYED);
        EXPECT_EQ(MenuItems(GetSubMenu(popup, 2)),
                  (std::vector<MenuItem>{{"Terza", 30002}, {"Seconda", 30001}, {"Prima", 30000}}));
    });
    ClickTray();
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(IsWindowVisible(b));
    EXPECT_TRUE(IsWindowVisible(a) && IsWindowVisible(c));
}

TEST_F(Controller, NoteListIsRebuiltAtEveryOpening)
{
    HWND a = NewNote("Uno");
    std::vector<MenuItem> first, second;
    {
        modal::Script script;
        script.Menu(0, [&](HMENU popup) { first = MenuItems(GetSubMenu(popup, 2)); });
        ClickTray();
    }
    SetWindowTextA(a, "Uno rinominato");
    NewNote("Due");
    {
        modal::Script script;
        script.Menu(0, [&](HMENU popup) { second = MenuItems(GetSubMenu(popup, 2)); });
        ClickTray();
    }
    EXPECT_EQ(first, (std::vector<MenuItem>{{"Uno", 30000}}));
    EXPECT_EQ(second, (std::vector<MenuItem>{{"Due", 30001}, {"Uno rinominato", 30000}}));
}

// Every id below the new-note command can be reached, not only the first 201.
TEST_F(Controller, NoteListReachesHighIds)
{
    HWND note = NewNote("Lontana");
    NoteListHead->NoteId = 9998;
    ShowWindow(note, SW_HIDE);
    SendMessageA(controller, WM_COMMAND, 30000 + 9998, 0);
    EXPECT_TRUE(IsWindowVisible(note));

    NoteListHead->NoteId = 9999; // its command would be the new-note command
    HMENU list = BuildNoteListMenu();
    EXPECT_EQ(MenuItems(list), (std::vector<MenuItem>{{"Lontana", 0, MFS_GRAYED}}));
    DestroyMenu(list);
    NoteListHead->NoteId = 0;
}

TEST_F(Controller, ShowAllRestoresMinimisedAndHiddenNotes)
{
    HWND minimised = NewNote();
    HWND hidden = NewNote();
    ShowWindow(minimised, SW_MINIMIZE);
    ShowWindow(hidden, SW_HIDE);
    SendMessageA(controller, WM_COMMAND, IDM_SHOW_ALL, 0);
    EXPECT_FALSE(IsIconic(minimised));
    EXPECT_TRUE(IsWindowVisible(minimised));
    EXPECT_TRUE(IsWindowVisible(hidden));

    SendMessageA(controller, WM_COMMAND, IDM_HIDE_ALL, 0);
    EXPECT_FALSE(IsWindowVisible(minimised));
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(Notes().size(), 2u);
}

TEST_F(Controller, DeleteAllRestartsTheCascadeOnlyWhenItDeletedSomething)
{
    HWND first = NewNote();
    HWND second = NewNote();
    SendMessageA(first, WM_COMMAND, IDM_DELETE_NOTE, 0);
    SendMessageA(second, WM_COMMAND, IDM_DELETE_NOTE, 0);
    SendMessageA(controller, WM_COMMAND, IDM_DELETE_ALL, 0); // nothing to delete
    EXPECT_EQ(modal::WindowRect(NewNote()).left, 40) << "the cascade goes on";

    NewNote();
    SendMessageA(controller, WM_COMMAND, IDM_DELETE_ALL, 0);
    EXPECT_TRUE(Notes().empty());
    EXPECT_EQ(NoteCount, 0u);
    const RECT restarted = modal::WindowRect(NewNote());
    EXPECT_EQ(restarted.left, 0);
    EXPECT_EQ(restarted.top, 0);
}

TEST_F(Controller, UnknownCommandsDoNothing)
{
    NewNote();
    for (WPARAM command : {WPARAM(65535), WPARAM(29999), WPARAM(40001), WPARAM(30000 + 5),
                           WPARAM(MAKEWPARAM(IDM_NEW_NOTE, 1))})
        SendMessageA(controller, WM_COMMAND, command, 0);
    EXPECT_EQ(Notes().size(), 1u);
    EXPECT_TRUE(IsWindow(controller));
}

TEST_F(Controller, ExitFromTheMenuClosesInOrder)
{
    HWND note = NewNote();
    modal::Script script;
    script.Menu(IDM_EXIT);
    ClickTray();
    EXPECT_TRUE(IsWindow(controller)) << "exit is posted";
    modal::Pump(100);
    EXPECT_FALSE(IsWindow(controller));
    EXPECT_FALSE(IsWindow(note));
    EXPECT_EQ(NoteListHead, nullptr);
    EXPECT_FALSE(TrayIconPresent(controller));
    EXPECT_EQ(NoteBrush.get(), nullptr);
    EXPECT_TRUE(TakeQuit());
}

TEST_F(Controller, EndOfSessionClosesButACancelledEndDoesNot)
{
    HWND note = NewNote();
    SendMessageA(controller, WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(IsWindow(controller));
    EXPECT_TRUE(IsWindow(note));

    SendMessageA(controller, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(IsWindow(controller));
    EXPECT_FALSE(IsWindow(note));
    EXPECT_EQ(NoteListHead, nullptr);
    EXPECT_TRUE(TakeQuit());
}

TEST_F(Controller, RestartedShellGetsTheIconAgain)
{
    RemoveTrayIcon(controller); // as a shell that restarts forgets it
    ASSERT_FALSE(TrayIconPresent(controller));
    SendMessageA(controller, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(TrayIconPresent(controller));
}

TEST_F(Controller, MenusBrushAndTrayIconAreReleasedAtClose)
{
    NewNote();
    std::vector<HMENU> lists;
    for (int i = 0; i < 3; ++i) {
        modal::Script script;
        script.Menu(0);
        ClickTray(); // builds the note list anew
        lists.push_back(RunOf(controller)->tray.noteList.get());
    }
    for (size_t i = 0; i + 1 < lists.size(); ++i)
        EXPECT_FALSE(IsMenu(lists[i])) << "the note list of opening " << i + 1 << " outlived the next one";
    const HMENU noteMenu = NoteMenu.get();
    const HBRUSH brush = NoteBrush.get();
    ASSERT_TRUE(IsMenu(noteMenu));
    ASSERT_TRUE(IsMenu(lists.back()));
    ASSERT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    // The tray gets the picture drawn at its size, loaded for it.
    const HICON trayIcon = RunOf(controller)->tray.icon.get();
    ICONINFO tray{};
    ASSERT_TRUE(GetIconInfo(trayIcon, &tray));
    BITMAP picture{};
    GetObjectA(tray.hbmColor, sizeof picture, &picture);
    EXPECT_EQ(picture.bmWidth, GetSystemMetrics(SM_CXSMICON));
    DeleteObject(tray.hbmColor);
    DeleteObject(tray.hbmMask);

    CloseProgram();
    EXPECT_FALSE(GetIconInfo(trayIcon, &tray)) << "the tray icon is destroyed";
    EXPECT_FALSE(IsMenu(noteMenu)) << "the note menu is destroyed";
    EXPECT_FALSE(IsMenu(lists.back())) << "the note list is destroyed";
    EXPECT_EQ(GetObjectType(brush), 0u) << "the note brush is deleted";
    EXPECT_EQ(NoteMenu.get(), nullptr);
}
