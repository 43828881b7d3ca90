// Answers the modal loops that the code under test opens (popup menus,
// dialogs, message boxes, common dialogs) so that a test neither hangs nor
// needs a person. A test arms a Script with the steps it expects, in order;
// a thread timer, which every modal loop keeps dispatching, finds the menu or
// dialog that is open and carries out the next step on it.
//
// Trustworthy by construction: a step that never met its modal loop fails the
// test when the Script ends, and a modal loop that nobody expected fails the
// test and is closed after a few seconds instead of hanging it.
#ifndef APPUNTELLO_TESTS_MODAL_H
#define APPUNTELLO_TESTS_MODAL_H

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/where.h"

namespace modal {

class Script {
  public:
    explicit Script(Where at = Here());
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // The next popup menu: inspect it (optional), then choose the item with
    // this command id, looking into submenus too; 0 cancels the menu.
    Script& Menu(UINT command, std::function<void(HMENU popup)> inspect = nullptr, Where at = Here());
    // The next dialog (or message box) whose caption is this one (any caption
    // when empty): the action runs inside its modal loop and must end it, for
    // example with Click(dialog, IDOK); one that stops at a fatal failure has
    // its dialog cancelled.
    Script& Dialog(std::string caption, std::function<void(HWND dialog)> action, Where at = Here());

    bool Done() const { return steps_.empty(); }
    // Pumps messages until every step has run or the time is up.
    bool WaitDone(DWORD milliseconds = 5000);

    struct Step {
        bool menu;
        UINT command;
        std::string caption;
        std::function<void(HMENU)> inspectMenu;
        std::function<void(HWND)> action;
        Where at; // the test line that expects this step
    };

  private:
    std::deque<Step> steps_;
    friend void Tick();
};

void Tick();

// Installs the timer that serves every Script and closes unexpected modal
// loops; called once by the test program's main.
void Install();

// A real click: the button sends its owner BN_CLICKED as a user's click does.
void Click(HWND dialog, int id, Where at = Here());
// Types text into a control one character at a time (WM_CHAR), so that text
// limits and filters act as for a user.
void TypeText(HWND control, std::string_view text);
// A key pressed and released. Sent, the window handles it at once; posted,
// it goes through the modal loop that runs, whose dialog manager turns Enter
// and Esc into commands.
void SendKey(HWND window, WPARAM key);
void PostKey(HWND window, WPARAM key);
// Keys pressed in order and released in reverse, as a hand does, through the
// system's input: they reach the window with the focus, and modifiers count.
void PressKeys(std::initializer_list<WORD> keys);
std::string WindowText(HWND window);
std::string ClassName(HWND window);
// The message text of a message box.
std::string MessageBoxText(HWND box);
RECT WindowRect(HWND window);
RECT ClientRect(HWND window);
// A window's outer size, frame and caption included, and its place on the screen.
testing::AssertionResult HasOuterSize(HWND window, int width, int height);
testing::AssertionResult IsAt(HWND window, POINT expected);
// A slider (trackbar) of a dialog: its position, and moved with the arrow
// keys, one step a press, as a keyboard user moves it.
int SliderPosition(HWND dialog, int id);
void MoveSlider(HWND dialog, int id, int target, Where at = Here());

// A menu item as the user sees it: its text, its command (0 for a separator,
// -1 for a submenu) and whether it is a separator, grey or checked.
struct MenuItem {
    std::string text;
    UINT id;
    UINT state = 0; // of MF_SEPARATOR, MFS_GRAYED, MF_DISABLED, MF_CHECKED
    bool operator==(const MenuItem& other) const
    {
        return text == other.text && id == other.id && state == other.state;
    }
};
std::ostream& operator<<(std::ostream& out, const MenuItem& item);
const MenuItem Separator{"", 0, MF_SEPARATOR};
std::vector<MenuItem> MenuItems(HMENU menu);

// Pumps the thread's messages for a while (lets posted messages arrive).
void Pump(DWORD milliseconds = 0);
// Pumps messages until the condition holds; false when the time is up first.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds);

} // namespace modal

#endif
