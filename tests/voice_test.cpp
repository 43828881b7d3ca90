// Voice messages on real notes: the voice submenu, the question before a voice
// file goes, whole recordings through the recorder and the Save dialog, playing.
#include <windows.h>

#include <dlgs.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/shared_state.h"
#include "base/system_library.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"
#include "tests/support/sound.h"
#include "tests/support/voice_counts.h"
#include "voice/recorder.h"
#include "voice/voice.h"
#include "voice/wave_capture.h"

namespace {

constexpr int CloseBox = 0; // answer a box with its close box instead of a button
const char Question[] = "Vuoi cancellare questo file audio?";

void Command(HWND window, UINT command)
{
    SendMessageA(window, WM_COMMAND, command, 0);
}

bool Greyed(UINT command)
{
    return GetMenuState(GetSubMenu(NoteMenu.get(), 0), command, MF_BYCOMMAND) & MF_GRAYED;
}

// The question about the voice file at path, owned by the note.
void ExpectQuestion(modal::Script& script, HWND note, const std::string& path, int button, Where at = Here())
{
    script.Dialog(
        path,
        [=](HWND box) {
            EXPECT_EQ(modal::MessageBoxText(box), Question);
            EXPECT_EQ(GetWindow(box, GW_OWNER), note);
            if (button == CloseBox)
                SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                modal::Click(box, button);
        },
        at);
}

// A warning owned by that window, or by the open recorder when owner is nullptr.
void ExpectWarning(modal::Script& script, HWND owner, const std::string& text, Where at = Here())
{
    script.Dialog(
        "Attenzione",
        [=](HWND box) {
            EXPECT_EQ(modal::MessageBoxText(box), text);
            EXPECT_EQ(GetWindow(box, GW_OWNER), owner ? owner : RecorderWindow);
            modal::Click(box, IDOK);
        },
        at);
}

// The file name is typed into the edit field of combo box cmb13, itself in a
// ComboBoxEx32 of the same id.
HWND FileNameEdit(HWND dialog)
{
    HWND combo = FindWindowExA(GetDlgItem(dialog, cmb13), nullptr, "ComboBox", nullptr);
    return FindWindowExA(combo, nullptr, "Edit", nullptr);
}

// The Save dialog of the open recorder: the name typed and OK, or Cancel when
// the name is empty.
void ExpectSaveDialog(modal::Script& script, const std::string& name, Where at = Here())
{
    script.Dialog(
        "",
        [=](HWND dialog) {
            HWND edit = FileNameEdit(dialog);
            if (!edit) {
                ADD_FAILURE() << "not the Save dialog: " << modal::WindowText(dialog);
                modal::Click(dialog, IDCANCEL);
                return;
            }
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), RecorderWindow);
            EXPECT_EQ(modal::WindowText(edit), "") << "no name proposed";
            EXPECT_EQ(modal::WindowText(GetDlgItem(dialog, cmb1)), "File Audio");
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, chx1))) << "no read-only check box";
            if (name.empty()) {
                modal::Click(dialog, IDCANCEL);
                return;
            }
            SetWindowTextA(edit, name.c_str());
            modal::Click(dialog, IDOK);
        },
        at);
}

class VoiceTest : public ProgramTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        ASSERT_GT(waveInGetNumDevs(), 0u) << "no wave-in device: scripts/test starts a PulseAudio server";
        CountMultimediaCalls();
    }
    void TearDown() override
    {
        UseLibraryLoader(nullptr);
        ProgramTest::TearDown();
        EXPECT_EQ(LiveRecorders(), 0);
        EXPECT_EQ(OpenCaptures(), 0);
    }

    HWND NoteWithMessage(const std::string& path, Where at = Here())
    {
        TRACE_CALLER(at);
        HWND note = NewNote();
        EXPECT_TRUE(testfiles::WriteFile(path, "il vecchio messaggio"));
        EXPECT_TRUE(SetNoteVoicePath(note, path.c_str()));
        return note;
    }

    // Opens the recorder on the note, records for about that long and presses
    // Stop: the stop handling follows the click, answered by the script.
    HWND Record(HWND note, DWORD milliseconds, Where at = Here())
    {
        TRACE_CALLER(at);
        Command(note, IDM_RECORD_VOICE);
        HWND recorder = RecorderWindow;
        EXPECT_NE(recorder, nullptr);
        if (!recorder)
            return nullptr;
        EXPECT_EQ(GetWindow(recorder, GW_OWNER), note);
        modal::Click(recorder, RecorderRecordButtonId, at);
        EXPECT_EQ(RecordingActive, 1);
        modal::Pump(milliseconds);
        modal::Click(recorder, RecorderStopButtonId, at);
        EXPECT_TRUE(modal::PumpUntil([&] { return !IsWindow(recorder); }, 10000))
            << "the first stop after recording closes the recorder";
        EXPECT_EQ(RecorderWindow, nullptr);
        EXPECT_EQ(RecordingActive, 0);
        return recorder;
    }
};

} // namespace

