#include "voice/recorder.h"

#include <mmsystem.h>

#include <algorithm>
#include <new>
#include <string>

#include "base/captions.h"
#include "base/handles.h"
#include "base/screen_scale.h"
#include "res/resource.h"
#include "voice/wave_capture.h"
#include "voice/wave_file.h"

namespace {

constexpr UINT_PTR ElapsedTimer = 1;
constexpr UINT ElapsedMilliseconds = 200;
constexpr DWORD FlagsMask = 0xFFFF;
// The layout, in pixels of a 96-DPI screen.
constexpr int Margin = 8;
constexpr int ButtonWidth = 88;
constexpr int ButtonHeight = 26;
constexpr int ClientWidth = 4 * Margin + 2 * ButtonWidth + 80;
constexpr int ClientHeight = 2 * Margin + ButtonHeight;

struct CreateParams {
    HWND owner;
    DWORD flags;
};

// Per window, reached through GWLP_USERDATA; freed at WM_NCDESTROY.
struct Recorder {
    HWND window = nullptr;
    HWND owner = nullptr;
    DWORD flags = 0;
    HWND recordButton = nullptr;
    HWND stopButton = nullptr;
    HWND timeLabel = nullptr;
    OwnedFont font;                 // the controls' text, at the screen's DPI
    UINT mode = MCI_MODE_NOT_READY; // until a recording is opened
    std::string name;               // the device, then the saved file
    Capture capture;
    SoundBuffer sound;
    DWORD startTick = 0;
    DWORD lastDataTick = 0;
    bool deviceFailed = false;             // the recording stopped because the device did
    void (*gone)(HWND recorder) = nullptr; // told of the window's destruction
};

Recorder* FromWindow(HWND window)
{
    return reinterpret_cast<Recorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

const char* ModeText(UINT mode, bool deviceFailed = false)
{
    switch (mode) {
    case MCI_MODE_RECORD:
        return "Registrazione";
    case MCI_MODE_STOP:
        return deviceFailed ? "Interrotta: la periferica audio non risponde" : "Fermo";
    default:
        return "Non pronto";
    }
}

void ShowElapsed(Recorder* recorder)
{
    DWORD ms = recorder->mode == MCI_MODE_RECORD ? GetTickCount() - recorder->startTick
                                                 : recorder->sound.Milliseconds();
    // At most 16 characters: wsprintfA needs no size here, and it spares the
    // program the C runtime's formatting code.
    char text[32];
    wsprintfA(text, "%lu:%02lu.%lu", static_cast<unsigned long>(ms / 60000),
              static_cast<unsigned long>(ms / 1000 % 60), static_cast<unsigned long>(ms / 100 % 10));
    SetWindowTextA(recorder->timeLabel, text);
}

// The button that can be pressed next: Stop while recording, else Record.
HWND NextButton(const Recorder* recorder)
{
    return recorder->mode == MCI_MODE_RECORD ? recorder->stopButton : recorder->recordButton;
}

// Gives the keyboard to the next button, marked as the one Enter presses.
void FocusNextButton(const Recorder* recorder)
{
    HWND next = NextButton(recorder);
    if (!IsWindowEnabled(next))
        return;
    HWND other = next == recorder->stopButton ? recorder->recordButton : recorder->stopButton;
    SendMessageA(other, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageA(next, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SetFocus(next);
}

void ShowState(Recorder* recorder)
{
    std::string caption;
    if ((recorder->flags & RecorderFlagShowName) && !recorder->name.empty())
        caption = recorder->name;
    if (recorder->flags & RecorderFlagShowMode)
        caption +=
            (caption.empty() ? "" : " - ") + std::string(ModeText(recorder->mode, recorder->deviceFailed));
    SetWindowTextA(recorder->window, caption.c_str());
    const HWND focus = GetFocus();
    const bool hadKeyboard = focus && (focus == recorder->window || IsChild(recorder->window, focus));
    EnableWindow(recorder->recordButton, recorder->mode != MCI_MODE_NOT_READY);
    EnableWindow(recorder->stopButton, recorder->mode == MCI_MODE_RECORD);
    // A button that has just been disabled loses the keyboard (Stop, when the
    // device stops delivering), and the window itself can press nothing.
    // With the keyboard, the button to press next takes it: Stop once Record
    // is pressed, Record once Stop is, or once the device stops delivering.
    if (hadKeyboard)
        FocusNextButton(recorder);
    ShowElapsed(recorder);
}

// Tells the owner the new mode. The owner answers at once and acts later (a
// stop's question and save come once the click that stopped has returned),
// so the recorder is still there when this returns.
void NotifyMode(Recorder* recorder)
{
    if ((recorder->flags & RecorderFlagNotifyMode) && recorder->owner)
        SendMessageA(recorder->owner, RecorderNotifyModeMessage, reinterpret_cast<WPARAM>(recorder->window),
                     static_cast<LPARAM>(recorder->mode));
}

// The user hears of failures from the recorder itself, as from MCIWnd. Its
// owner may be deleted while the box is open, and the recorder with it:
// callers touch nothing of the recorder afterwards.
void ReportError(Recorder* recorder, const std::string& text)
{
    MessageBoxA(recorder->window, text.c_str(), WarningCaption, MB_OK | MB_ICONEXCLAMATION);
}

void Discard(Recorder* recorder)
{
    KillTimer(recorder->window, ElapsedTimer);
    recorder->capture.Close(nullptr);
    recorder->sound.Release();
}

// Ends the capture, keeping what was recorded, and tells the owner.
void StopRecording(Recorder* recorder)
{
    if (recorder->mode != MCI_MODE_RECORD)
        return;
    KillTimer(recorder->window, ElapsedTimer);
    recorder->capture.Close(&recorder->sound);
    recorder->mode = MCI_MODE_STOP;
    ShowState(recorder);
    NotifyMode(recorder);
}

LRESULT RestartRecording(Recorder* recorder)
{
    recorder->sound.clear();
    recorder->startTick = recorder->lastDataTick = GetTickCount();
    if (recorder->capture.Restart()) {
        ShowElapsed(recorder);
        return 0;
    }
    StopRecording(recorder);
    return MCIERR_DEVICE_NOT_READY;
}

LRESULT OnNew(Recorder* recorder, const char* device)
{
    if (!device || lstrcmpiA(device, "waveaudio") != 0)
        return MCIERR_INVALID_DEVICE_NAME;
    Discard(recorder);
    recorder->name = "waveaudio";
    recorder->mode = MCI_MODE_STOP;
    ShowState(recorder);
    return 0;
}

LRESULT OnCanRecord(const Recorder* recorder)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return FALSE;
    return recorder->capture.IsOpen() || CanCapture();
}

LRESULT OnGetMode(const Recorder* recorder, WPARAM capacity, LPARAM buffer)
{
    if (buffer && capacity > 0)
        lstrcpynA(reinterpret_cast<char*>(buffer), ModeText(recorder->mode), static_cast<int>(capacity));
    return recorder->mode;
}

// Starts the device that OnRecord opened, unless the owner stopped or closed
// the recording, or recorded anew, while it was being told.
LRESULT StartCapture(Recorder* recorder)
{
    if (recorder->mode != MCI_MODE_RECORD || !recorder->capture.IsOpen() || recorder->capture.IsStarted())
        return 0;
    recorder->startTick = recorder->lastDataTick = GetTickCount();
    if (recorder->capture.Start()) {
        ShowElapsed(recorder);
        return 0;
    }
    recorder->deviceFailed = true;
    StopRecording(recorder);
    return MCIERR_DEVICE_NOT_READY;
}

// The device is opened, the owner told, and only then the device started:
// the owner answers the record notification by going back to the start and
// recording, which finds nothing recorded yet and restarts nothing.
LRESULT OnRecord(Recorder* recorder)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return MCIERR_DEVICE_NOT_READY;
    // The mode does not change, so the owner is not told again: its answer to
    // the record notification is to record, which must not loop.
    if (recorder->mode == MCI_MODE_RECORD)
        return recorder->capture.IsStarted() ? RestartRecording(recorder) : 0;
    if (!recorder->capture.Open(recorder->window)) {
        ReportError(recorder, "Impossibile aprire la periferica audio per registrare.");
        return MCIERR_WAVE_INPUTSUNSUITABLE;
    }
    recorder->sound.Begin(recorder->capture.format());
    recorder->startTick = recorder->lastDataTick = GetTickCount();
    recorder->deviceFailed = false;
    recorder->mode = MCI_MODE_RECORD;
    SetTimer(recorder->window, ElapsedTimer, ElapsedMilliseconds, nullptr);
    ShowState(recorder);
    NotifyMode(recorder);
    return StartCapture(recorder);
}

LRESULT OnStop(Recorder* recorder)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return MCIERR_DEVICE_NOT_READY;
    StopRecording(recorder);
    return 0;
}

LRESULT OnSeek(Recorder* recorder, LPARAM position)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return MCIERR_DEVICE_NOT_READY;
    if (position != RecorderStartPosition && position != 0)
        return MCIERR_OUTOFRANGE;
    // Before the device has started there is nothing to drop.
    if (recorder->mode == MCI_MODE_RECORD && recorder->capture.IsStarted())
        return RestartRecording(recorder);
    recorder->sound.clear();
    ShowElapsed(recorder);
    return 0;
}

