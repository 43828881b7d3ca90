// The note registry and the note window: ids, cascade, layout, the title
// dialog, the context menu, painting and the release of what a note owns.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "app/controller.h"
#include "base/shared_state.h"
#include "notes/cascade.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"

namespace {

NoteWindow FakeWindow(std::uintptr_t n)
{
    return reinterpret_cast<NoteWindow>(n * 16);
}

std::vector<int> Ids()
{
    std::vector<int> ids;
    for (NoteNode* node = NoteListHead; node; node = node->next)
        ids.push_back(node->NoteId);
    return ids;
}

// The registry alone, with made-up window handles.
class Registry : public ProgramTest {
  protected:
    bool StartsController() const override { return false; }
};

} // namespace

TEST_F(Registry, IdsCountUpAndTheListIsNewestFirst)
{
    for (std::uintptr_t i = 1; i <= 4; ++i)
        ASSERT_TRUE(AddNote(FakeWindow(i)));
    EXPECT_EQ(Ids(), (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ(NoteListHead->window, FakeWindow(4));
    EXPECT_EQ(NoteListHead->prev, nullptr);
    EXPECT_EQ(NoteListHead->next->prev, NoteListHead);
}

TEST_F(Registry, DeletingTheNewestGivesItsIdAgain)
{
    AddNote(FakeWindow(1));
    AddNote(FakeWindow(2));
    AddNote(FakeWindow(3));
    RemoveNote(FakeWindow(3));
    AddNote(FakeWindow(4));
    EXPECT_EQ(Ids(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(NoteListHead->window, FakeWindow(4));
}

TEST_F(Registry, DeletingAnOlderNoteLeavesAGap)
{
    AddNote(FakeWindow(1));
    AddNote(FakeWindow(2));
    AddNote(FakeWindow(3));
    RemoveNote(FakeWindow(2));
    AddNote(FakeWindow(4));
    EXPECT_EQ(Ids(), (std::vector<int>{3, 2, 0}));
    // The links around the gap hold in both directions.
    EXPECT_EQ(NoteListHead->next->next->prev, NoteListHead->next);
    RemoveNote(FakeWindow(1)); // the tail
    EXPECT_EQ(Ids(), (std::vector<int>{3, 2}));
    EXPECT_EQ(NoteListHead->next->next, nullptr);
}

TEST_F(Registry, IdsRestartAtZeroOnceEmpty)
{
    AddNote(FakeWindow(1));
    AddNote(FakeWindow(2));
    RemoveNote(FakeWindow(1));
    RemoveNote(FakeWindow(2));
    EXPECT_EQ(NoteListHead, nullptr);
    AddNote(FakeWindow(3));
    EXPECT_EQ(Ids(), (std::vector<int>{0}));
}

TEST_F(Registry, RemovingAnUnknownWindowChangesNothing)
{
    AddNote(FakeWindow(1));
    RemoveNote(FakeWindow(9));
    EXPECT_EQ(Ids(), (std::vector<int>{0}));
}

TEST(Cascade, HugeCountsWrapInUnsignedArithmetic)
{
    // 4,294,967,295 steps of 20 are 4,294,967,276 pixels once wrapped at 2^32.
    CascadePoint p = CascadePosition(0xFFFFFFFFu, 800, 600);
    EXPECT_EQ(p.x, 76);
    EXPECT_EQ(p.y, 476);
}

class NoteWindowTest : public ProgramTest {};

TEST_F(NoteWindowTest, NotesCascadeOnTheRealScreen)
{
    HWND first = NewNote();
    HWND second = NewNote();
    EXPECT_EQ(modal::WindowRect(first).left, 0);
    EXPECT_EQ(modal::WindowRect(first).top, 0);
    EXPECT_EQ(modal::WindowRect(second).left, 20);
    EXPECT_EQ(modal::WindowRect(second).top, 20);

    // The 53rd note, 1,040 pixels along: past the right edge of the test's
    // 1024 x 768 desktop, not past its bottom.
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    NoteCount = 52;
    HWND wrapped = NewNote();
    EXPECT_EQ(modal::WindowRect(wrapped).left, 16);
    EXPECT_EQ(modal::WindowRect(wrapped).top, 272);
    EXPECT_EQ(NoteCount, 53u) << "each note counts once";
}

TEST_F(NoteWindowTest, IsAnOwnedToolWindowFilledByItsEditField)
{
    HWND note = NewNote("Spesa");
    EXPECT_EQ(modal::WindowText(note), "Spesa");
    DWORD style = static_cast<DWORD>(GetWindowLongA(note, GWL_STYLE));
    EXPECT_EQ(style & 0xFFFF0000u & ~WS_CLIPSIBLINGS, 0x90C20000u);
    EXPECT_FALSE(style & WS_SYSMENU) << "no close box";
    EXPECT_TRUE(GetWindowLongA(note, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindow(note, GW_OWNER), controller);
    EXPECT_EQ(GetParent(note), controller); // owned pop-up
    RECT rect = modal::WindowRect(note);
    EXPECT_EQ(rect.right - rect.left, NoteWidth);
    EXPECT_EQ(rect.bottom - rect.top, NoteHeight);

    HWND edit = GetDlgItem(note, 1);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(modal::ClassName(edit), "Edit");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(edit, GWL_STYLE)) & ~WS_CLIPSIBLINGS & 0xFFFF00FFu,
              0x50000044u);
    EXPECT_EQ(GetWindowLongA(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(modal::ClientRect(edit).right, modal::ClientRect(note).right);
    EXPECT_EQ(modal::ClientRect(edit).bottom, modal::ClientRect(note).bottom);
    EXPECT_STREQ(NoteVoicePath(note), "");
    EXPECT_EQ(NoteListHead->edit, edit) << "the registry keeps the edit field at hand";
}

TEST_F(NoteWindowTest, EditFollowsRestoredSizeButNotMinimising)
{
    HWND note = NewNote();
    HWND edit = GetDlgItem(note, 1);
    SetWindowPos(note, nullptr, 0, 0, 300, 220, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(modal::ClientRect(edit).right, modal::ClientRect(note).right);
    EXPECT_EQ(modal::ClientRect(edit).bottom, modal::ClientRect(note).bottom);
    RECT before = modal::ClientRect(edit);
    ShowWindow(note, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(note));
    RECT after = modal::ClientRect(edit);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
}

TEST_F(NoteWindowTest, TitleDialogRenamesKeepingAtMost63Characters)
{
    HWND note = NewNote("Vecchio");
    modal::Script script;
    script.Dialog("Cambia Titolo", [&](HWND dialog) {
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), note);
        HWND edit = GetDlgItem(dialog, 1000);
        EXPECT_EQ(modal::WindowText(edit), "Vecchio");
        DWORD start = 0, end = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 7u) << "the old title is selected, so typing replaces it";
        EXPECT_EQ(GetFocus(), edit);
        modal::TypeText(edit, std::string(70, 'x'));
        EXPECT_EQ(GetWindowTextLengthA(edit), 63);
        modal::Click(dialog, IDOK);
    });
    SendMessageA(note, WM_COMMAND, IDM_CHANGE_TITLE, 0);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(modal::WindowText(note), std::string(63, 'x'));
}

TEST_F(NoteWindowTest, TitleDialogAcceptsAnEmptyTitleAndCancelKeepsTheCaption)
{
    HWND note = NewNote("Titolo");
    {
        modal::Script script;
        script.Dialog("Cambia Titolo", [](HWND dialog) {
            modal::TypeText(GetDlgItem(dialog, 1000), "Altro");
            modal::Click(dialog, IDCANCEL);
        });
        SendMessageA(note, WM_COMMAND, IDM_CHANGE_TITLE, 0);
    }
    EXPECT_EQ(modal::WindowText(note), "Titolo");
    {
        modal::Script script;
        script.Dialog("Cambia Titolo", [](HWND dialog) {
            SetDlgItemTextA(dialog, 1000, "");
            modal::Click(dialog, IDOK);
        });
        // A double click on the caption opens the same dialog.
        SendMessageA(note, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
    }
    EXPECT_EQ(modal::WindowText(note), "");
}

// Created, brought forward from the note list or "&Mostra Tutti", or back
// from its title dialog: the note in front takes what the user types.
TEST_F(NoteWindowTest, TheKeyboardGoesToTheTextOfTheNoteInFront)
{
    HWND older = NewNote("Vecchia");
    HWND note = NewNote("Nuova");
    EXPECT_EQ(GetFocus(), NoteEditOf(note)) << "a new note";
    for (char key : std::string("CIAO")) // pressed as on the keyboard, sent where the focus is
        modal::PressKeys({static_cast<WORD>(key)});
    modal::PumpUntil([&] { return GetWindowTextLengthA(NoteEditOf(note)) >= 4; }, 3000);
    EXPECT_EQ(NoteText(note), "ciao");

    ShowNoteById(0);
    EXPECT_EQ(GetFocus(), NoteEditOf(older)) << "a note chosen from the list";
    modal::Script script;
    script.Dialog("Cambia Titolo", [](HWND dialog) { modal::Click(dialog, IDOK); });
    SendMessageA(note, WM_COMMAND, IDM_CHANGE_TITLE, 0);
    EXPECT_EQ(GetFocus(), NoteEditOf(note)) << "a note whose title dialog has closed";
    SendMessageA(controller, WM_COMMAND, IDM_HIDE_ALL, 0);
    SendMessageA(controller, WM_COMMAND, IDM_SHOW_ALL, 0);
    EXPECT_EQ(GetFocus(), NoteEditOf(older)) << "the last note \"&Mostra Tutti\" shows";
}

TEST_F(NoteWindowTest, ContextMenuHidesTheNoteWhichStaysRegistered)
{
    HWND note = NewNote();
    modal::Script script;
    script.Menu(IDM_HIDE_NOTE, [](HMENU popup) {
        EXPECT_EQ(GetMenuItemCount(popup), 4);
        EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(IDM_DELETE_NOTE));
    });
    SendMessageA(note, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(note), MAKELPARAM(40, 40));
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(IsWindowVisible(note));
    EXPECT_EQ(Notes(), (std::vector<HWND>{note}));
}

// From the keyboard (Shift+F10) the menu opens at the note's corner; both
// coordinates are -1, which a 64-bit lParam holds only in its low 32 bits.
TEST_F(NoteWindowTest, KeyboardContextMenuOpensAtTheNotesCorner)
{
    HWND note = NewNote();
    SetWindowPos(note, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    POINT corner{0, 0};
    ClientToScreen(note, &corner);
    RECT menu{};
    modal::Script script;
    script.Menu(0, [&](HMENU) { menu = modal::WindowRect(FindWindowA("#32768", nullptr)); });
    SendMessageA(note, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(note), static_cast<LPARAM>(0xFFFFFFFFu));
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(menu.left, corner.x);
    EXPECT_EQ(menu.top, corner.y);
}

// A note has no system menu: Alt+Space, which opens a window's menu
// everywhere in Windows, opens the note's own.
TEST_F(NoteWindowTest, AltSpaceInTheTextOpensTheNoteMenu)
{
    // A new note takes the keyboard; Wine may hand it over a moment later.
    HWND note = NewNote();
    ASSERT_TRUE(modal::PumpUntil([&] { return GetFocus() == NoteEditOf(note); }, 2000));
    HMENU shown = nullptr;
    modal::Script script;
    script.Menu(0, [&](HMENU popup) { shown = popup; });
    modal::PressKeys({VK_MENU, VK_SPACE});
    EXPECT_TRUE(script.WaitDone(3000));
    EXPECT_EQ(shown, GetSubMenu(NoteMenu.get(), 0));
}

TEST_F(NoteWindowTest, DeleteDestroysTheNoteAndFreesWhatItOwns)
{
    HWND older = NewNote("Vecchia");
    HWND note = NewNote("Da cancellare");
    HGLOBAL voiceBlock = GlobalHandle(NoteVoicePath(note));
    ASSERT_NE(voiceBlock, nullptr);
    SendMessageA(note, WM_COMMAND, IDM_DELETE_NOTE, 0);
    EXPECT_FALSE(IsWindow(note));
    EXPECT_EQ(Notes(), (std::vector<HWND>{older}));
    EXPECT_EQ(GlobalFlags(voiceBlock), static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST_F(NoteWindowTest, EditBackgroundIsPaintedWithTheNoteBrush)
{
    HWND note = NewNote();
    HWND edit = GetDlgItem(note, 1);
    UpdateWindow(note);
    HDC dc = GetDC(edit);
    COLORREF pixel = GetPixel(dc, 5, modal::ClientRect(edit).bottom - 5);
    ReleaseDC(edit, dc);
    LOGBRUSH brush{};
    GetObjectA(NoteBrush.get(), sizeof brush, &brush);
    EXPECT_EQ(pixel, brush.lbColor);
    EXPECT_EQ(pixel, RGB(255, 255, 0)) << "yellow by default";
}

namespace {

// WCAG's contrast ratio of two colours.
double Contrast(COLORREF a, COLORREF b)
{
    auto luminance = [](COLORREF color) {
        double l = 0;
        for (auto [channel, weight] :
             {std::pair{GetRValue(color), 0.2126}, {GetGValue(color), 0.7152}, {GetBValue(color), 0.0722}}) {
            const double c = channel / 255.0;
            l += weight * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return l + 0.05;
    };
    return std::max(luminance(a), luminance(b)) / std::min(luminance(a), luminance(b));
}

// What the note's text field painted: its colour below the text, and the
// pixel of the text (a line of M) that stands out most from it.
std::pair<COLORREF, COLORREF> Painted(HWND note)
{
    HWND edit = NoteEditOf(note);
    UpdateWindow(edit);
    HDC dc = GetDC(edit);
    const COLORREF background = GetPixel(dc, 2, modal::ClientRect(edit).bottom - 2);
    COLORREF text = background;
    for (int y = 0; y < 14; ++y)
        for (int x = 6; x < 66; ++x) // right of the caret
            if (Contrast(GetPixel(dc, x, y), background) > Contrast(text, background))
                text = GetPixel(dc, x, y);
    ReleaseDC(edit, dc);
    return {background, text};
}

} // namespace

// The text's colour follows the colour the brush paints, which after
// "A&ggiorna" is not yet the stored one.
TEST_F(NoteWindowTest, TextCanBeReadOnEveryNoteColour)
{
    HWND note = NewNote();
    SetWindowTextA(NoteEditOf(note), "MMMMMMMMMM");
    for (COLORREF color :
         {RGB(0, 0, 0), RGB(0, 0, 255), RGB(255, 0, 0), RGB(255, 0, 255), RGB(255, 255, 0)}) {
        NoteBrush.reset(CreateSolidBrush(color));
        InvalidateRect(NoteEditOf(note), nullptr, TRUE);
        const auto [background, text] = Painted(note);
        EXPECT_EQ(background, color);
        EXPECT_GE(Contrast(text, background), 4.5) << "on colour " << std::hex << color;
    }
    EXPECT_EQ(Painted(note).second, RGB(0, 0, 0)) << "the default yellow keeps black text";
    EXPECT_EQ(NoteColor, RGB(255, 255, 0)) << "the store keeps the user's colour";
}

// Wine cannot turn high contrast on: the test answers that question itself.
TEST_F(NoteWindowTest, HighContrastPaintsWithTheSystemColoursAndSettingsChangesRepaint)
{
    HWND note = NewNote();
    ASSERT_NE(GetSysColor(COLOR_WINDOW), RGB(255, 255, 0));
    ASSERT_EQ(Painted(note).first, RGB(255, 255, 0)); // painted before the change
    HighContrastOn = [] { return true; };
    SendMessageA(note, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_EQ(Painted(note).first, GetSysColor(COLOR_WINDOW));
    HighContrastOn = [] { return false; };
    SendMessageA(note, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(Painted(note).first, RGB(255, 255, 0));
}

// The checks that the leak tests rely on see an object come and go.
TEST(HandleCounts, SeeABrushAndAWindowComeAndGo)
{
    DWORD windows = WindowCount();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HWND window = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_GT(WindowCount(), windows); // the system may add a window of its own per top-level one
    DeleteObject(brush);
    DestroyWindow(window);
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(WindowCount(), windows);
}

TEST_F(NoteWindowTest, TwoHundredNotesLeakNoHandles)
{
    const DWORD before = WindowCount();
    std::vector<HWND> windows;
    for (int i = 0; i < 200; ++i) {
        HWND note = NewNote();
        windows.push_back(note);
        windows.push_back(NoteEditOf(note));
    }
    modal::Pump(100); // let them paint
    ASSERT_GE(WindowCount(), before + 400) << "the count does not see the notes";
    for (HWND note : Notes())
        SendMessageA(note, WM_COMMAND, IDM_DELETE_NOTE, 0);
    modal::Pump(100);
    EXPECT_TRUE(Notes().empty());
    for (HWND window : windows)
        ASSERT_FALSE(IsWindow(window)) << "a note or its edit field outlived its deletion";
    EXPECT_EQ(WindowCount(), before);
}