TEST_F(VoiceTest, VoiceSubmenuGreysPlayAndDiscardForTheNoteWithoutAMessage)
{
    HWND with = NoteWithMessage(folder / "voce.wav");
    HWND without = NewNote();
    HMENU voiceMenu = GetSubMenu(GetSubMenu(NoteMenu.get(), 0), NoteMenuVoicePosition);
    for (HWND note : {with, without, with, without}) {
        SendMessageA(note, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(voiceMenu), NoteMenuVoicePosition);
        EXPECT_EQ(Greyed(IDM_PLAY_VOICE), note == without);
        EXPECT_EQ(Greyed(IDM_DISCARD_VOICE), note == without);
        EXPECT_FALSE(Greyed(IDM_RECORD_VOICE));
    }
    // Opening the context menu itself changes nothing.
    SendMessageA(with, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(NoteMenu.get(), 0)), 0);
    EXPECT_TRUE(Greyed(IDM_PLAY_VOICE));
}

TEST_F(VoiceTest, QuestionYesDeletesTheFileNoForgetsItCancelKeepsBoth)
{
    std::string longPath = folder / std::string(200 - folder.path().size() - 5, 'v') + ".wav";
    ASSERT_EQ(longPath.size(), 200u);
    struct Case {
        std::string path;
        int button;
        bool fileStays, pathStays;
    } cases[] = {{longPath, IDYES, false, false},
                 {folder / "no.wav", IDNO, true, false},
                 {folder / "annulla.wav", IDCANCEL, true, true},
                 {folder / "chiudi.wav", CloseBox, true, true}};
    for (const Case& c : cases) {
        HWND note = NoteWithMessage(c.path);
        modal::Script script;
        ExpectQuestion(script, note, c.path, c.button);
        Command(note, IDM_DISCARD_VOICE);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(testfiles::Exists(c.path), c.fileStays) << c.path;
        EXPECT_EQ(NoteVoicePath(note), c.pathStays ? c.path : "");
    }
    // A note without a message asks nothing: a box would be unexpected.
    Command(NewNote(), IDM_DISCARD_VOICE);

    // A file that cannot be deleted stays referred to, and the user is told.
    std::string inUse = folder / "in uso.wav";
    HWND note = NoteWithMessage(inUse);
    {
        UniqueHandle held = testfiles::HoldOpen(inUse);
        modal::Script script;
        ExpectQuestion(script, note, inUse, IDYES);
        ExpectWarning(script, note, "Impossibile cancellare il file audio\n" + inUse);
        Command(note, IDM_DISCARD_VOICE);
    }
    EXPECT_TRUE(testfiles::Exists(inUse));
    EXPECT_EQ(NoteVoicePath(note), inUse);
}

TEST_F(VoiceTest, DeletingANoteAsksFirstAndTheNoteGoesWhateverTheAnswer)
{
    for (int button : {IDYES, IDCANCEL}) {
        std::string path = folder / (button == IDYES ? "si.wav" : "annulla.wav");
        HWND note = NoteWithMessage(path);
        modal::Script script;
        ExpectQuestion(script, note, path, button);
        Command(note, IDM_DELETE_NOTE);
        EXPECT_TRUE(script.Done());
        EXPECT_FALSE(IsWindow(note));
        EXPECT_EQ(testfiles::Exists(path), button != IDYES);
    }
    HWND silent = NewNote();
    Command(silent, IDM_DELETE_NOTE);
    EXPECT_FALSE(IsWindow(silent));
}

TEST_F(VoiceTest, ARecordingIsSavedAsAWaveFileThatPlaysForItsLength)
{
    HWND note = NewNote();
    std::string path = folder / "messaggio.wav";
    modal::Script script;
    ExpectSaveDialog(script, folder / "messaggio"); // the extension is added
    const int starts = CaptureStarts();
    Record(note, 1000);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(CaptureStarts(), starts + 1) << "the note's answer to the recorder started the device again";
    EXPECT_EQ(NoteVoicePath(note), path);
    double seconds = WaveSeconds(path);
    EXPECT_NEAR(seconds, 1.0, 0.3);
    std::printf("[ recorded ] %s: %zu bytes, %.3f s\n", path.c_str(), testfiles::ReadFile(path).size(),
                seconds);

    const std::size_t before = SoundsPlayed().size();
    Command(note, IDM_PLAY_VOICE);
    ASSERT_EQ(SoundsPlayed().size(), before + 1);
    EXPECT_EQ(SoundsPlayed().back().path, path);
    EXPECT_TRUE(SoundsPlayed().back().played) << "the system could not play the recording";
    EXPECT_FALSE(SoundsPlayed().back().flags & SND_ASYNC) << "played to its end before the command returns";
}

