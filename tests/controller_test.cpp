// The controller window and the tray: the tray callback, the tray menu and its
// note list, the tray commands, and the close at exit and at log-off.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/controller.h"
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
    void ClickTray() { SendMessageA(controller, TrayCallbackMessage, TrayIconId, WM_LBUTTONUP); }
};

} // namespace

TEST_F(Controller, TrayIconIsAddedAtStart)
{
    EXPECT_TRUE(TrayIconPresent(controller));
}

TEST_F(Controller, OtherIconIdsAndOtherMouseMessagesDoNothing)
{
    // A menu opened here would be an unexpected modal loop and fail the test.
    SendMessageA(controller, TrayCallbackMessage, TrayIconId + 1, WM_LBUTTONUP);
    SendMessageA(controller, TrayCallbackMessage, TrayIconId + 1, WM_RBUTTONDBLCLK);
    for (LPARAM mouse : {WM_RBUTTONUP, WM_RBUTTONDOWN, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE})
        SendMessageA(controller, TrayCallbackMessage, TrayIconId, mouse);
    modal::Pump(100);
    EXPECT_TRUE(Notes().empty());
}

TEST_F(Controller, RightDoubleClickCreatesANote)
{
    SendMessageA(controller, TrayCallbackMessage, TrayIconId, WM_RBUTTONDBLCLK);
    EXPECT_TRUE(Notes().empty()) << "posted, not created at once";
    modal::Pump(100);
    EXPECT_EQ(Notes().size(), 1u);
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
        lists.push_back(CurrentNoteListMenu());
    }
    for (size_t i = 0; i + 1 < lists.size(); ++i)
        EXPECT_FALSE(IsMenu(lists[i])) << "the note list of opening " << i + 1 << " outlived the next one";
    const HMENU noteMenu = NoteMenu.get();
    const HBRUSH brush = NoteBrush.get();
    ASSERT_TRUE(IsMenu(noteMenu));
    ASSERT_TRUE(IsMenu(lists.back()));
    ASSERT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    // The tray gets the picture drawn at its size, loaded for it.
    const HICON trayIcon = CurrentTrayIcon();
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
    EXPECT_EQ(CurrentNoteListMenu(), nullptr);
}
