#include "voice/voice.h"

#include <commdlg.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "base/captions.h"
#include "base/path_parts.h"
#include "base/shared_state.h"
#include "base/system_library.h"
#include "res/resource.h"
#include "voice/recorder.h"
#include "voice/voice_path.h"

namespace {

constexpr DWORD SaveDialogFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT; // 0x80006
// Two entries, each a name and a pattern; the literal's own NUL ends the list.
const char SaveFilter[] = "File Audio\0*.wav\0Tutti i files\0*.*\0";

void ForgetRecorder(HWND recorder)
{
    if (recorder != RecorderWindow)
        return;
    RecorderWindow = nullptr;
    RecordingActive = 0;
}

// True when the file is gone: deleted now, or not there in the first place.
// DeleteFileA takes any path up to MAX_PATH; OpenFile's OF_DELETE stops at 128.
bool DeleteVoiceFile(const char* path)
{
    if (DeleteFileA(path))
        return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void Warn(HWND owner, const std::string& text)
{
    MessageBoxA(owner, text.c_str(), WarningCaption, MB_OK);
}

// Below its note, or above it when there is no room, so that the note it
// records for stays in sight; on the work area either way.
void PlaceBeside(HWND recorder, HWND note)
{
    RECT noteFrame, frame, area;
    if (!GetWindowRect(note, &noteFrame) || !GetWindowRect(recorder, &frame) ||
        !SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        return;
    LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
    LONG x = std::max(area.left, std::min(noteFrame.left, area.right - width));
    LONG y = noteFrame.bottom + height <= area.bottom ? noteFrame.bottom : noteFrame.top - height;
    SetWindowPos(recorder, nullptr, x, std::max(area.top, y), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void BringForward(HWND recorder)
{
    if (IsIconic(recorder))
        ShowWindow(recorder, SW_RESTORE);
    SetForegroundWindow(recorder);
}

// The question about a note's voice file: IDYES to delete it, IDNO to forget
// it, anything else (Cancel, Escape, the close box, no box at all) to keep both.
int AskAboutVoiceFile(HWND note, const std::string& path)
{
    return MessageBoxA(note, "Vuoi cancellare questo file audio?", path.c_str(), MB_YESNOCANCEL);
}

// Carries out Yes: false, with the user told, when the file stays on disk.
bool DeleteAskedVoiceFile(HWND note, const std::string& path)
{
    if (DeleteVoiceFile(path.c_str()))
        return true;
    // Forgetting it would leave a file that nothing refers to any more.
    Warn(note, "Impossibile cancellare il file audio\n" + path);
    return false;
}

bool SamePath(const std::string& a, const std::string& b)
{
    char fullA[MAX_PATH], fullB[MAX_PATH];
    DWORD lengthA = GetFullPathNameA(a.c_str(), sizeof fullA, fullA, nullptr);
    DWORD lengthB = GetFullPathNameA(b.c_str(), sizeof fullB, fullB, nullptr);
    if (lengthA == 0 || lengthA >= sizeof fullA || lengthB == 0 || lengthB >= sizeof fullB)
        return lstrcmpiA(a.c_str(), b.c_str()) == 0;
    return lstrcmpiA(fullA, fullB) == 0;
}

// The end of a recording: what to do with the old message, the new one saved
// if the user names a file, and the recorder closed, its recording with it.
// The answer about the old message is carried out only once the new one is
// saved: a cancelled or failed save leaves the note its old message.
// The note or the recorder may be destroyed while the question or the Save
// dialog is open (with "Elimina Tutti" from the tray, say). The recorder
// stays disabled meanwhile, and its reports are not acted on.
void OnRecordingStopped(HWND note, HWND recorder)
{
    const char* voicePath = NoteVoicePath(note);
    const std::string oldPath = voicePath ? voicePath : "";
    const int answer = oldPath.empty() ? IDNO : AskAboutVoiceFile(note, oldPath);
    if (IsWindow(recorder) && SaveRecording(recorder) && answer == IDYES) {
        // Saved over the old file itself, there is nothing left to delete.
        if (!SamePath(oldPath, NoteVoicePath(note) ? NoteVoicePath(note) : ""))
            DeleteAskedVoiceFile(note, oldPath);
    }
    RecordingActive = 0;
    if (IsWindow(recorder))
        SendMessageA(recorder, WM_CLOSE, 0, 0); // its destruction forgets it
}

void OnRecordingStarted(HWND recorder)
{
    // A recording always starts from its beginning.
    SendMessageA(recorder, MCI_SEEK, 0, RecorderStartPosition);
    SendMessageA(recorder, MCI_RECORD, 0, 0);
    RecordingActive = 1;
}

// The names Windows gives to devices in every folder, whatever extension follows.
bool IsDeviceName(const char* name)
{
    // The name before any extension or stream, without trailing blanks, in capitals.
    size_t length = std::strcspn(name, ".:");
    while (length > 0 && name[length - 1] == ' ')
        --length;
    char upper[8] = "";
    if (length >= sizeof upper)
        return false;
    for (size_t i = 0; i < length; ++i)
        upper[i] = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (std::strcmp(upper, device) == 0)
            return true;
    // COM0 to COM9 and LPT0 to LPT9, also with the superscript digits 1, 2 and 3 of code page 1252.
    const char last = upper[3];
    return length == 4 && (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0) &&
           ((last >= '0' && last <= '9') || last == '\xb9' || last == '\xb2' || last == '\xb3');
}

} // namespace

int RecordingActive;

bool NamesLocalFile(const char* path)
{
    const char letter = static_cast<char>(path[0] | 0x20);
    if (letter < 'a' || letter > 'z' || path[1] != ':' || (path[2] != '\\' && path[2] != '/'))
        return false;
    const char root[] = {path[0], ':', '\\', '\0'};
    switch (GetDriveTypeA(root)) {
    case DRIVE_FIXED:
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
        break;
    default:
        return false; // a share, or no such drive
    }
    // The name is the end of the path: it ends where the path does.
    return !IsDeviceName(NameOf(path + 3).data());
}

void PlayVoiceMessage(HWND, const char* path)
{
    if (!path || !*path)
        return;
    // Synchronous, and never the system's default sound for a bad file.
    if (const WinmmFunctions* winmm = Winmm())
        winmm->PlaySoundA(path, nullptr, SND_FILENAME | SND_NODEFAULT);
}

void StartRecording(HWND note)
{
    // Two recorders would share the one recording state: the open one comes forward instead.
    if (RecorderWindow && IsWindow(RecorderWindow)) {
        BringForward(RecorderWindow);
        return;
    }
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(note, GWLP_HINSTANCE));
    HWND recorder = CreateRecorderWindow(note, instance, NoteRecorderStyle);
    OnRecorderGone(recorder, ForgetRecorder);
    RecorderWindow = recorder;
    PlaceBeside(recorder, note);
    SendMessageA(recorder, RecorderNewMessage, 0, reinterpret_cast<LPARAM>("waveaudio"));
    if (SendMessageA(recorder, RecorderCanRecordMessage, 0, 0))
        return; // it waits for its Record button
    Warn(note, "Questa periferica audio non pu\xf2 registrare!");
    if (IsWindow(recorder)) {
        SendMessageA(recorder, MCI_CLOSE, 0, 0);
        SendMessageA(recorder, WM_CLOSE, 0, 0);
    }
    ForgetRecorder(recorder);
}

void AskDeleteVoiceFile(HWND note)
{
    const char* voicePath = NoteVoicePath(note);
    if (!voicePath || !*voicePath)
        return;
    // A copy: the buffer goes with the note, which may go while the question is open.
    const std::string path = voicePath;
    const int answer = AskAboutVoiceFile(note, path);
    if (answer != IDYES && answer != IDNO)
        return;
    if (answer == IDYES && !DeleteAskedVoiceFile(note, path))
        return;
    if (IsWindow(note))
        SetNoteVoicePath(note, "");
}

void UpdateVoiceMenu(HWND note, HMENU popup)
{
    HMENU noteMenu = GetSubMenu(NoteMenu.get(), 0);
    if (!noteMenu || popup != GetSubMenu(noteMenu, NoteMenuVoicePosition))
        return;
    // The menu is shared by every note: it is set afresh for each opening.
    const char* path = NoteVoicePath(note);
    UINT state = MF_BYCOMMAND | (path && *path ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(noteMenu, IDM_PLAY_VOICE, state);
    EnableMenuItem(noteMenu, IDM_DISCARD_VOICE, state);
}

void HandleRecorderMode(HWND note, HWND recorder, LPARAM mode)
{
    // Only the open recorder's reports, for the note it records for, and none
    // once its stop waits to be handled (it is disabled then, and closed at
    // the end).
    if (!recorder || recorder != RecorderWindow || GetWindow(recorder, GW_OWNER) != note ||
        !IsWindowEnabled(recorder))
        return;
    if (mode == MCI_MODE_RECORD) {
        OnRecordingStarted(recorder);
    } else if (mode == MCI_MODE_STOP && RecordingActive) {
        // Its buttons would act on a recording that is about to be saved.
        EnableWindow(recorder, FALSE);
        PostMessageA(note, RecordingStoppedMessage, reinterpret_cast<WPARAM>(recorder), 0);
    }
}

void HandleRecordingStopped(HWND note, HWND recorder)
{
    // The recorder may have gone since the message was posted; the note, being
    // its receiver, is there.
    if (recorder && IsWindow(recorder) && recorder == RecorderWindow && GetWindow(recorder, GW_OWNER) == note)
        OnRecordingStopped(note, recorder);
}

bool SaveRecording(HWND recorder)
{
    if (!SendMessageA(recorder, RecorderCanSaveMessage, 0, 0)) {
        Warn(recorder, "Questa periferica audio non pu\xf2 salvare i file!");
        return false;
    }
    const ComdlgFunctions* comdlg = Comdlg();
    GlobalRecord<OPENFILENAMEA> dialog;
    if (!dialog || !comdlg)
        return false;
    char path[MAX_PATH] = "";
    dialog->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog->hwndOwner = recorder;
    dialog->hInstance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(recorder, GWLP_HINSTANCE));
    dialog->lpstrFilter = SaveFilter;
    dialog->nFilterIndex = 1;
    dialog->lpstrFile = path;
    dialog->nMaxFile = sizeof path;
    dialog->Flags = SaveDialogFlags;
    dialog->lpstrDefExt = "wav";
    if (!comdlg->GetSaveFileNameA(dialog.get()) || !*path || !IsWindow(recorder))
        return false; // cancelled, or the recorder went with its owner meanwhile
    // A save that fails has told the user already, in the recorder's own box.
    if (SendMessageA(recorder, MCI_SAVE, 0, reinterpret_cast<LPARAM>(path)) != 0)
        return false;
    return SetNoteVoicePath(GetWindow(recorder, GW_OWNER), path);
}