// Where the system folder has no usable winmm: as without a sound device.
TEST_F(VoiceTest, WithoutTheMultimediaDllPlayingIsSilentAndRecordingWarns)
{
    HWND note = NewNote();
    {
        modal::Script script;
        ExpectSaveDialog(script, folder / "voce.wav");
        Record(note, 500);
    }
    UseLibraryLoader([](const char*) -> HMODULE { return nullptr; });
    const DWORD start = GetTickCount();
    Command(note, IDM_PLAY_VOICE);
    EXPECT_LT(SecondsSince(start), 0.2) << "half a second of sound played";
    modal::Script script;
    ExpectWarning(script, note, "Questa periferica audio non pu\xf2 registrare!");
    Command(note, IDM_RECORD_VOICE);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(LiveRecorders(), 0);
}

TEST_F(VoiceTest, TheOldMessageQuestionComesFirstThenTheSaveDialogDecides)
{
    enum Kept { OldPath, NewPath };
    struct Case {
        int answer;
        bool save;
        bool oldFileStays;
        Kept pathAfter;
    } cases[] = {{IDCANCEL, false, true, OldPath}, {IDNO, false, true, OldPath},
                 {IDYES, false, true, OldPath},    {IDYES, true, false, NewPath},
                 {IDNO, true, true, NewPath},      {IDCANCEL, true, true, NewPath}};
    int n = 0;
    for (const Case& c : cases) {
        std::string old = folder / ("vecchio" + std::to_string(n) + ".wav");
        std::string fresh = folder / ("nuovo" + std::to_string(n++) + ".wav");
        HWND note = NoteWithMessage(old);
        modal::Script script;
        ExpectQuestion(script, note, old, c.answer);
        ExpectSaveDialog(script, c.save ? fresh : "");
        Record(note, 200);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(testfiles::Exists(old), c.oldFileStays) << n;
        EXPECT_EQ(testfiles::Exists(fresh), c.save) << n;
        EXPECT_EQ(NoteVoicePath(note), c.pathAfter == OldPath ? old : fresh) << n;
    }

    // Yes, then saved over the old file itself: the new recording stays.
    std::string old = folder / "stesso.wav";
    HWND note = NoteWithMessage(old);
    modal::Script script;
    ExpectQuestion(script, note, old, IDYES);
    ExpectSaveDialog(script, old);
    script.Dialog("", [](HWND box) { modal::Click(box, IDYES); }); // replace the existing file?
    Record(note, 200);
    EXPECT_TRUE(script.Done());
    EXPECT_GT(testfiles::ReadFile(old).size(), 44u);
    EXPECT_EQ(NoteVoicePath(note), old);
}

