#include "voice/recorder.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/handles.h"
#include "base/screen_scale.h"
#include "base/system_library.h"
#include "res/resource.h"

const char RecorderClassName[] = "Class_Recorder";

namespace {

constexpr UINT_PTR ElapsedTimer = 1;
constexpr UINT ElapsedMilliseconds = 200;
// Enough queued buffers to ride out a second in which the thread is busy.
constexpr int BufferCount = 4;
constexpr DWORD BufferMilliseconds = 250;
// A device that has filled no buffer for this long has failed (a sound server
// that went away): the recording ends there, with what it captured.
constexpr DWORD DeviceSilenceLimit = BufferCount * BufferMilliseconds + 1000;
// The recording is held in memory: it stops at 64 MiB (25 minutes at 22 kHz)
// rather than exhaust a 32-bit address space.
constexpr size_t MaxSoundBytes = size_t{64} << 20;
constexpr DWORD FlagsMask = 0xFFFF;
// The layout, in pixels of a 96-DPI screen.
constexpr int Margin = 8;
constexpr int ButtonWidth = 88;
constexpr int ButtonHeight = 26;
constexpr int ClientWidth = 4 * Margin + 2 * ButtonWidth + 80;
constexpr int ClientHeight = 2 * Margin + ButtonHeight;

int LiveRecorderCount;
int OpenCaptureCount;
void (*GoneCallback)(HWND recorder);

// PCM mono, tried in this order; the first one the device accepts is used.
struct PcmChoice {
    DWORD rate;
    WORD bits;
};
constexpr PcmChoice PcmChoices[] = {{22050, 16}, {44100, 16}, {11025, 16},
                                    {8000, 16},  {22050, 8},  {11025, 8}};

WAVEFORMATEX PcmFormat(const PcmChoice& choice)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = choice.rate;
    format.wBitsPerSample = choice.bits;
    format.nBlockAlign = static_cast<WORD>(choice.bits / 8);
    format.nAvgBytesPerSec = choice.rate * format.nBlockAlign;
    return format;
}

