// The recorder window, driven as the note drives it: real windows, real
// messages, real recording through the wave-in device, real files.
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "voice/recorder.h"

namespace {

constexpr DWORD NoteRecorderStyle = 0x10CF2158; // as the note creates its recorder
const char OwnerClass[] = "RecorderTestOwner";

std::vector<LPARAM> Modes;                                // notified to the owner, in order
std::vector<HWND> Notifiers;                              // the wParam of each
std::function<void(HWND recorder, LPARAM mode)> OnNotify; // the owner's reaction

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RecorderNotifyModeMessage) {
        Modes.push_back(lParam);
        Notifiers.push_back(reinterpret_cast<HWND>(wParam));
        if (OnNotify)
            OnNotify(reinterpret_cast<HWND>(wParam), lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateOwner(HINSTANCE instance)
{
    WNDCLASSA ownerClass{};
    ownerClass.lpfnWndProc = OwnerProc;
    ownerClass.hInstance = instance;
    ownerClass.lpszClassName = OwnerClass;
    RegisterClassA(&ownerClass);
    Modes.clear();
    Notifiers.clear();
    OnNotify = nullptr;
    return CreateWindowExA(0, OwnerClass, "Nota", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150, nullptr,
                           nullptr, instance, nullptr);
}

LRESULT Send(HWND recorder, UINT message, LPARAM lParam = 0)
{
    return SendMessageA(recorder, message, 0, lParam);
}

LRESULT Save(HWND recorder, const std::string& path)
{
    return Send(recorder, MCI_SAVE, reinterpret_cast<LPARAM>(path.c_str()));
}

void Press(HWND recorder, int button)
{
    SendMessageA(GetDlgItem(recorder, button), BM_CLICK, 0, 0);
}

std::vector<std::string> FilesIn(const testfiles::ScratchFolder& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder / "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::uint32_t Little(const std::string& bytes, size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

struct WaveFile {
    bool riff = false;
    std::uint32_t riffSize = 0, tag = 0, channels = 0, rate = 0, byteRate = 0, blockAlign = 0, bits = 0;
    std::uint32_t dataBytes = 0;
    size_t dataEnd = 0;
    double Seconds() const { return byteRate ? static_cast<double>(dataBytes) / byteRate : 0; }
};

// Walks the chunks as a reader of the format would.
WaveFile ParseWave(const std::string& bytes)
{
    WaveFile wave;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return wave;
    wave.riff = true;
    wave.riffSize = Little(bytes, 4, 4);
    for (size_t at = 12; at + 8 <= bytes.size();) {
        std::string id = bytes.substr(at, 4);
        std::uint32_t size = Little(bytes, at + 4, 4);
        if (id == "fmt " && size >= 16 && at + 24 <= bytes.size()) {
            wave.tag = Little(bytes, at + 8, 2);
            wave.channels = Little(bytes, at + 10, 2);
            wave.rate = Little(bytes, at + 12, 4);
            wave.byteRate = Little(bytes, at + 16, 4);
            wave.blockAlign = Little(bytes, at + 20, 2);
            wave.bits = Little(bytes, at + 22, 2);
        } else if (id == "data") {
            wave.dataBytes = size;
            wave.dataEnd = at + 8 + size;
        }
        at += 8 + size + (size & 1);
    }
    return wave;
}

class RecorderTest : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_GT(waveInGetNumDevs(), 0u)
            << "no wave-in device: scripts/test starts a PulseAudio server for this";
        owner = CreateOwner(instance);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override
    {
        OnNotify = nullptr;
        if (IsWindow(owner))
            DestroyWindow(owner);
        EXPECT_EQ(LiveRecorders(), 0);
        EXPECT_EQ(OpenCaptures(), 0);
        UnregisterClassA(OwnerClass, instance);
        UnregisterRecorderClass(instance);
    }

    HWND OpenRecorder()
    {
        HWND recorder = CreateRecorderWindow(owner, instance, NoteRecorderStyle, nullptr);
        EXPECT_EQ(Send(recorder, RecorderNewMessage, reinterpret_cast<LPARAM>("waveaudio")), 0);
        return recorder;
    }

    // Records for about that long and stops; returns the recorder, still open.
    HWND Recorded(DWORD milliseconds)
    {
        HWND recorder = OpenRecorder();
        Press(recorder, RecorderRecordButtonId);
        modal::Pump(milliseconds);
        Press(recorder, RecorderStopButtonId);
        return recorder;
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND owner = nullptr;
    testfiles::ScratchFolder folder;
};

} // namespace

TEST_F(RecorderTest, RecordsAboutASecondIntoAWaveFileThatPlays)
{
    HWND recorder = CreateRecorderWindow(owner, instance, NoteRecorderStyle, nullptr);
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(GetWindow(recorder, GW_OWNER), owner);
    EXPECT_TRUE(IsWindowVisible(recorder));
    EXPECT_EQ(GetWindowLongA(recorder, GWL_STYLE) & 0xFFFF, 0); // no MCIWNDF bits among the window's styles
    EXPECT_EQ(Send(recorder, RecorderCanRecordMessage), 0);     // no recording open yet
    EXPECT_NE(Send(recorder, RecorderNewMessage, reinterpret_cast<LPARAM>("cdaudio")), 0);
    EXPECT_EQ(Send(recorder, RecorderNewMessage, reinterpret_cast<LPARAM>("waveaudio")), 0);
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Fermo");
    EXPECT_NE(Send(recorder, RecorderCanRecordMessage), 0);
    EXPECT_NE(Send(recorder, RecorderCanSaveMessage), 0);

    Press(recorder, RecorderRecordButtonId);
    DWORD started = GetTickCount();
    EXPECT_EQ(Modes, std::vector<LPARAM>{MCI_MODE_RECORD});
    EXPECT_EQ(Notifiers, std::vector<HWND>{recorder});
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Registrazione");
    EXPECT_EQ(GetFocus(), recorder); // back from the button, to read the keys
    modal::Pump(1000);
    Press(recorder, RecorderStopButtonId);
    double recorded = (GetTickCount() - started) / 1000.0;
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));

    std::string path = folder / "messaggio.wav";
    EXPECT_EQ(Save(recorder, path), 0);
    EXPECT_EQ(modal::WindowText(recorder), "messaggio.wav - Fermo");
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"messaggio.wav"}); // no temporary file left

    std::string bytes = testfiles::ReadFile(path);
    WaveFile wave = ParseWave(bytes);
    ASSERT_TRUE(wave.riff);
    EXPECT_EQ(wave.riffSize, bytes.size() - 8);
    EXPECT_EQ(wave.tag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave.channels, 1u);
    EXPECT_EQ(wave.bits, 16u);
    EXPECT_EQ(wave.rate, 22050u);
    EXPECT_EQ(wave.blockAlign, 2u);
    EXPECT_EQ(wave.byteRate, 44100u);
    EXPECT_EQ(wave.dataEnd, bytes.size());
    EXPECT_NEAR(wave.Seconds(), recorded, 0.3);

    DWORD playStart = GetTickCount();
    EXPECT_TRUE(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT));
    double played = (GetTickCount() - playStart) / 1000.0;
    EXPECT_GT(played, wave.Seconds() * 0.8);
    EXPECT_LT(played, wave.Seconds() + 1.5);

    Send(recorder, WM_CLOSE);
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(Modes.size(), 2u); // closing discards without a last notification
}

