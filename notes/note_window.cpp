#include "notes/note_window.h"

#include <windowsx.h>

#include "base/screen_scale.h"
#include "base/shared_state.h"
#include "notes/cascade.h"
#include "notes/note_registry.h"
#include "res/resource.h"
#include "voice/recorder.h"
#include "voice/voice.h"

namespace {

constexpr DWORD NoteStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_MINIMIZEBOX; // 0x90C20000
constexpr DWORD NoteEditStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL;

LRESULT OnCreate(HWND note)
{
    char* voicePath = AllocateVoicePath(VoicePathCapacity);
    if (!voicePath)
        return -1;
    SetWindowLongPtrA(note, 0, reinterpret_cast<LONG_PTR>(voicePath));
    RECT client;
    GetClientRect(note, &client);
    HWND edit =
        CreateWindowExA(0, "edit", nullptr, NoteEditStyle, 0, 0, client.right, client.bottom, note,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(NoteEditId)), AppInstance, nullptr);
    NoteNode* node = edit ? AddNote(note) : nullptr;
    if (!node)
        return -1; // WM_DESTROY follows and frees the voice path
    node->edit = edit;
    SendMessageA(edit, EM_LIMITTEXT, NoteTextLimit, 0);
    ++NoteCount;
    NoteChanged();
    return 0;
}

void OnDestroy(HWND note)
{
    FreeGlobalBlock(NoteVoicePath(note));
    SetWindowLongPtrA(note, 0, 0);
    RemoveNote(note);
    NoteChanged();
}

// From the keyboard both coordinates are -1 (the whole lParam is not -1 in a
// 64-bit build: only its low 32 bits are set): the menu opens at the note's corner.
void OpenNoteMenu(HWND note, POINT at)
{
    if (at.x == -1 && at.y == -1) {
        at = POINT{0, 0};
        ClientToScreen(note, &at);
    }
    NoteNode* node = FindNote(note);
    if (node)
        node->menuOpen = true;
    UINT command = static_cast<UINT>(TrackPopupMenu(
        GetSubMenu(NoteMenu.get(), 0), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, note, nullptr));
    // The node is the note's: while the menu was open the note may have gone.
    if ((node = FindNote(note)) != nullptr)
        node->menuOpen = false;
    if (command)
        SendMessageA(note, WM_COMMAND, command, 0);
}

// The note that had the keyboard before this one, remembered as this one
// takes it, so that it can have it back.
void OnActivate(HWND note, WPARAM state, HWND previous)
{
    NoteNode* node = FindNote(note);
    if (node && LOWORD(state) != WA_INACTIVE && previous != note && FindNote(previous))
        node->keyboardBefore = previous;
}

// The note goes from the screen, hidden or destroyed. Windows would hand its
// activation to its owner, the controller, a window of no size: while it has
// the keyboard, the keyboard goes to the note that had it before, else to the
// newest note shown, else to the notification area.
void LeaveScreen(HWND note, bool destroy)
{
    const bool hadKeyboard = GetActiveWindow() == note;
    HWND next = hadKeyboard ? NoteToTakeKeyboardFrom(note) : nullptr;
    if (next)
        SetForegroundWindow(next); // its WM_SETFOCUS hands the keyboard to its text
    if (destroy)
        DestroyWindow(note);
    else
        ShowWindow(note, SW_HIDE);
    if (hadKeyboard && !next && ControllerWindow)
        SendMessageA(ControllerWindow, KeyboardToTrayMessage, 0, 0);
}

void OnChangeTitle(HWND note)
{
    char title[TitleCapacity];
    GetWindowTextA(note, title, sizeof title);
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_TITLE), note, TitleDlgProc,
                    reinterpret_cast<LPARAM>(title));
}

void OnCommand(HWND note, WPARAM command)
{
    switch (command) {
    case IDM_DELETE_NOTE:
        NoteDeleting(note); // with its voice path as it is before the question
        AskDeleteVoiceFile(note);
        LeaveScreen(note, true);
        break;
    case IDM_HIDE_NOTE:
        LeaveScreen(note, false);
        break;
    case IDM_CHANGE_TITLE:
        OnChangeTitle(note);
        break;
    case IDM_PLAY_VOICE:
        PlayVoiceMessage(note, NoteVoicePath(note));
        break;
    case IDM_RECORD_VOICE:
        StartRecording(note);
        break;
    case IDM_DISCARD_VOICE:
        AskDeleteVoiceFile(note);
        break;
    }
}

// x to the power 2.4, for x in [0, 1]: x squared times the fifth root of x
// squared, found by Newton's method from above. The C runtime's pow would
// add 3.5 KB to the program.
double PowerTwoPointFour(double x)
{
    const double square = x * x;
    double root = 1;
    for (int step = 0; step < 24; ++step) {
        const double fourth = root * root * root * root;
        root -= (fourth * root - square) / (5 * fourth);
    }
    return square * root;
}

// WCAG's relative luminance: each sRGB channel made linear, weighted by how
// bright the eye finds it.
double RelativeLuminance(COLORREF color)
{
    auto linear = [](BYTE channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : PowerTwoPointFour((c + 0.055) / 1.055);
    };
    return 0.2126 * linear(GetRValue(color)) + 0.7152 * linear(GetGValue(color)) +
           0.0722 * linear(GetBValue(color));
}

// Black or white, whichever contrasts more with the background: the contrast
// ratios are (L + 0.05) / 0.05 for black and 1.05 / (L + 0.05) for white.
COLORREF ReadableTextColor(COLORREF background)
{
    const double shade = RelativeLuminance(background) + 0.05;
    return shade * shade >= 0.05 * 1.05 ? RGB(0, 0, 0) : RGB(255, 255, 255);
}

