// e2e_probe: the end-to-end driver's eyes on the Windows side. Inside a Wine
// virtual desktop every window is drawn into one X window, so the driver asks
// this program, started in the same prefix, where things are: the tray icons,
// the notes, the open menus and dialogs, the geometry of menu items and dialog
// controls. It never clicks or types; the driver does that with xdotool.
//
// It reads one request per line on stdin and answers each with lines of
// tab-separated fields and a last line ".", so that one process serves a whole
// run (a Wine process costs a few hundred milliseconds to start). Texts are the
// bytes of the ANSI code page with \ \t \r \n escaped.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT TrackbarGetPos = WM_USER; // TBM_GETPOS
constexpr UINT AnswerLimit = 2000;       // ms a busy program may take to answer

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The caption as the window manager keeps it: no message reaches the owner.
std::string TitleOf(HWND window)
{
    char title[1024] = "";
    GetWindowTextA(window, title, sizeof title);
    return title;
}

// A control's text through WM_GETTEXT, which crosses processes; a program
// that does not answer in time yields nothing rather than a hung probe.
bool TextOf(HWND window, std::string& text)
{
    std::vector<char> buffer(70000);
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, AnswerLimit, &length))
        return false;
    text.assign(buffer.data(), std::strlen(buffer.data()));
    return true;
}

std::string Hex(HWND window)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

HWND ParseWindow(const char* text)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 16)));
}