TEST_F(RecorderTest, KeysRAndFPressTheButtons)
{
    HWND recorder = OpenRecorder();
    SetFocus(recorder);
    SendMessageA(recorder, WM_CHAR, 'r', 1);
    modal::Pump(200);
    SendMessageA(recorder, WM_SYSCHAR, 'f', 0x20000001); // Alt+F
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));
    Send(recorder, WM_CLOSE);
}

TEST_F(RecorderTest, SavingIntoAMissingFolderFailsWithAWarningAndWritesNothing)
{
    HWND recorder = Recorded(300);
    std::string path = folder / "manca\\messaggio.wav";
    std::string warning;
    modal::Script script;
    script.Dialog("Attenzione", [&](HWND box) {
        warning = modal::MessageBoxText(box);
        modal::Click(box, IDOK);
    });
    EXPECT_NE(Save(recorder, path), 0);
    EXPECT_TRUE(script.Done());
    EXPECT_NE(warning.find(path), std::string::npos) << warning;
    EXPECT_TRUE(FilesIn(folder).empty());
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Fermo");
    Send(recorder, WM_CLOSE);
}

TEST_F(RecorderTest, AnExistingFileIsReplacedOnlyBySaveThatSucceeds)
{
    HWND recorder = Recorded(300);
    std::string path = folder / "vecchio.wav";
    ASSERT_TRUE(testfiles::WriteFile(path, "il messaggio di prima"));
    // A file in use cannot be replaced: the last step of the save fails.
    HANDLE inUse =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    {
        modal::Script script;
        script.Dialog("Attenzione", [](HWND box) { modal::Click(box, IDOK); });
        EXPECT_NE(Save(recorder, path), 0);
    }
    CloseHandle(inUse);
    EXPECT_EQ(testfiles::ReadFile(path), "il messaggio di prima");
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"vecchio.wav"});

    EXPECT_EQ(Save(recorder, path), 0);
    EXPECT_TRUE(ParseWave(testfiles::ReadFile(path)).riff);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"vecchio.wav"});
    Send(recorder, WM_CLOSE);
}

