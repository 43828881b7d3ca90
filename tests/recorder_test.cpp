// The recorder window, driven as the note drives it: real windows, real
// messages, real recording through the wave-in device, real files.
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/sound.h"
#include "tests/support/voice_counts.h"
#include "voice/recorder.h"
#include "voice/voice.h"
#include "voice/wave_capture.h"

namespace {

// What the recorder records in when the device takes it, as here.
constexpr PcmLayout RecorderLayout{1, 22050, 16};
const char OwnerClass[] = "RecorderTestOwner";

std::vector<LPARAM> Modes;                                // notified to the owner, in order
std::vector<HWND> Notifiers;                              // and by whom
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

class RecorderTest : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_GT(waveInGetNumDevs(), 0u)
            << "no wave-in device: scripts/test starts a PulseAudio server for this";
        owner = CreateOwner(instance);
        ASSERT_NE(owner, nullptr);
        CountMultimediaCalls();
    }
    void TearDown() override
    {
        OnNotify = nullptr;
        if (IsWindow(owner))
            DestroyWindow(owner);
        EXPECT_EQ(LiveRecorders(), 0);
        EXPECT_EQ(OpenCaptures(), 0);
        UnregisterClassA(OwnerClass, instance);
        UnregisterClassA(RecorderClassName, instance);
    }

    HWND OpenRecorder(Where at = Here())
    {
        TRACE_CALLER(at);
        HWND recorder = CreateRecorderWindow(owner, instance, NoteRecorderStyle);
        EXPECT_EQ(Send(recorder, RecorderNewMessage, reinterpret_cast<LPARAM>("waveaudio")), 0);
        return recorder;
    }

    // Records for about that long and stops; returns the recorder, still open.
    HWND Recorded(DWORD milliseconds, Where at = Here())
    {
        HWND recorder = OpenRecorder(at);
        modal::Click(recorder, RecorderRecordButtonId, at);
        modal::Pump(milliseconds);
        modal::Click(recorder, RecorderStopButtonId, at);
        return recorder;
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND owner = nullptr;
    testfiles::ScratchFolder folder;
};

} // namespace

TEST_F(RecorderTest, RecordsAboutASecondIntoAWaveFile)
{
    HWND recorder = CreateRecorderWindow(owner, instance, NoteRecorderStyle);
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

    modal::Click(recorder, RecorderRecordButtonId);
    DWORD started = GetTickCount();
    EXPECT_EQ(Modes, std::vector<LPARAM>{MCI_MODE_RECORD});
    EXPECT_EQ(Notifiers, std::vector<HWND>{recorder});
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Registrazione");
    EXPECT_EQ(GetFocus(), GetDlgItem(recorder, RecorderStopButtonId)); // the button to press next
    modal::Pump(1000);
    modal::Click(recorder, RecorderStopButtonId);
    double recorded = SecondsSince(started);
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));

    std::string path = folder / "messaggio.wav";
    EXPECT_EQ(Save(recorder, path), 0);
    EXPECT_EQ(modal::WindowText(recorder), "messaggio.wav - Fermo");
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"messaggio.wav"}); // no temporary file left
    EXPECT_NEAR(WaveSeconds(path, RecorderLayout), recorded, 0.3);         // the voice test plays such a file

    Send(recorder, WM_CLOSE);
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(Modes.size(), 2u); // closing discards without a last notification
}