std::string Rect(const RECT& r)
{
    char text[96];
    std::snprintf(text, sizeof text, "%ld\t%ld\t%ld\t%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

std::string WindowRect(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return Rect(r);
}

std::string ClientRect(HWND window)
{
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return Rect(r);
}

DWORD ProcessOf(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

void Line(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// A named callback: a lambda cannot become the 32-bit build's stdcall procedure.
BOOL CALLBACK AddWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows; // z-order, topmost first
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Wine 8's explorer paints the notification-area icons straight onto its
// taskbar window, right to left from the taskbar's right end, each in a square
// of the small-icon size plus a border of 2 pixels, centred vertically; no
// window stands for an icon. These are the places of the first slots; which of
// them hold an icon the driver reads from the screen.
constexpr int TrayIconBorder = 2;
constexpr int TraySlots = 4;

struct Tray {
    HWND window = nullptr;
    bool shown = false; // the explorer hides its taskbar while no icon is left
    RECT rect{};
    int iconWidth = 0, iconHeight = 0;
};

Tray FindTray()
{
    Tray tray;
    tray.window = FindWindowA("Shell_TrayWnd", nullptr);
    tray.shown = tray.window && IsWindowVisible(tray.window);
    if (tray.window) {
        GetWindowRect(tray.window, &tray.rect);
        tray.iconWidth = GetSystemMetrics(SM_CXSMICON) + 2 * TrayIconBorder;
        tray.iconHeight = GetSystemMetrics(SM_CYSMICON) + 2 * TrayIconBorder;
    }
    return tray;
}

RECT TraySlot(const Tray& tray, int index)
{
    RECT slot;
    slot.right = tray.rect.right - tray.iconWidth * index;
    slot.left = slot.right - tray.iconWidth;
    slot.top = tray.rect.top + (tray.rect.bottom - tray.rect.top - tray.iconHeight) / 2;
    slot.bottom = slot.top + tray.iconHeight;
    return slot;
}

// The explorer gives every icon it shows a tooltip window of its own, owned by
// the taskbar, and keeps it after the icon goes: the count only grows, by one
// for each icon ever shown.
int TrayTooltips(HWND taskbar)
{
    int count = 0;
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT))
        if (taskbar && GetWindow(window, GW_OWNER) == taskbar && ClassOf(window) == "tooltips_class32")
            ++count;
    return count;
}

// Everything the driver checks, in one answer:
//   screen W H | foreground HWND
//   taskbar HWND X Y W H TOOLTIPS SHOWN | trayslot INDEX X Y W H (while shown)
//   controller HWND PID TITLE
//   note HWND PID VISIBLE X Y W H CX CY CW CH TITLE [TEXT]   (z-order, top first; C = client)
//   menu HWND PID X Y W H                                     (shown popup menus, top first)
//   dialog HWND PID OWNER X Y W H TITLE                       (shown dialogs, top first)
//   recorder HWND PID OWNER VISIBLE X Y W H TITLE               (voice recorders, top first)
void State(bool withTexts)
{
    Line("screen\t" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "\t" +
         std::to_string(GetSystemMetrics(SM_CYSCREEN)));
    Line("foreground\t" + Hex(GetForegroundWindow()));
    const Tray tray = FindTray();
    if (tray.window) {
        Line("taskbar\t" + Hex(tray.window) + "\t" + Rect(tray.rect) + "\t" +
             std::to_string(TrayTooltips(tray.window)) + "\t" + (tray.shown ? "1" : "0"));
        for (int i = 0; tray.shown && i < TraySlots; ++i)
            Line("trayslot\t" + std::to_string(i) + "\t" + Rect(TraySlot(tray, i)));
    }
    for (HWND window : TopLevelWindows()) {
        const std::string cls = ClassOf(window);
        const std::string pid = std::to_string(ProcessOf(window));
        const bool visible = IsWindowVisible(window) != FALSE;
        if (cls == "Class_Appuntello") {
            Line("controller\t" + Hex(window) + "\t" + pid + "\t" + Escape(TitleOf(window)));
        } else if (cls == "Class_YellowWindow") {
            std::string line = "note\t" + Hex(window) + "\t" + pid + "\t" + (visible ? "1" : "0") + "\t" +
                               WindowRect(window) + "\t" + ClientRect(window) + "\t" +
                               Escape(TitleOf(window));
            if (withTexts) {
                std::string text;
                HWND edit = GetDlgItem(window, 1);
                line += "\t";
                if (edit && TextOf(edit, text))
                    line += Escape(text);
                else
                    line += "\\?"; // no answer: never equal to a real text
            }
            Line(line);
        } else if (cls == "Class_Recorder") {
            Line("recorder\t" + Hex(window) + "\t" + pid + "\t" + Hex(GetWindow(window, GW_OWNER)) + "\t" +
                 (visible ? "1" : "0") + "\t" + WindowRect(window) + "\t" + Escape(TitleOf(window)));
        } else if (!visible) {
            continue;
        } else if (cls == "#32768") {
            Line("menu\t" + Hex(window) + "\t" + pid + "\t" + WindowRect(window));
        } else if (cls == "#32770") {
            Line("dialog\t" + Hex(window) + "\t" + pid + "\t" + Hex(GetWindow(window, GW_OWNER)) + "\t" +
                 WindowRect(window) + "\t" + Escape(TitleOf(window)));
        }
    }
}

// Counts only, cheap enough to poll while a thousand notes come up: tray
// tooltips, controller windows (the program's and the bench floor's), the
// first one and whether it is shown (it shows once its creation, notes
// included, is over), notes, shown notes.
void Summary()
{
    int notes = 0, shown = 0, controllers = 0;
    HWND controller = nullptr;
    for (HWND window : TopLevelWindows()) {
        const std::string cls = ClassOf(window);
        if (cls == "Class_YellowWindow" || cls == "BenchNote") {
            ++notes;
            if (IsWindowVisible(window))
                ++shown;
        } else if (cls == "Class_Appuntello" || cls == "BenchController") {
            if (!controllers++)
                controller = window;
        }
    }
    const Tray tray = FindTray();
    Line("summary\t" + std::to_string(TrayTooltips(tray.window)) + "\t" + std::to_string(controllers) + "\t" +
         Hex(controller) + "\t" + (controller && IsWindowVisible(controller) ? "1" : "0") + "\t" +
         std::to_string(notes) + "\t" + std::to_string(shown));
}

// Whether a click at this screen point reaches the window (or a child of it),
// not another window lying over it.
bool Reaches(HWND window, POINT point)
{
    HWND hit = WindowFromPoint(point);
    return hit && GetAncestor(hit, GA_ROOT) == window;
}

// A point of the caption that a click reaches, as the window itself answers
// the hit test: across the middle of the caption band, from its left end.
void Caption(HWND window)
{
    RECT r{};
    if (!GetWindowRect(window, &r)) {
        Line("error\tno such window");
        return;
    }
    const int probeX = (r.left + r.right) / 2;
    int first = -1, last = -1;
    for (int y = r.top; y < r.bottom; ++y) {
        DWORD_PTR hit = 0;
        if (!SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(probeX, y), SMTO_ABORTIFHUNG,
                                 AnswerLimit, &hit))
            break;
        if (hit == HTCAPTION) {
            if (first < 0)
                first = y;
            last = y;
        } else if (first >= 0) {
            break;
        }
    }
    if (first < 0) {
        Line("error\tno caption");
        return;
    }
    const int y = (first + last) / 2;
    for (int x = r.left; x < r.right; x += 2) {
        DWORD_PTR hit = 0;
        POINT point{x, y};
        if (Reaches(window, point) &&
            SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, AnswerLimit,
                                &hit) &&
            hit == HTCAPTION) {
            // A little inside the free stretch, away from its edge.
            POINT inside{std::min<LONG>(x + 8, (r.left + r.right) / 2), y};
            Line("caption\t" + std::to_string(Reaches(window, inside) ? inside.x : x) + "\t" +
                 std::to_string(y));
            return;
        }
    }
    Line("error\tcaption covered");
}

