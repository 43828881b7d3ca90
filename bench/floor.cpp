// The floor under the program's start and exit figures: what Wine itself takes
// to show the same note windows with the same texts. A tray icon, a hidden
// controller window, and per note a captioned tool window at the program's
// cascade place with an edit field holding the text, painted at once; command
// 40003 (the program's "E&sci") destroys them, newest first as the program
// does, and ends the process. No store,
// no menus, no registry of notes, no single-instance check.
//
// The notes come from the file named on the command line: per note a line with
// the title and a line with the text, its line breaks written as "#@".
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

constexpr UINT ExitCommand = 40003;
constexpr UINT TrayId = 17;
constexpr UINT TrayMessage = WM_USER + 1000;
constexpr DWORD NoteStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_MINIMIZEBOX;
constexpr DWORD EditStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL;
constexpr int NoteWidth = 160, NoteHeight = 120, CascadeStep = 20;

struct StoredNote {
    std::string title, text;
};

std::vector<StoredNote> Notes;
std::vector<HWND> NoteWindows;
HBRUSH Yellow;

std::vector<StoredNote> ReadNotes(const char* path)
{
    std::vector<StoredNote> notes;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return notes;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);

    std::vector<std::string> lines;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        std::string text = lines[i + 1];
        for (std::size_t at = text.find("#@"); at != std::string::npos; at = text.find("#@", at + 2))
            text.replace(at, 2, "\r\n");
        notes.push_back({lines[i], text});
    }
    return notes;
}

BOOL Tray(DWORD action, HWND window)
{
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = TrayId;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = TrayMessage;
    record.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    lstrcpynA(record.szTip, "Floor", sizeof record.szTip);
    return Shell_NotifyIconA(action, &record);
}

LRESULT CALLBACK NoteProc(HWND note, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        RECT client;
        GetClientRect(note, &client);
        HWND edit = CreateWindowExA(0, "edit", nullptr, EditStyle, 0, 0, client.right, client.bottom, note,
                                    reinterpret_cast<HMENU>(1), GetModuleHandleA(nullptr), nullptr);
        SendMessageA(edit, EM_LIMITTEXT, 1024, 0);
    } else if (message == WM_CTLCOLOREDIT) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 0));
        return reinterpret_cast<LRESULT>(Yellow);
    }
    return DefWindowProcA(note, message, wParam, lParam);
}

LRESULT CALLBACK ControllerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        Tray(NIM_ADD, window);
        const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        unsigned count = 0;
        for (const StoredNote& stored : Notes) {
            const unsigned offset = count++ * CascadeStep;
            HWND note = CreateWindowExA(WS_EX_TOOLWINDOW, "BenchNote", stored.title.c_str(), NoteStyle,
                                        static_cast<int>(offset % static_cast<unsigned>(width)),
                                        static_cast<int>(offset % static_cast<unsigned>(height)), NoteWidth,
                                        NoteHeight, window, nullptr, GetModuleHandleA(nullptr), nullptr);
            SetDlgItemTextA(note, 1, stored.text.c_str());
            UpdateWindow(note);
            NoteWindows.push_back(note);
        }
        break;
    }
    case WM_COMMAND:
        if (wParam == ExitCommand)
            PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case WM_CLOSE:
        // Newest first, as the program destroys its notes.
        for (auto note = NoteWindows.rbegin(); note != NoteWindows.rend(); ++note)
            DestroyWindow(*note);
        Tray(NIM_DELETE, window);
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    Notes = ReadNotes(commandLine);
    Yellow = CreateSolidBrush(RGB(255, 255, 0));

    WNDCLASSA wc{};
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.lpfnWndProc = ControllerProc;
    wc.lpszClassName = "BenchController";
    RegisterClassA(&wc);
    wc.style = CS_NOCLOSE;
    wc.lpfnWndProc = NoteProc;
    wc.lpszClassName = "BenchNote";
    RegisterClassA(&wc);

    CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "BenchController", "Floor", WS_POPUP | WS_VISIBLE, 0, 0,
                    0, 0, nullptr, nullptr, instance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DeleteObject(Yellow);
    return 0;
}