void OnWaveData(Recorder* recorder)
{
    if (recorder->mode != MCI_MODE_RECORD)
        return;
    recorder->lastDataTick = GetTickCount();
    if (!recorder->capture.Collect(recorder->sound))
        StopRecording(recorder);
}

// The counter's tick. A device that has stopped delivering has failed: the
// recording stops, says why, and keeps what it captured for the owner to save.
void OnElapsedTick(Recorder* recorder)
{
    if (recorder->mode == MCI_MODE_RECORD && recorder->capture.IsStarted() &&
        GetTickCount() - recorder->lastDataTick > CaptureSilenceLimit) {
        recorder->deviceFailed = true;
        StopRecording(recorder);
        return;
    }
    ShowElapsed(recorder);
}

LRESULT OnSave(Recorder* recorder, const char* path)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return MCIERR_DEVICE_NOT_READY;
    if (!path || !*path)
        return MCIERR_FILENAME_REQUIRED;
    std::string name;
    if (!SaveWaveFile(path, recorder->sound, name)) {
        ReportError(recorder, std::string("Impossibile salvare la registrazione nel file\n") + path);
        return MCIERR_FILE_NOT_SAVED;
    }
    recorder->name = name;
    ShowState(recorder);
    return 0;
}

void CloseDevice(Recorder* recorder)
{
    Discard(recorder);
    recorder->mode = MCI_MODE_NOT_READY;
    recorder->name.clear();
    ShowState(recorder);
}