// A point of the client area that a click reaches, searched outwards from the
// centre on a grid.
void Spot(HWND window)
{
    RECT r{};
    if (!GetClientRect(window, &r)) {
        Line("error\tno such window");
        return;
    }
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    const int reach = std::max(r.right - r.left, r.bottom - r.top);
    for (int ring = 0; ring <= reach; ring += 4)
        for (int dy = -ring; dy <= ring; dy += 4)
            for (int dx = -ring; dx <= ring; dx += 4) {
                if (std::max(std::abs(dx), std::abs(dy)) != ring)
                    continue;
                POINT point{centre.x + dx, centre.y + dy};
                if (point.x > r.left && point.x < r.right - 1 && point.y > r.top && point.y < r.bottom - 1 &&
                    Reaches(window, point)) {
                    Line("spot\t" + std::to_string(point.x) + "\t" + std::to_string(point.y));
                    return;
                }
            }
    Line("error\tclient area covered");
}

// The window a click at this screen point reaches, and its top-level window.
void At(int x, int y)
{
    HWND hit = WindowFromPoint(POINT{x, y});
    HWND root = hit ? GetAncestor(hit, GA_ROOT) : nullptr;
    Line("at\t" + Hex(hit) + "\t" + Hex(root) + "\t" + (root ? ClassOf(root) : std::string()));
}

// The child controls of a window, in their order: id, class, rectangle,
// enabled, text.
void Children(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string text;
        TextOf(child, text);
        Line("child\t" + Hex(child) + "\t" + std::to_string(GetDlgCtrlID(child)) + "\t" + ClassOf(child) +
             "\t" + WindowRect(child) + "\t" + (IsWindowVisible(child) ? "1" : "0") +
             (IsWindowEnabled(child) ? "1" : "0") + "\t" + Escape(text));
    }
}

struct Search {
    int id;
    std::string cls;
    HWND found;
};

BOOL CALLBACK FindDescendant(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<Search*>(search);
    if (GetDlgCtrlID(window) == s->id && ClassOf(window) == s->cls) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// A child control of a dialog by id: class, rectangle, text, and the position
// when it is a trackbar. With a class, the control is the first window of that
// class and id at any depth below the dialog (the edit inside a combo box).
void Control(HWND dialog, int id, const std::string& cls)
{
    HWND control = GetDlgItem(dialog, id);
    if (!cls.empty()) {
        Search search{id, cls, nullptr};
        EnumChildWindows(dialog, FindDescendant, reinterpret_cast<LPARAM>(&search));
        control = search.found;
    }
    if (!control) {
        Line("error\tno control");
        return;
    }
    std::string text;
    TextOf(control, text);
    std::string line = "control\t" + Hex(control) + "\t" + ClassOf(control) + "\t" + WindowRect(control) +
                       "\t" + (IsWindowEnabled(control) ? "1" : "0") + "\t" + Escape(text);
    if (ClassOf(control) == "msctls_trackbar32") {
        DWORD_PTR position = 0;
        SendMessageTimeoutA(control, TrackbarGetPos, 0, 0, SMTO_ABORTIFHUNG, AnswerLimit, &position);
        line += "\t" + std::to_string(static_cast<long>(position));
    }
    Line(line);
}

// The window that has the keyboard focus in the thread of this window.
void Focus(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info)) {
        Line("error\tno thread");
        return;
    }
    Line("focus\t" + Hex(info.hwndFocus) + "\t" + Hex(info.hwndActive) + "\t" + Hex(info.hwndCapture) + "\t" +
         Hex(info.hwndMenuOwner));
}

// ---- Menu layout ----
//
// A popup menu of another process cannot be asked for its items: its HMENU is
// valid only there. The system lays out every popup alike, so a twin with the
// same kinds of items ('T' text, '-' separator, '>' text with a submenu), shown
// here for a moment, gives each item's place relative to its menu window; the
// driver puts those places onto the real menu window, and checks that the real
// window has the twin's height.

struct LayoutJob {
    HMENU menu = nullptr;
    HWND owner = nullptr;
    std::vector<RECT> items;
    RECT window{};
    bool done = false;
};
LayoutJob* Job;