TEST_F(RecorderTest, SavesUnderAPathOf128CharactersOrMore)
{
    HWND recorder = Recorded(200);
    std::string subfolder = folder / std::string(120, 'c');
    ASSERT_TRUE(CreateDirectoryA(subfolder.c_str(), nullptr));
    std::string path = subfolder + "\\messaggio vocale.wav";
    ASSERT_GE(path.size(), 128u); // beyond what mmioOpen takes as a name
    ASSERT_LT(path.size(), 260u);
    EXPECT_EQ(Save(recorder, path), 0);
    WaveFile wave = ParseWave(testfiles::ReadFile(path));
    EXPECT_TRUE(wave.riff);
    EXPECT_GT(wave.dataBytes, 0u);
    Send(recorder, WM_CLOSE);
}

// As the note does: a question, the save, then WM_CLOSE, all inside the stop
// notification that the Stop button's click sends.
TEST_F(RecorderTest, TheOwnerMayAskSaveAndCloseInsideTheStopNotification)
{
    std::string path = folder / "nota.wav";
    LRESULT saved = -1;
    OnNotify = [&](HWND recorder, LPARAM mode) {
        if (mode != MCI_MODE_STOP)
            return;
        MessageBoxA(owner, "Vuoi cancellare questo file audio?", "Domanda", MB_YESNOCANCEL);
        saved = Save(recorder, path);
        Send(recorder, WM_CLOSE);
    };
    modal::Script script;
    script.Dialog("Domanda", [](HWND box) { modal::Click(box, IDNO); });
    HWND recorder = Recorded(400);
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(saved, 0);
    EXPECT_GT(ParseWave(testfiles::ReadFile(path)).dataBytes, 0u);
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));
}