// The button to press next takes the keyboard as the mode changes (ShowState).
void PressButton(Recorder* recorder, int id)
{
    if (id == RecorderRecordButtonId)
        OnRecord(recorder);
    else
        OnStop(recorder);
}

// R and F (with or without Alt, as the buttons' underlined letters suggest)
// press the buttons when the window itself has the keyboard; the program's
// message loop hands the rest of the keys to the dialog manager.
bool OnKey(Recorder* recorder, WPARAM key)
{
    if (key == 'r' || key == 'R')
        PressButton(recorder, RecorderRecordButtonId);
    else if (key == 'f' || key == 'F')
        PressButton(recorder, RecorderStopButtonId);
    else
        return false;
    return true;
}

// The font of message boxes, which the system gives at its DPI; the stock
// DEFAULT_GUI_FONT keeps its 96-DPI size on Windows.
HFONT CreateMessageFont()
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    return CreateFontIndirectA(&metrics.lfMessageFont);
}

HWND CreateChild(const Recorder* recorder, const char* className, const char* text, DWORD style, int id)
{
    HWND parent = recorder->window;
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    HGDIOBJ font = recorder->font ? recorder->font.get() : GetStockObject(DEFAULT_GUI_FONT);
    if (child)
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

bool OnCreate(Recorder* recorder)
{
    recorder->font.reset(CreateMessageFont());
    recorder->recordButton =
        CreateChild(recorder, "button", "&Registra", BS_PUSHBUTTON | WS_TABSTOP, RecorderRecordButtonId);
    recorder->stopButton =
        CreateChild(recorder, "button", "&Ferma", BS_PUSHBUTTON | WS_TABSTOP, RecorderStopButtonId);
    recorder->timeLabel = CreateChild(recorder, "static", "", SS_LEFT | SS_CENTERIMAGE, RecorderTimeLabelId);
    if (!recorder->recordButton || !recorder->stopButton || !recorder->timeLabel)
        return false;
    ShowState(recorder);
    return true;
}

void LayOut(const Recorder* recorder, int width, int height)
{
    const int margin = ToScreenPixels(Margin);
    const int buttonWidth = ToScreenPixels(ButtonWidth);
    const int buttonHeight = ToScreenPixels(ButtonHeight);
    int top = std::max(margin, (height - buttonHeight) / 2);
    int labelLeft = 3 * margin + 2 * buttonWidth;
    MoveWindow(recorder->recordButton, margin, top, buttonWidth, buttonHeight, TRUE);
    MoveWindow(recorder->stopButton, 2 * margin + buttonWidth, top, buttonWidth, buttonHeight, TRUE);
    MoveWindow(recorder->timeLabel, labelLeft, top, std::max(0, width - labelLeft - margin), buttonHeight,
               TRUE);
}

BOOL OnNcCreate(HWND window, const CREATESTRUCTA* create)
{
    auto* params = static_cast<const CreateParams*>(create->lpCreateParams);
    auto* recorder = new (std::nothrow) Recorder;
    if (!recorder)
        return FALSE;
    recorder->window = window;
    recorder->owner = params->owner;
    recorder->flags = params->flags;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(recorder));
    return TRUE;
}