TEST_F(RecorderTest, AFailedSaveWarnsAndLeavesTheFolderAsItWas)
{
    HWND recorder = Recorded(300);
    std::string path = folder / "vecchio.wav";
    ASSERT_TRUE(testfiles::WriteFile(path, "il messaggio di prima"));
    std::string missing = folder / "manca\\messaggio.wav";
    std::string warning;
    {
        // A file in use cannot be replaced: the last step of that save fails.
        UniqueHandle inUse = testfiles::HoldOpen(path);
        modal::Script script;
        script.Dialog("Attenzione", [&](HWND box) {
            warning = modal::MessageBoxText(box);
            modal::Click(box, IDOK);
        });
        script.Dialog("Attenzione", [](HWND box) { modal::Click(box, IDOK); });
        EXPECT_NE(Save(recorder, missing), 0);
        EXPECT_NE(Save(recorder, path), 0);
    }
    EXPECT_NE(warning.find(missing), std::string::npos) << warning;
    EXPECT_EQ(testfiles::ReadFile(path), "il messaggio di prima");
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"vecchio.wav"});
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Fermo");

    EXPECT_EQ(Save(recorder, path), 0);
    EXPECT_GT(WaveSeconds(path, RecorderLayout), 0.1);
    // Longer than the 128 characters that mmioOpen takes as a name.
    std::string longPath = folder / (std::string(120, 'c') + ".wav");
    ASSERT_GE(longPath.size(), 128u);
    EXPECT_EQ(Save(recorder, longPath), 0);
    EXPECT_GT(WaveSeconds(longPath, RecorderLayout), 0.1);
    Send(recorder, WM_CLOSE);
}

// As the note does: the recorder disabled inside the stop notification that
// the Stop button's click sends, then, once the click has returned, a
// question, the save and WM_CLOSE.
TEST_F(RecorderTest, TheOwnerMayDisableTheRecorderInsideTheStopNotificationAndSaveAfter)
{
    std::string path = folder / "nota.wav";
    OnNotify = [&](HWND recorder, LPARAM mode) {
        if (mode == MCI_MODE_STOP)
            EnableWindow(recorder, FALSE);
    };
    HWND recorder = Recorded(400);
    ASSERT_TRUE(IsWindow(recorder));
    EXPECT_FALSE(IsWindowEnabled(recorder));
    modal::Script script;
    script.Dialog("Domanda", [](HWND box) { modal::Click(box, IDNO); });
    MessageBoxA(owner, "Vuoi cancellare questo file audio?", "Domanda", MB_YESNOCANCEL);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(Save(recorder, path), 0);
    Send(recorder, WM_CLOSE);
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_GT(WaveSeconds(path, RecorderLayout), 0.1);
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
    modal::Click(recorder, RecorderRecordButtonId);
    EXPECT_EQ(Modes, std::vector<LPARAM>{MCI_MODE_RECORD});
    modal::Pump(1200);
    // What a record notification from another recorder makes the note send to this one.
    DWORD restarted = GetTickCount();
    EXPECT_EQ(Send(recorder, MCI_SEEK, RecorderStartPosition), 0);
    EXPECT_EQ(Send(recorder, MCI_RECORD), 0);
    EXPECT_EQ(Send(recorder, RecorderGetModeMessage), MCI_MODE_RECORD);
    modal::Pump(500);
    modal::Click(recorder, RecorderStopButtonId);
    double sinceRestart = SecondsSince(restarted);
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));
    std::string path = folder / "ripreso.wav";
    ASSERT_EQ(Save(recorder, path), 0);
    EXPECT_NEAR(WaveSeconds(path, RecorderLayout), sinceRestart, 0.3);
    Send(recorder, WM_CLOSE);
}

// Keys as the program's message loop hands them on: each posted where the
// focus is, and the loop run until it has taken them.
TEST_F(RecorderTest, TabMovesEnterAndSpacePressAndEscStopsThenClosesThroughTheMessageLoop)
{
    HWND recorder = OpenRecorder();
    RecorderWindow = recorder; // as opening it from a note does
    HWND record = GetDlgItem(recorder, RecorderRecordButtonId);
    HWND stop = GetDlgItem(recorder, RecorderStopButtonId);
    auto press = [](WPARAM key) {
        modal::PostKey(GetFocus(), key);
        PostQuitMessage(0);
        RunMessageLoop();
    };
    EXPECT_EQ(GetFocus(), record);
    press(VK_RETURN);
    EXPECT_EQ(Modes, std::vector<LPARAM>{MCI_MODE_RECORD});
    EXPECT_EQ(GetFocus(), stop);
    press(VK_TAB);
    EXPECT_EQ(GetFocus(), record);
    press(VK_TAB);
    press(VK_SPACE);
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP}));
    EXPECT_EQ(GetFocus(), record);
    press(VK_RETURN);
    press(VK_ESCAPE);
    EXPECT_EQ(Modes, (std::vector<LPARAM>{MCI_MODE_RECORD, MCI_MODE_STOP, MCI_MODE_RECORD, MCI_MODE_STOP}))
        << "Esc while recording stops it as Stop does, and the owner hears of it";
    ASSERT_TRUE(IsWindow(recorder));
    EXPECT_EQ(GetFocus(), record);
    press(VK_ESCAPE);
    EXPECT_FALSE(IsWindow(recorder)) << "stopped, Esc closes it as its close box does";
    EXPECT_EQ(Modes.size(), 4u);
    RecorderWindow = nullptr;
}