// The recording, held in memory and grown as it comes; a growth that fails
// ends the recording, never the program. At most MaxSoundBytes.
class SoundBuffer {
  public:
    SoundBuffer() = default;
    ~SoundBuffer() { std::free(data_); }
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    const char* data() const { return data_; }
    size_t size() const { return size_; }
    void clear() { size_ = 0; }
    void Release()
    {
        std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
    }
    // Appends what fits below MaxSoundBytes; false when no memory could be had.
    bool Append(const char* bytes, size_t count)
    {
        count = std::min(count, MaxSoundBytes - size_);
        if (size_ + count > capacity_) {
            const size_t capacity = std::min(MaxSoundBytes, std::max(size_ + count, capacity_ * 2));
            void* grown = std::realloc(data_, capacity);
            if (!grown)
                return false;
            data_ = static_cast<char*>(grown);
            capacity_ = capacity;
        }
        if (count > 0)
            std::memcpy(data_ + size_, bytes, count);
        size_ += count;
        return true;
    }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// The wave-in device while it records: its handle and its buffers, queued and
// recycled. The device posts MM_WIM_DATA to the window for each filled buffer.
class Capture {
  public:
    Capture() = default;
    ~Capture() { Close(nullptr); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool IsOpen() const { return device_ != nullptr; }
    const WAVEFORMATEX& format() const { return format_; }

    bool Open(HWND window)
    {
        if (!Winmm())
            return false;
        for (const PcmChoice& choice : PcmChoices) {
            WAVEFORMATEX format = PcmFormat(choice);
            if (Wave().waveInOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window), 0,
                                  CALLBACK_WINDOW) == MMSYSERR_NOERROR) {
                format_ = format;
                break;
            }
            device_ = nullptr;
        }
        if (!device_)
            return false;
        ++OpenCaptureCount;
        DWORD size =
            format_.nAvgBytesPerSec * BufferMilliseconds / 1000 / format_.nBlockAlign * format_.nBlockAlign;
        for (int i = 0; i < BufferCount; ++i) {
            memory_[i].assign(size, 0);
            headers_[i] = WAVEHDR{};
            headers_[i].lpData = memory_[i].data();
            headers_[i].dwBufferLength = size;
            if (Wave().waveInPrepareHeader(device_, &headers_[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
                !Queue(headers_[i])) {
                Close(nullptr);
                return false;
            }
        }
        next_ = 0;
        if (Wave().waveInStart(device_) != MMSYSERR_NOERROR) {
            Close(nullptr);
            return false;
        }
        return true;
    }

    // Moves what the device has recorded into sound, in the order it was
    // recorded, and gives the buffers back to the device. Returns false when
    // the recording is full or the device fails: the capture must then end.
    bool Collect(SoundBuffer& sound) { return IsOpen() && Harvest(&sound, true); }

    // Drops everything recorded and recording goes on from empty.
    bool Restart()
    {
        Wave().waveInReset(device_);
        Harvest(nullptr, false);
        for (WAVEHDR& header : headers_)
            if (!Queue(header))
                return false;
        next_ = 0;
        return Wave().waveInStart(device_) == MMSYSERR_NOERROR;
    }

    // Stops the device, appending what it recorded to sound when given, and
    // releases it. The MM_WIM_DATA messages still on their way find nothing.
    void Close(SoundBuffer* sound)
    {
        if (!device_)
            return;
        Wave().waveInReset(device_); // returns every queued buffer, marked done, before it returns
        Harvest(sound, false);
        for (WAVEHDR& header : headers_)
            Wave().waveInUnprepareHeader(device_, &header, sizeof header);
        if (Wave().waveInClose(device_) == MMSYSERR_NOERROR)
            --OpenCaptureCount;
        device_ = nullptr;
    }

  private:
    // Only once Open has found them: a device is open.
    static const WinmmFunctions& Wave() { return *Winmm(); }

    bool Queue(WAVEHDR& header)
    {
        header.dwBytesRecorded = 0;
        return Wave().waveInAddBuffer(device_, &header, sizeof header) == MMSYSERR_NOERROR;
    }

    // The device fills the buffers in queue order, so they are taken in a ring
    // from next_; a done buffer is taken once, whichever message brings it.
    bool Harvest(SoundBuffer* sound, bool requeue)
    {
        bool goesOn = true;
        for (int i = 0; i < BufferCount; ++i) {
            WAVEHDR& header = headers_[next_];
            if (!(header.dwFlags & WHDR_DONE))
                break;
            header.dwFlags &= ~WHDR_DONE;
            if (sound)
                goesOn = Append(*sound, header) && goesOn;
            if (requeue)
                goesOn = Queue(header) && goesOn;
            next_ = (next_ + 1) % BufferCount;
        }
        return goesOn;
    }

    static bool Append(SoundBuffer& sound, const WAVEHDR& header)
    {
        return sound.Append(header.lpData, header.dwBytesRecorded) && sound.size() < MaxSoundBytes;
    }

    HWAVEIN device_ = nullptr;
    WAVEFORMATEX format_ = PcmFormat(PcmChoices[0]);
    std::vector<char> memory_[BufferCount];
    WAVEHDR headers_[BufferCount] = {};
    int next_ = 0;
};

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
    WAVEFORMATEX format = PcmFormat(PcmChoices[0]); // of sound
    DWORD startTick = 0;
    DWORD lastDataTick = 0;
    bool deviceFailed = false; // the recording stopped because the device did
};

Recorder* FromWindow(HWND window)
{
    return reinterpret_cast<Recorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Compares addresses only: after the window's destruction the object is gone.
bool StillAlive(HWND window, const Recorder* recorder)
{
    return IsWindow(window) && FromWindow(window) == recorder;
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

DWORD SoundMilliseconds(const Recorder* recorder)
{
    return static_cast<DWORD>(recorder->sound.size() * 1000ull / recorder->format.nAvgBytesPerSec);
}

void ShowElapsed(Recorder* recorder)
{
    DWORD ms = recorder->mode == MCI_MODE_RECORD ? GetTickCount() - recorder->startTick
                                                 : SoundMilliseconds(recorder);
    // At most 16 characters: wsprintfA needs no size here, and it spares the
    // program the C runtime's formatting code.
    char text[32];
    wsprintfA(text, "%lu:%02lu.%lu", static_cast<unsigned long>(ms / 60000),
              static_cast<unsigned long>(ms / 1000 % 60), static_cast<unsigned long>(ms / 100 % 10));
    SetWindowTextA(recorder->timeLabel, text);
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
    EnableWindow(recorder->recordButton, recorder->mode != MCI_MODE_NOT_READY);
    EnableWindow(recorder->stopButton, recorder->mode == MCI_MODE_RECORD);
    ShowElapsed(recorder);
}

// Tells the owner the new mode. The owner may do anything meanwhile, close the
// recorder too, so callers touch nothing of the recorder afterwards.
void NotifyMode(Recorder* recorder)
{
    if ((recorder->flags & RecorderFlagNotifyMode) && recorder->owner)
        SendMessageA(recorder->owner, RecorderNotifyModeMessage, reinterpret_cast<WPARAM>(recorder->window),
                     static_cast<LPARAM>(recorder->mode));
}

// Without MCIWNDF_NOERRORDLG the user hears of failures from the recorder
// itself, as from MCIWnd. The recorder may be gone when this returns.
void ReportError(Recorder* recorder, const std::string& text)
{
    if (!(recorder->flags & RecorderFlagNoErrorDialog))
        MessageBoxA(recorder->window, text.c_str(), "Attenzione", MB_OK | MB_ICONEXCLAMATION);
}

void Discard(Recorder* recorder)
{
    KillTimer(recorder->window, ElapsedTimer);
    recorder->capture.Close(nullptr);
    recorder->sound.Release();
}

// Ends the capture, keeping what was recorded, and tells the owner: the
// recorder may be gone when this returns.
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
    if (recorder->capture.IsOpen())
        return TRUE;
    const WinmmFunctions* winmm = Winmm();
    if (!winmm)
        return FALSE;
    for (const PcmChoice& choice : PcmChoices) {
        WAVEFORMATEX format = PcmFormat(choice);
        HWAVEIN probe = nullptr;
        if (winmm->waveInOpen(&probe, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
            winmm->waveInClose(probe);
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT OnGetMode(const Recorder* recorder, WPARAM capacity, LPARAM buffer)
{
    if (buffer && capacity > 0)
        lstrcpynA(reinterpret_cast<char*>(buffer), ModeText(recorder->mode), static_cast<int>(capacity));
    return recorder->mode;
}

LRESULT OnRecord(Recorder* recorder)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return MCIERR_DEVICE_NOT_READY;
    // The mode does not change, so the owner is not told again: its answer to
    // the record notification is to record, which must not loop.
    if (recorder->mode == MCI_MODE_RECORD)
        return RestartRecording(recorder);
    if (!recorder->capture.Open(recorder->window)) {
        ReportError(recorder, "Impossibile aprire la periferica audio per registrare.");
        return MCIERR_WAVE_INPUTSUNSUITABLE;
    }
    recorder->format = recorder->capture.format();
    recorder->sound.clear();
    recorder->startTick = recorder->lastDataTick = GetTickCount();
    recorder->deviceFailed = false;
    recorder->mode = MCI_MODE_RECORD;
    SetTimer(recorder->window, ElapsedTimer, ElapsedMilliseconds, nullptr);
    ShowState(recorder);
    NotifyMode(recorder);
    return 0;
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
    if (recorder->mode == MCI_MODE_RECORD)
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
    if (recorder->mode == MCI_MODE_RECORD && GetTickCount() - recorder->lastDataTick > DeviceSilenceLimit) {
        recorder->deviceFailed = true;
        StopRecording(recorder);
        return;
    }
    ShowElapsed(recorder);
}

void PutLittleEndian(std::string& bytes, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i) & 0xFF);
}

// The canonical header of a PCM WAVE file: the RIFF chunk, its 16-byte format
// chunk and the head of its data chunk, 44 bytes. Chunks have even sizes: an
// odd data chunk is followed by a pad byte, which the RIFF chunk counts.
std::string WaveHeader(const WAVEFORMATEX& format, DWORD dataBytes)
{
    std::string header = "RIFF";
    PutLittleEndian(header, 36 + dataBytes + dataBytes % 2, 4);
    header += "WAVEfmt ";
    PutLittleEndian(header, 16, 4);
    PutLittleEndian(header, format.wFormatTag, 2);
    PutLittleEndian(header, format.nChannels, 2);
    PutLittleEndian(header, format.nSamplesPerSec, 4);
    PutLittleEndian(header, format.nAvgBytesPerSec, 4);
    PutLittleEndian(header, format.nBlockAlign, 2);
    PutLittleEndian(header, format.wBitsPerSample, 2);
    header += "data";
    PutLittleEndian(header, dataBytes, 4);
    return header;
}

bool WriteAll(HANDLE file, const char* data, size_t size)
{
    DWORD written = 0;
    return size == 0 ||
           (::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

bool WriteWave(const char* path, const WAVEFORMATEX& format, const SoundBuffer& sound)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD bytes = static_cast<DWORD>(sound.size()); // at most MaxSoundBytes
    const std::string header = WaveHeader(format, bytes);
    const char pad = 0;
    bool written = WriteAll(file, header.data(), header.size()) && WriteAll(file, sound.data(), bytes) &&
                   WriteAll(file, &pad, bytes % 2);
    written = FlushFileBuffers(file) && written; // on disk before it takes the user's name
    return CloseHandle(file) && written;
}

// Written under a temporary name beside the target and then moved into place,
// so that a failed save never leaves a broken file under the user's name.
bool SaveWave(const char* path, const WAVEFORMATEX& format, const SoundBuffer& sound, std::string& name)
{
    char full[MAX_PATH];
    char* namePart = nullptr;
    DWORD length = GetFullPathNameA(path, sizeof full, full, &namePart);
    if (length == 0 || length >= sizeof full || !namePart || !*namePart)
        return false;
    // GetTempFileNameA takes at most MAX_PATH - 14 characters of folder.
    std::string folder(full, namePart);
    char temp[MAX_PATH];
    if (folder.size() > MAX_PATH - 14 || !GetTempFileNameA(folder.c_str(), "rec", 0, temp))
        return false;
    if (WriteWave(temp, format, sound) &&
        MoveFileExA(temp, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        name = namePart;
        return true;
    }
    DeleteFileA(temp);
    return false;
}

LRESULT OnSave(Recorder* recorder, const char* path)
{
    if (recorder->mode == MCI_MODE_NOT_READY)
        return MCIERR_DEVICE_NOT_READY;
    if (!path || !*path)
        return MCIERR_FILENAME_REQUIRED;
    std::string name;
    if (!SaveWave(path, recorder->format, recorder->sound, name)) {
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

void PressButton(Recorder* recorder, int id)
{
    HWND window = recorder->window;
    if (id == RecorderRecordButtonId)
        OnRecord(recorder);
    else
        OnStop(recorder);
    // A click leaves the focus on the button; the window itself reads the keys.
    if (StillAlive(window, recorder) && GetFocus() != window)
        SetFocus(window);
}

// The program's message loop runs no IsDialogMessage: R and F (with or without
// Alt, as the buttons' underlined letters suggest) press the buttons.
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
        CreateChild(recorder, "button", "&Registra", BS_PUSHBUTTON, RecorderRecordButtonId);
    recorder->stopButton = CreateChild(recorder, "button", "&Ferma", BS_PUSHBUTTON, RecorderStopButtonId);
    recorder->timeLabel = CreateChild(recorder, "static", "", SS_LEFT | SS_CENTERIMAGE, RecorderTimeId);
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
    recorder->owner = params ? params->owner : create->hwndParent;
    recorder->flags = params ? params->flags : 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(recorder));
    ++LiveRecorderCount;
    return TRUE;
}

void OnNcDestroy(HWND window, Recorder* recorder)
{
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    delete recorder;
    --LiveRecorderCount;
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
        break;
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
        if (GoneCallback)
            GoneCallback(window);
        break;
    case WM_NCDESTROY:
        OnNcDestroy(window, recorder);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

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

void UnregisterRecorderClass(HINSTANCE instance)
{
    UnregisterClassA(RecorderClassName, instance);
}

HWND CreateRecorderWindow(HWND owner, HINSTANCE instance, DWORD style, const char* file)
{
    if (!RegisterRecorderClass(instance))
        return nullptr;
    CreateParams params{owner, style & FlagsMask};
    DWORD windowStyle = style & ~FlagsMask;
    RECT frame{0, 0, ToScreenPixels(ClientWidth), ToScreenPixels(ClientHeight)};
    AdjustWindowRectEx(&frame, windowStyle, FALSE, 0);
    int position = (windowStyle & WS_CHILD) ? 0 : CW_USEDEFAULT;
    HWND window =
        CreateWindowExA(0, RecorderClassName, "", windowStyle, position, position, frame.right - frame.left,
                        frame.bottom - frame.top, owner, nullptr, instance, &params);
    if (window && file && *file)
        SendMessageA(window, RecorderNewMessage, 0, reinterpret_cast<LPARAM>(file));
    return window;
}

void OnRecorderGone(void (*callback)(HWND recorder))
{
    GoneCallback = callback;
}

int LiveRecorders()
{
    return LiveRecorderCount;
}

int OpenCaptures()
{
    return OpenCaptureCount;
}