BOOL CALLBACK FindOwnMenuWindow(HWND window, LPARAM found)
{
    if (ClassOf(window) == "#32768" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK MeasureTwin(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!Job || Job->done)
        return;
    HWND menuWindow = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOwnMenuWindow, reinterpret_cast<LPARAM>(&menuWindow));
    if (!menuWindow)
        return; // not shown yet
    GetWindowRect(menuWindow, &Job->window);
    const int count = GetMenuItemCount(Job->menu);
    for (int i = 0; i < count; ++i) {
        RECT r{};
        GetMenuItemRect(nullptr, Job->menu, static_cast<UINT>(i), &r);
        Job->items.push_back(r);
    }
    Job->done = true;
    KillTimer(nullptr, timer);
    EndMenu();
}

void Layout(const char* kinds)
{
    HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "e2e probe", WS_POPUP, 0, 0, 1, 1, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    HMENU menu = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuA(sub, MF_STRING, 1, "Sub");
    UINT id = 100;
    for (const char* k = kinds; *k; ++k) {
        if (*k == '-')
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else if (*k == '>')
            AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Voce con sottomenu");
        else
            AppendMenuA(menu, MF_STRING, id++, "Voce");
    }
    LayoutJob job;
    job.menu = menu;
    job.owner = owner;
    Job = &job;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, MeasureTwin);
    // Far from where the driver's pointer rests; the system keeps it on screen.
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 300, 200, 0, owner, nullptr);
    KillTimer(nullptr, timer);
    Job = nullptr;
    DestroyMenu(menu); // the submenu with it
    DestroyWindow(owner);
    if (!job.done) {
        Line("error\tthe twin menu did not show");
        return;
    }
    Line("layout\t" + Rect(job.window));
    for (RECT r : job.items) {
        OffsetRect(&r, -job.window.left, -job.window.top);
        Line("item\t" + Rect(r));
    }
}

// Every top-level window and the taskbar's children: for a person reading a
// failed run.
void Dump()
{
    for (HWND window : TopLevelWindows()) {
        Line("window\t" + Hex(window) + "\t" + std::to_string(ProcessOf(window)) + "\t" + ClassOf(window) +
             "\t" + (IsWindowVisible(window) ? "1" : "0") + "\t" + WindowRect(window) + "\t" +
             Escape(TitleOf(window)));
        if (ClassOf(window) == "Shell_TrayWnd")
            for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                Line("child\t" + Hex(child) + "\t" + ClassOf(child) + "\t" +
                     (IsWindowVisible(child) ? "1" : "0") + "\t" + WindowRect(child) + "\t" +
                     Escape(TitleOf(child)));
    }
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Line(PostMessageA(window, message, wParam, lParam) ? "posted" : "error\tnot posted");
}

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string::npos)
            end = line.size();
        if (end > start)
            words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

void Answer(const std::vector<std::string>& w)
{
    const std::string& c = w[0];
    if (c == "state")
        State(w.size() > 1 && w[1] == "texts");
    else if (c == "dump")
        Dump();
    else if (c == "summary")
        Summary();
    else if (c == "caption" && w.size() == 2)
        Caption(ParseWindow(w[1].c_str()));
    else if (c == "spot" && w.size() == 2)
        Spot(ParseWindow(w[1].c_str()));
    else if (c == "at" && w.size() == 3)
        At(std::atoi(w[1].c_str()), std::atoi(w[2].c_str()));
    else if (c == "children" && w.size() == 2)
        Children(ParseWindow(w[1].c_str()));
    else if (c == "control" && (w.size() == 3 || w.size() == 4))
        Control(ParseWindow(w[1].c_str()), static_cast<int>(std::strtol(w[2].c_str(), nullptr, 0)),
                w.size() == 4 ? w[3] : std::string());
    else if (c == "focus" && w.size() == 2)
        Focus(ParseWindow(w[1].c_str()));
    else if (c == "layout" && w.size() == 2)
        Layout(w[1].c_str());
    else if (c == "post" && w.size() == 5)
        Post(ParseWindow(w[1].c_str()), static_cast<UINT>(std::strtoul(w[2].c_str(), nullptr, 0)),
             static_cast<WPARAM>(std::strtoull(w[3].c_str(), nullptr, 0)),
             static_cast<LPARAM>(std::strtoll(w[4].c_str(), nullptr, 0)));
    else
        Line("error\tunknown request");
}

} // namespace

int main()
{
    _setmode(_fileno(stdout), _O_BINARY); // lines end in LF alone
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        std::vector<std::string> words = Split(line);
        if (words.empty())
            continue;
        if (words[0] == "quit")
            break;
        Answer(words);
        Line(".");
        std::fflush(stdout);
    }
    return 0;
}