TEST_F(RecorderTest, TwentyRecordAndCloseCyclesLeaveNoWindowNorDevice)
{
    std::vector<HWND> windows;
    for (int i = 0; i < 20; ++i) {
        HWND recorder = OpenRecorder();
        windows.push_back(recorder);
        windows.push_back(GetDlgItem(recorder, RecorderStopButtonId));
        modal::TypeText(recorder, "r"); // R presses Record
        EXPECT_EQ(Send(recorder, RecorderGetModeMessage), MCI_MODE_RECORD);
        modal::Pump(50);
        EXPECT_EQ(OpenCaptures(), 1);
        if (i % 4 == 0) {
            SendMessageA(recorder, WM_SYSCOMMAND, SC_CLOSE, 0); // the close box
        } else if (i % 4 == 1) {
            Send(recorder, MCI_CLOSE);
            EXPECT_EQ(Send(recorder, RecorderCanSaveMessage), 0);
            Send(recorder, WM_CLOSE);
        } else if (i % 4 == 2) {
            SendMessageA(recorder, WM_SYSCHAR, 'f', 0x20000001); // Alt+F presses Stop
            EXPECT_EQ(Modes.back(), MCI_MODE_STOP);
            Send(recorder, WM_CLOSE);
        } else {
            size_t notified = Modes.size();
            DestroyWindow(owner); // owned windows go with their owner, without a notification
            EXPECT_EQ(Modes.size(), notified);
            owner = CreateOwner(instance);
        }
        EXPECT_FALSE(IsWindow(recorder));
        EXPECT_EQ(LiveRecorders(), 0);
        EXPECT_EQ(OpenCaptures(), 0);
    }
    modal::Pump(300); // the device's late messages find no window
    for (HWND window : windows)
        EXPECT_FALSE(IsWindow(window));
}

TEST(NoSoundDevice, CanRecordAnswersZeroAndRecordingFailsWithAWarning)
{
    if (!std::getenv("APPUNTELLO_EXPECT_NO_SOUND_DEVICE"))
        GTEST_SKIP() << "runs as recorder_no_device_test, where Wine finds no sound server";
    ASSERT_EQ(waveInGetNumDevs(), 0u);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND owner = CreateOwner(instance);
    CountMultimediaCalls();
    HWND recorder = CreateRecorderWindow(owner, instance, NoteRecorderStyle);
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(Send(recorder, RecorderNewMessage, reinterpret_cast<LPARAM>("waveaudio")), 0);
    EXPECT_EQ(modal::WindowText(recorder), "waveaudio - Fermo");
    EXPECT_EQ(Send(recorder, RecorderCanRecordMessage), 0);
    {
        modal::Script script;
        script.Dialog("Attenzione", [](HWND box) { modal::Click(box, IDOK); });
        EXPECT_NE(Send(recorder, MCI_RECORD), 0);
    }
    EXPECT_TRUE(Modes.empty());
    EXPECT_EQ(OpenCaptures(), 0);
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(recorder));
    UnregisterClassA(OwnerClass, instance);
    UnregisterClassA(RecorderClassName, instance);
}