// The text is drawn against the colour the brush really paints: after
// "A&ggiorna" that is the previewed colour, which NoteColor is not yet. In
// high contrast the user's own window colours win over the note colour.
LRESULT OnCtlColorEdit(HDC dc)
{
    if (HighContrastOn()) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)); // the system's: never deleted
    }
    LOGBRUSH brush{};
    GetObjectA(NoteBrush.get(), sizeof brush, &brush);
    SetBkColor(dc, brush.lbColor);
    SetTextColor(dc, ReadableTextColor(brush.lbColor));
    return reinterpret_cast<LRESULT>(NoteBrush.get());
}

} // namespace

bool SystemHighContrastOn()
{
    HIGHCONTRASTA contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

bool (*HighContrastOn)() = SystemHighContrastOn;

HWND NoteEditOf(HWND note)
{
    return GetDlgItem(note, NoteEditId);
}

HWND CreateNoteWindow(const char* title, NoteActivation activation)
{
    // Read before the window exists: the count grows during creation. The
    // size and the step are kept in 96-DPI pixels and drawn at the screen's.
    CascadePoint at = CascadePosition(NoteCount, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                      static_cast<unsigned>(ToScreenPixels(static_cast<int>(CascadeStep))));
    const bool quiet = activation == NoteActivation::Quiet;
    HWND note =
        CreateWindowExA(WS_EX_TOOLWINDOW, NoteClassName, title, quiet ? NoteStyle & ~WS_VISIBLE : NoteStyle,
                        at.x, at.y, ToScreenPixels(NoteWidth), ToScreenPixels(NoteHeight), ControllerWindow,
                        nullptr, AppInstance, nullptr);
    if (note && quiet)
        ShowWindow(note, SW_SHOWNOACTIVATE);
    return note;
}

bool NoteIsBusy(HWND note)
{
    // A modal dialog or message box owned by the note disables it.
    const NoteNode* node = FindNote(note);
    return (node && node->menuOpen) || !IsWindowEnabled(note) ||
           (RecorderWindow && IsWindow(RecorderWindow) && GetWindow(RecorderWindow, GW_OWNER) == note);
}

LRESULT CALLBACK NoteWndProc(HWND note, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        if (OnCreate(note) != 0)
            return -1;
        break;
    case WM_CLOSE:
        // Closing tools (taskkill, installers, "close all") post it to every
        // window of the program, notes first: a note goes only through its
        // menu, "Elimina Tutti" or the controller's close, which saves it.
        return 0;
    case WM_DESTROY:
        OnDestroy(note);
        break;
    case WM_ACTIVATE:
        OnActivate(note, wParam, reinterpret_cast<HWND>(lParam));
        break;
    case WM_SETFOCUS:
        // Activated by its creation, the note list, "&Mostra Tutti" or the end
        // of the title dialog: what the user types goes into the text.
        if (HWND edit = NoteEditOf(note))
            SetFocus(edit);
        break;
    case WM_SIZE:
        if (wParam == SIZE_RESTORED)
            MoveWindow(NoteEditOf(note), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        break;
    case WM_CONTEXTMENU:
        OpenNoteMenu(note, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        break;
    case WM_SYSCOMMAND:
        // Alt+Space opens a window's menu everywhere in Windows; a note has no
        // system menu, so its own stands in. (Shift+F10 is the text's menu.)
        if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == ' ') {
            OpenNoteMenu(note, POINT{-1, -1});
            return 0;
        }
        break;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETHIGHCONTRAST) // turned on or off: other colours
            InvalidateRect(NoteEditOf(note), nullptr, TRUE);
        break;
    case WM_SYSCOLORCHANGE: // the colours high contrast paints with
        InvalidateRect(NoteEditOf(note), nullptr, TRUE);
        break;
    case WM_NCLBUTTONDBLCLK:
        if (wParam == HTCAPTION)
            SendMessageA(note, WM_COMMAND, IDM_CHANGE_TITLE, 0);
        break;
    case WM_COMMAND:
        if (wParam == MAKEWPARAM(NoteEditId, EN_CHANGE))
            NoteChanged(); // typed, pasted or cut
        else
            OnCommand(note, wParam);
        break;
    case WM_INITMENUPOPUP:
        UpdateVoiceMenu(note, reinterpret_cast<HMENU>(wParam));
        break;
    case WM_CTLCOLOREDIT:
        return OnCtlColorEdit(reinterpret_cast<HDC>(wParam));
    case RecorderNotifyModeMessage:
        HandleRecorderMode(note, reinterpret_cast<HWND>(wParam), lParam);
        break;
    case RecordingStoppedMessage:
        HandleRecordingStopped(note, reinterpret_cast<HWND>(wParam));
        return 0;
    }
    return DefWindowProcA(note, message, wParam, lParam);
}

INT_PTR CALLBACK TitleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        HWND edit = GetDlgItem(dialog, IDC_TITLE_EDIT);
        // What can be typed is what the caption keeps.
        SendMessageA(edit, EM_LIMITTEXT, TitleCapacity - 1, 0);
        SetWindowTextA(edit, reinterpret_cast<const char*>(lParam));
        SendMessageA(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
        return FALSE;
    }
    case WM_COMMAND:
        if (wParam == IDOK) {
            char title[TitleCapacity];
            GetDlgItemTextA(dialog, IDC_TITLE_EDIT, title, sizeof title);
            SetWindowTextA(GetWindow(dialog, GW_OWNER), title);
            NoteChanged();
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