void OnNcDestroy(HWND window, Recorder* recorder)
{
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    delete recorder;
}

LRESULT CALLBACK RecorderWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE && !OnNcCreate(window, reinterpret_cast<CREATESTRUCTA*>(lParam)))
        return FALSE;
    Recorder* recorder = FromWindow(window);
    if (!recorder)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return OnCreate(recorder) ? 0 : -1;
    case WM_SIZE:
        LayOut(recorder, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_COMMAND:
        if (wParam == RecorderRecordButtonId || wParam == RecorderStopButtonId) {
            PressButton(recorder, static_cast<int>(wParam));
            return 0;
        }
        if (wParam == IDCANCEL) {
            // Esc, through the dialog manager: while recording it is where
            // people reach to stop, so it stops as "&Ferma" does; stopped, it
            // closes as the close box does.
            if (recorder->mode == MCI_MODE_RECORD)
                PressButton(recorder, RecorderStopButtonId);
            else
                SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        // Activated: the keyboard goes on to the button that can be pressed.
        FocusNextButton(recorder);
        return 0;
    case WM_CHAR:
    case WM_SYSCHAR:
        if (OnKey(recorder, wParam))
            return 0;
        break;
    case WM_TIMER:
        if (wParam == ElapsedTimer)
            OnElapsedTick(recorder);
        return 0;
    case MM_WIM_DATA:
        OnWaveData(recorder);
        return 0;
    case RecorderNewMessage:
        return OnNew(recorder, reinterpret_cast<const char*>(lParam));
    case RecorderCanRecordMessage:
        return OnCanRecord(recorder);
    case RecorderCanSaveMessage:
        return recorder->mode != MCI_MODE_NOT_READY;
    case RecorderGetModeMessage:
        return OnGetMode(recorder, wParam, lParam);
    case MCI_SEEK:
        return OnSeek(recorder, lParam);
    case MCI_RECORD:
        return OnRecord(recorder);
    case MCI_STOP:
        return OnStop(recorder);
    case MCI_SAVE:
        return OnSave(recorder, reinterpret_cast<const char*>(lParam));
    case MCI_CLOSE:
        CloseDevice(recorder);
        return 0;
    case WM_CLOSE:
        // Closing discards the recording without a last notification: the
        // owner's stop handling would offer to save what is being thrown away.
        CloseDevice(recorder);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        // Also when the owner goes: owned windows are destroyed with it.
        Discard(recorder);
        if (recorder->gone)
            recorder->gone(window);
        break;
    case WM_NCDESTROY:
        OnNcDestroy(window, recorder);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterRecorderClass(HINSTANCE instance)
{
    WNDCLASSA existing;
    if (GetClassInfoA(instance, RecorderClassName, &existing))
        return true;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecorderWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPUNTELLO));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = RecorderClassName;
    return RegisterClassA(&windowClass) != 0;
}

} // namespace

HWND CreateRecorderWindow(HWND owner, HINSTANCE instance, DWORD style)
{
    if (!RegisterRecorderClass(instance))
        return nullptr;
    CreateParams params{owner, style & FlagsMask};
    const DWORD windowStyle = style & ~FlagsMask;
    RECT frame{0, 0, ToScreenPixels(ClientWidth), ToScreenPixels(ClientHeight)};
    AdjustWindowRectEx(&frame, windowStyle, FALSE, 0);
    return CreateWindowExA(0, RecorderClassName, "", windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, owner, nullptr, instance,
                           &params);
}

void OnRecorderGone(HWND window, void (*callback)(HWND recorder))
{
    if (Recorder* recorder = window ? FromWindow(window) : nullptr)
        recorder->gone = callback;
}