TEST_F(RecorderTest, SeekAndRecordWhileRecordingStartAgainFromEmptyWithoutANotification)
{
    // The note's answer to the record notification: back to the start, record.
    OnNotify = [](HWND recorder, LPARAM mode) {
        if (mode == MCI_MODE_RECORD) {
            EXPECT_EQ(Send(recorder, MCI_SEEK, RecorderStartPosition), 0);
            EXPECT_EQ(Send(recorder, MCI_RECORD), 0);
        }
    };
    HWND recorder = OpenRecorder();
    Press(recorder, RecorderRecordButtonId);
    EXPECT_EQ(Modes, std::vector<LPARAM>{MCI_MODE_RECORD});
    modal::Pump(1200);
    // What a record notification from another recorder makes the note send to this one.
    DWORD restarted = GetTickCount();
    EXPECT_EQ(Send(recorder, MCI_SEEK, RecorderStartPosition), 0);
    EXPECT_EQ(Send(recorder, MCI_RECORD), 0);
    EXPECT_EQ(Send(recorder, RecorderGetModeMessage), MCI_MODE_RECORD);
    modal::Pump(500);
    Press(recorder, RecorderStopButtonId);
    double sinceRestart = (GetTickCount() - restarted) / 1000.0;
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));

    std::string path = folder / "ripreso.wav";
    ASSERT_EQ(Save(recorder, path), 0);
    EXPECT_NEAR(ParseWave(testfiles::ReadFile(path)).Seconds(), sinceRestart, 0.3);
    Send(recorder, WM_CLOSE);
}

TEST_F(RecorderTest, DestroyingTheOwnerWhileRecordingReleasesTheRecorderAndTheDevice)
{
    HWND recorder = OpenRecorder();
    HWND recordButton = GetDlgItem(recorder, RecorderRecordButtonId);
    Press(recorder, RecorderRecordButtonId);
    modal::Pump(300);
    EXPECT_EQ(OpenCaptures(), 1);
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_FALSE(IsWindow(recordButton));
    EXPECT_EQ(LiveRecorders(), 0);
    EXPECT_EQ(OpenCaptures(), 0);
    modal::Pump(300); // the device's late messages find no window
    EXPECT_EQ(Modes, std::vector<LPARAM>{MCI_MODE_RECORD});
}

TEST_F(RecorderTest, TwentyRecordAndCloseCyclesLeaveNoWindowNorDevice)
{
    std::vector<HWND> windows;
    for (int i = 0; i < 20; ++i) {
        HWND recorder = OpenRecorder();
        windows.push_back(recorder);
        windows.push_back(GetDlgItem(recorder, RecorderStopButtonId));
        Press(recorder, RecorderRecordButtonId);
        modal::Pump(50);
        if (i % 3 == 0) {
            SendMessageA(recorder, WM_SYSCOMMAND, SC_CLOSE, 0); // the close box
        } else if (i % 3 == 1) {
            Send(recorder, MCI_CLOSE);
            EXPECT_EQ(Send(recorder, RecorderCanSaveMessage), 0);
            Send(recorder, WM_CLOSE);
        } else {
            Press(recorder, RecorderStopButtonId);
            Send(recorder, WM_CLOSE);
        }
        EXPECT_FALSE(IsWindow(recorder));
    }
    for (HWND window : windows)
        EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(LiveRecorders(), 0);
    EXPECT_EQ(OpenCaptures(), 0);
}

TEST(NoSoundDevice, CanRecordAnswersZeroAndRecordingFailsWithAWarning)
{
    if (!std::getenv("APPUNTELLO_EXPECT_NO_SOUND_DEVICE"))
        GTEST_SKIP() << "runs as recorder_no_device_test, where Wine finds no sound server";
    ASSERT_EQ(waveInGetNumDevs(), 0u);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND owner = CreateOwner(instance);
    HWND recorder = CreateRecorderWindow(owner, instance, NoteRecorderStyle, "waveaudio");
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Fermo");
    EXPECT_EQ(Send(recorder, RecorderCanRecordMessage), 0);
    {
        modal::Script script;
        script.Dialog("Attenzione", [](HWND box) { modal::Click(box, IDOK); });
        EXPECT_NE(Send(recorder, MCI_RECORD), 0);
    }
    EXPECT_TRUE(Modes.empty());
    EXPECT_EQ(OpenCaptures(), 0);
    Send(recorder, MCI_CLOSE);
    Send(recorder, WM_CLOSE);
    EXPECT_FALSE(IsWindow(recorder));
    DestroyWindow(owner);
    UnregisterClassA(OwnerClass, instance);
    UnregisterRecorderClass(instance);
}