TEST_F(VoiceTest, ARecordingThatCannotBeSavedLeavesTheNoteAsItWas)
{
    // The device went away during the recording: it cannot save, and no Save dialog is offered.
    HWND note = NewNote();
    Command(note, IDM_RECORD_VOICE);
    HWND recorder = RecorderWindow;
    modal::Click(recorder, RecorderRecordButtonId);
    SendMessageA(recorder, MCI_CLOSE, 0, 0);
    {
        modal::Script script;
        ExpectWarning(script, recorder, "Questa periferica audio non pu\xf2 salvare i file!");
        SendMessageA(note, RecorderNotifyModeMessage, reinterpret_cast<WPARAM>(recorder), MCI_MODE_STOP);
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(NoteVoicePath(note), std::string());

    // A file in use cannot be replaced: the save fails and the note keeps its
    // old message, whatever the answer about it was.
    std::string old = folder / "vecchio.wav";
    std::string target = folder / "in uso.wav";
    note = NoteWithMessage(old);
    ASSERT_TRUE(testfiles::WriteFile(target, "occupato"));
    {
        UniqueHandle held = testfiles::HoldOpen(target);
        modal::Script script;
        ExpectQuestion(script, note, old, IDYES);
        ExpectSaveDialog(script, target);
        script.Dialog("", [](HWND box) { modal::Click(box, IDYES); }); // replace the existing file?
        // One failure, one message: the recorder's own, and no second one after it.
        ExpectWarning(script, nullptr, "Impossibile salvare la registrazione nel file\n" + target);
        Record(note, 200);
        EXPECT_TRUE(script.Done());
    }
    EXPECT_EQ(testfiles::ReadFile(target), "occupato");
    EXPECT_EQ(NoteVoicePath(note), old);
    EXPECT_TRUE(testfiles::Exists(old)) << "Yes takes effect only once the new message is saved";
}

TEST_F(VoiceTest, OneRecorderAtATimeAndOnlyItsOwnStopAfterRecordingActs)
{
    HWND first = NewNote("Prima"), second = NewNote("Seconda");
    Command(first, IDM_RECORD_VOICE);
    HWND recorder = RecorderWindow;
    ASSERT_TRUE(IsWindow(recorder));
    RECT noteFrame = modal::WindowRect(first), recorderFrame = modal::WindowRect(recorder), overlap;
    EXPECT_FALSE(IntersectRect(&overlap, &noteFrame, &recorderFrame)) << "the recorder hides its note";
    // Nothing recorded yet: a stop is ignored, and the recorder stays.
    SendMessageA(first, RecorderNotifyModeMessage, reinterpret_cast<WPARAM>(recorder), MCI_MODE_STOP);
    EXPECT_TRUE(IsWindow(recorder));

    SetForegroundWindow(second);
    Command(second, IDM_RECORD_VOICE);
    EXPECT_EQ(RecorderWindow, recorder);
    EXPECT_EQ(LiveRecorders(), 1);
    EXPECT_EQ(GetForegroundWindow(), recorder);

    // Reports for another note, or from a window that is not the open recorder, are not acted on.
    SendMessageA(second, RecorderNotifyModeMessage, reinterpret_cast<WPARAM>(recorder), MCI_MODE_RECORD);
    SendMessageA(first, RecorderNotifyModeMessage, reinterpret_cast<WPARAM>(second), MCI_MODE_RECORD);
    EXPECT_EQ(RecordingActive, 0);

    // The close box during a recording: nothing asked or saved, and back to idle.
    SetNoteVoicePath(first, "C:\\vecchio.wav");
    modal::Click(recorder, RecorderRecordButtonId);
    SendMessageA(recorder, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(RecorderWindow, nullptr);
    EXPECT_EQ(RecordingActive, 0);
    EXPECT_STREQ(NoteVoicePath(first), "C:\\vecchio.wav");

    // So is the deletion of the note that owns the recorder.
    Command(second, IDM_RECORD_VOICE);
    recorder = RecorderWindow;
    modal::Click(recorder, RecorderRecordButtonId);
    Command(second, IDM_DELETE_NOTE);
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(RecorderWindow, nullptr);
    EXPECT_EQ(RecordingActive, 0);
}

// The recorder's click returns first: the question and the Save dialog come
// after it, while the recorder waits, disabled.
TEST_F(VoiceTest, TheStopsQuestionComesAfterTheClickHasReturned)
{
    std::string old = folder / "vecchio.wav";
    HWND note = NoteWithMessage(old);
    Command(note, IDM_RECORD_VOICE);
    HWND recorder = RecorderWindow;
    ASSERT_NE(recorder, nullptr);
    modal::Click(recorder, RecorderRecordButtonId);
    modal::Pump(200);
    bool clickReturned = false;
    modal::Script script;
    script.Dialog(old, [&](HWND box) {
        EXPECT_TRUE(clickReturned) << "asked inside the recorder's own click";
        modal::Click(box, IDCANCEL);
    });
    ExpectSaveDialog(script, "");
    modal::Click(recorder, RecorderStopButtonId);
    clickReturned = true;
    EXPECT_TRUE(IsWindow(recorder));
    EXPECT_FALSE(IsWindowEnabled(recorder)) << "its buttons would act on a recording about to be saved";
    EXPECT_TRUE(script.WaitDone());
    EXPECT_FALSE(IsWindow(recorder));
    EXPECT_EQ(NoteVoicePath(note), old);
}

TEST_F(VoiceTest, TheStopHandlingIsNotEnteredAgainWhileItsQuestionIsOpen)
{
    std::string old = folder / "vecchio.wav";
    HWND note = NoteWithMessage(old);
    modal::Script script;
    script.Dialog(old, [&](HWND box) {
        HWND recorder = RecorderWindow;
        EXPECT_FALSE(IsWindowEnabled(recorder));
        // Recording again and stopping: a second question would open here.
        SendMessageA(recorder, MCI_RECORD, 0, 0);
        SendMessageA(recorder, MCI_STOP, 0, 0);
        modal::Click(box, IDCANCEL);
    });
    ExpectSaveDialog(script, "");
    Record(note, 200);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(NoteVoicePath(note), old);
}

TEST_F(VoiceTest, PlayingWhatCannotBePlayedReturnsAtOnceInSilence)
{
    HWND note = NewNote();
    std::string text = folder / "testo.wav";
    ASSERT_TRUE(testfiles::WriteFile(text, std::string(100000, 'x')));
    DWORD windows = WindowCount();
    for (std::string path : {std::string(), folder / "manca.wav", text}) {
        SetNoteVoicePath(note, path.c_str());
        const std::size_t before = SoundsPlayed().size();
        Command(note, IDM_PLAY_VOICE);
        if (path.empty()) {
            EXPECT_EQ(SoundsPlayed().size(), before) << "nothing to play";
            continue;
        }
        ASSERT_EQ(SoundsPlayed().size(), before + 1) << path;
        EXPECT_FALSE(SoundsPlayed().back().played) << path;
        EXPECT_TRUE(SoundsPlayed().back().flags & SND_NODEFAULT) << "the system's own sound in its place";
    }
    EXPECT_EQ(WindowCount(), windows) << "nothing is reported";
}

TEST_F(VoiceTest, TwentyRecordingsLeaveNoRecorderNorDevice)
{
    HWND note = NewNote();
    std::vector<HWND> windows;
    DWORD before = 0;
    for (int i = 0; i < 20; ++i) {
        modal::Script script;
        if (*NoteVoicePath(note))
            ExpectQuestion(script, note, NoteVoicePath(note), IDNO);
        ExpectSaveDialog(script, i % 5 == 0 ? folder / ("m" + std::to_string(i) + ".wav") : "");
        HWND recorder = Record(note, 50);
        windows.push_back(recorder);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(LiveRecorders(), 0);
        EXPECT_EQ(OpenCaptures(), 0);
        if (i == 0)
            before = WindowCount(); // the first Save dialog may leave the shell's own windows
    }
    for (HWND window : windows)
        EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(WindowCount(), before);
}

// What loading may open by itself: files on local drives, and nothing that
// reaches a server or a device.
TEST(VoicePaths, OnlyFilesOnLocalDrivesCountAsLocal)
{
    char letter = 'A'; // the first that names no drive here
    while (GetLogicalDrives() >> (letter - 'A') & 1)
        ++letter;
    const std::string absent = std::string(1, letter) + ":\\voce.wav";
    for (const char* local : {"C:\\voce.wav", "c:/Voce/messaggio.wav", "C:\\Voce\\COMMENTI.wav",
                              "C:\\Voce\\con amici.wav", "C:\\Voce\\COM10.wav"})
        EXPECT_TRUE(NamesLocalFile(local)) << local;
    for (const char* other :
         {"\\\\server\\share\\voce.wav", "//server/share/voce.wav", "\\/server\\share\\voce.wav",
          "\\\\.\\COM1", "\\\\?\\C:\\voce.wav", "\\??\\UNC\\server\\share\\voce.wav", "voce.wav",
          "\\voce.wav", "C:voce.wav", "C:\\Voce\\CON", "C:\\Voce\\nul.wav", "C:\\Voce\\com1.wav",
          "C:\\Voce\\LPT9 .wav", "C:\\Voce\\aux:flusso", "C:\\CONOUT$", "C:\\Voce\\COM\xb9.wav",
          absent.c_str()})
        EXPECT_FALSE(NamesLocalFile(other)) << other;
}

class VoiceNoSoundDevice : public ProgramTest {};

TEST_F(VoiceNoSoundDevice, RecordWarnsAndLeavesNoRecorder)
{
    if (!std::getenv("APPUNTELLO_EXPECT_NO_SOUND_DEVICE"))
        GTEST_SKIP() << "runs as voice_no_device_test, where Wine finds no sound server";
    ASSERT_EQ(waveInGetNumDevs(), 0u);
    HWND note = NewNote();
    SetNoteVoicePath(note, "C:\\vecchio.wav");
    modal::Script script;
    ExpectWarning(script, note, "Questa periferica audio non pu\xf2 registrare!");
    Command(note, IDM_RECORD_VOICE);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(LiveRecorders(), 0);
    EXPECT_EQ(RecorderWindow, nullptr);
    EXPECT_STREQ(NoteVoicePath(note), "C:\\vecchio.wav");
}
