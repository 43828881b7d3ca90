#include "tests/support/modal.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <set>
#include <vector>

#include "app/startup.h"

namespace modal {
namespace {

constexpr UINT TickMilliseconds = 20;
constexpr DWORD UnexpectedModalLimit = 4000;
constexpr UINT MenuGetHandle = 0x01E1; // MN_GETHMENU

Script* Active;
std::set<HWND> ActingOn; // dialogs whose step is running right now
HWND UnexpectedSeen;     // a modal window nobody expects, and since when
DWORD UnexpectedSince;

bool HasClass(HWND window, const char* name)
{
    return ClassName(window) == name;
}

struct OpenModals {
    HWND menu = nullptr;   // innermost popup menu window
    HWND dialog = nullptr; // the enabled dialog, i.e. the innermost modal one
};

BOOL CALLBACK CollectModal(HWND window, LPARAM context)
{
    auto* found = reinterpret_cast<OpenModals*>(context);
    if (!IsWindowVisible(window))
        return TRUE;
    if (HasClass(window, "#32768"))
        found->menu = window;
    else if (HasClass(window, "#32770") && IsWindowEnabled(window) && !ActingOn.count(window))
        found->dialog = window;
    return TRUE;
}

OpenModals FindOpenModals()
{
    OpenModals found;
    EnumThreadWindows(GetCurrentThreadId(), CollectModal, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The positions, level by level, that lead to the item with this command.
bool PathTo(HMENU menu, UINT command, std::vector<int>& path)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        path.push_back(i);
        HMENU sub = GetSubMenu(menu, i);
        if (sub ? PathTo(sub, command, path) : GetMenuItemID(menu, i) == command)
            return true;
        path.pop_back();
    }
    return false;
}

// Items that the keyboard stops at before this position (separators are skipped).
int StopsBefore(HMENU menu, int position)
{
    int stops = 0;
    for (int i = 0; i < position; ++i)
        if (!(GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR))
            ++stops;
    return stops;
}

// Chooses the item as a keyboard user would: down to it, right into each
// submenu, Enter on the item.
void ChooseByKeyboard(HWND menuWindow, HMENU popup, UINT command)
{
    std::vector<int> path;
    if (command == 0 || !PathTo(popup, command, path)) {
        if (command != 0)
            ADD_FAILURE() << "the menu has no item with command " << command;
        EndMenu();
        return;
    }
    HMENU level = popup;
    for (size_t depth = 0; depth < path.size(); ++depth) {
        // In the first level nothing is selected yet; a submenu opens on its first item.
        int downs = StopsBefore(level, path[depth]) + (depth == 0 ? 1 : 0);
        for (int i = 0; i < downs; ++i)
            PostKey(menuWindow, VK_DOWN);
        if (depth + 1 < path.size()) {
            PostKey(menuWindow, VK_RIGHT);
            level = GetSubMenu(level, path[depth]);
        }
    }
    PostKey(menuWindow, VK_RETURN);
}

bool Matches(const Script::Step& step, const OpenModals& open)
{
    if (step.menu)
        return open.menu != nullptr;
    if (!open.dialog)
        return false;
    char caption[512];
    GetWindowTextA(open.dialog, caption, sizeof caption);
    return step.caption.empty() || step.caption == caption;
}

void CloseUnexpected(const OpenModals& open)
{
    HWND window = open.menu ? open.menu : open.dialog;
    if (window != UnexpectedSeen) {
        UnexpectedSeen = window;
        UnexpectedSince = GetTickCount();
        return;
    }
    if (GetTickCount() - UnexpectedSince < UnexpectedModalLimit)
        return;
    if (open.menu) {
        ADD_FAILURE() << "a popup menu opened that the test did not expect";
        EndMenu();
    } else {
        ADD_FAILURE() << "a dialog \"" << WindowText(open.dialog) << "\" (" << MessageBoxText(open.dialog)
                      << ") opened that the test did not expect";
        EndDialog(open.dialog, IDCANCEL);
    }
    UnexpectedSeen = nullptr;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    Tick();
}

} // namespace

void Tick()
{
    OpenModals open = FindOpenModals();
    if (!open.menu && !open.dialog) {
        UnexpectedSeen = nullptr;
        return;
    }
    if (!Active || Active->steps_.empty() || !Matches(Active->steps_.front(), open)) {
        CloseUnexpected(open);
        return;
    }
    UnexpectedSeen = nullptr;
    Script::Step step = std::move(Active->steps_.front());
    Active->steps_.pop_front();
    TRACE_CALLER(step.at);
    if (step.menu) {
        auto popup = reinterpret_cast<HMENU>(SendMessageA(open.menu, MenuGetHandle, 0, 0));
        if (step.inspectMenu)
            step.inspectMenu(popup);
        ChooseByKeyboard(open.menu, popup, step.command);
    } else {
        ActingOn.insert(open.dialog);
        const bool stoppedBefore = testing::Test::HasFatalFailure();
        step.action(open.dialog);
        ActingOn.erase(open.dialog);
        if (!stoppedBefore && testing::Test::HasFatalFailure())
            EndDialog(open.dialog, IDCANCEL); // the action stopped before it could end its dialog
    }
}

Script::Script(Where at)
{
    if (Active)
        ADD_FAILURE_AT(at.file, at.line) << "two modal scripts at once";
    Active = this;
}

Script::~Script()
{
    for (const Step& step : steps_)
        ADD_FAILURE_AT(step.at.file, step.at.line)
            << "expected " << (step.menu ? "a popup menu" : "the dialog \"" + step.caption + "\"")
            << " to open, and it never did";
    Active = nullptr;
}

Script& Script::Menu(UINT command, std::function<void(HMENU)> inspect, Where at)
{
    steps_.push_back(Step{true, command, {}, std::move(inspect), nullptr, at});
    return *this;
}

Script& Script::Dialog(std::string caption, std::function<void(HWND)> action, Where at)
{
    steps_.push_back(Step{false, 0, std::move(caption), nullptr, std::move(action), at});
    return *this;
}

bool Script::WaitDone(DWORD milliseconds)
{
    return PumpUntil([this] { return steps_.empty(); }, milliseconds);
}

void Install()
{
    SetTimer(nullptr, 0, TickMilliseconds, OnTimer);
}

void Click(HWND dialog, int id, Where at)
{
    HWND button = GetDlgItem(dialog, id);
    if (!button) {
        ADD_FAILURE_AT(at.file, at.line) << "no control " << id << " in the dialog";
        return;
    }
    SendMessageA(button, BM_CLICK, 0, 0);
}

void TypeText(HWND control, std::string_view text)
{
    for (char c : text)
        SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void SendKey(HWND window, WPARAM key)
{
    SendMessageA(window, WM_KEYDOWN, key, 1);
    SendMessageA(window, WM_KEYUP, key, 0xC0000001);
}

void PostKey(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> input;
    for (WORD key : keys) {
        input.push_back(INPUT{INPUT_KEYBOARD, {}});
        input.back().ki.wVk = key;
    }
    for (auto key = keys.end(); key != keys.begin();) {
        input.push_back(INPUT{INPUT_KEYBOARD, {}});
        input.back().ki.wVk = *--key;
        input.back().ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

std::string WindowText(HWND window)
{
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string MessageBoxText(HWND box)
{
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (HasClass(child, "Static") && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            std::string part = WindowText(child);
            if (part.size() > text.size())
                text = part;
        }
    }
    return text;
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT ClientRect(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

testing::AssertionResult HasOuterSize(HWND window, int width, int height)
{
    const RECT rect = WindowRect(window);
    const LONG cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    if (cx == width && cy == height)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "the window is " << cx << " x " << cy << ", not " << width << " x " << height;
}

testing::AssertionResult IsAt(HWND window, POINT expected)
{
    const RECT rect = WindowRect(window);
    if (rect.left == expected.x && rect.top == expected.y)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the window is at (" << rect.left << ", " << rect.top << "), not ("
                                       << expected.x << ", " << expected.y << ")";
}

int SliderPosition(HWND dialog, int id)
{
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, id), TBM_GETPOS, 0, 0));
}

void MoveSlider(HWND dialog, int id, int target, Where at)
{
    for (int presses = 0; presses < 1000 && SliderPosition(dialog, id) != target; ++presses)
        SendKey(GetDlgItem(dialog, id), SliderPosition(dialog, id) < target ? VK_RIGHT : VK_LEFT);
    if (SliderPosition(dialog, id) != target)
        ADD_FAILURE_AT(at.file, at.line)
            << "slider " << id << " stopped at " << SliderPosition(dialog, id) << ", not " << target;
}

std::ostream& operator<<(std::ostream& out, const MenuItem& item)
{
    return out << "{\"" << item.text << "\", " << static_cast<int>(item.id) << ", state " << item.state
               << "}";
}

std::vector<MenuItem> MenuItems(HMENU menu)
{
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[128] = "";
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (GetSubMenu(menu, i))
            state &= 0xFF; // the high byte counts the submenu's items
        // Wine greys the separators it loads; a separator cannot be chosen either way.
        state = state & MF_SEPARATOR ? MF_SEPARATOR : state & (MFS_GRAYED | MF_CHECKED);
        items.push_back({text, GetMenuItemID(menu, i), state});
    }
    return items;
}

void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) { // leave it for the test to see
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (GetTickCount() - start >= milliseconds)
            break;
        WaitForMessageOrStoreChange(5); // as the program's loop waits
    } while (true);
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Pump(10);
    }
    return true;
}

} // namespace modal
