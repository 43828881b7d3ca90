#include "voice/voice.h"

#include <commdlg.h>
#include <mmsystem.h>

#include <algorithm>
#include <string>

#include "base/shared_state.h"
#include "base/system_library.h"
#include "base/voice_path.h"
#include "res/resource.h"
#include "voice/recorder.h"

namespace {

// Shown, recording, notifying its owner of each mode; caption with name and mode; no menu.
constexpr DWORD NoteRecorderStyle = 0x10CF2158;
constexpr DWORD SaveDialogFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT; // 0x80006
// Two entries, each a name and a pattern; the literal's own NUL ends the list.
const char SaveFilter[] = "File Audio\0*.wav\0Tutti i files\0*.*\0";

const char WarningCaption[] = "Attenzione";

// Set while a stop is being handled: the question and the Save dialog run
// modal loops in which the recorder could report again.
bool HandlingStop;

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

// The end of a recording: what to do with the old message, the new one saved
// if the user names a file, and the recorder closed, its recording with it.
// The note or the recorder may be destroyed while the question or the Save
// dialog is open (with "Elimina Tutti" from the tray, say).
void OnRecordingStopped(HWND note, HWND recorder)
{
    HandlingStop = true;
    // Its buttons would act on a recording that is about to be saved.
    EnableWindow(recorder, FALSE);
    AskDeleteVoiceFile(note);
    if (IsWindow(recorder))
        SaveRecording(recorder);
    RecordingActive = 0;
    if (IsWindow(recorder))
        SendMessageA(recorder, WM_CLOSE, 0, 0); // its destruction forgets it
    HandlingStop = false;
}

void OnRecordingStarted(HWND recorder)
{
    // A recording always starts from its beginning.
    SendMessageA(recorder, MCI_SEEK, 0, RecorderStartPosition);
    SendMessageA(recorder, MCI_RECORD, 0, 0);
    RecordingActive = 1;
}

// The names Windows gives to devices in every folder, whatever extension follows.
bool IsDeviceName(std::string name)
{
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
        name == "CONOUT$")
        return true;
    // COM0 to COM9 and LPT0 to LPT9, also with the superscript digits 1, 2 and 3 of code page 1252.
    const char last = name.empty() ? '\0' : name.back();
    const std::string stem = name.substr(0, 3);
    return name.size() == 4 && (stem == "COM" || stem == "LPT") &&
           ((last >= '0' && last <= '9') || last == '\xb9' || last == '\xb2' || last == '\xb3');
}

} // namespace

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
    const char* name = path + std::string(path).find_last_of("\\/") + 1;
    return !IsDeviceName(name);
}

void PlayVoiceMessage(HWND, const char* path)
{
    const WinmmFunctions* winmm = Winmm();
    if (!path || !*path || !winmm)
        return;
    // Synchronous, and never the system's default sound for a bad file.
    winmm->PlaySoundA(path, nullptr, SND_FILENAME | SND_NODEFAULT);
}

void StartRecording(HWND note)
{
    // Two recorders would share the one recording state: the open one comes forward instead.
    if (RecorderWindow && IsWindow(RecorderWindow)) {
        BringForward(RecorderWindow);
        return;
    }
    OnRecorderGone(ForgetRecorder);
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(note, GWLP_HINSTANCE));
    HWND recorder = CreateRecorderWindow(note, instance, NoteRecorderStyle, nullptr);
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
    std::string path = voicePath;
    int answer = MessageBoxA(note, "Vuoi cancellare questo file audio?", path.c_str(), MB_YESNOCANCEL);
    if (answer != IDYES && answer != IDNO)
        return; // Cancel, Escape, the close box, or no box at all
    if (answer == IDYES && !DeleteVoiceFile(path.c_str())) {
        // Forgetting it would leave a file that nothing refers to any more.
        Warn(note, "Impossibile cancellare il file audio\n" + path);
        return;
    }
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
    // while a stop is being handled: the recorder is closed at its end.
    if (HandlingStop || !recorder || recorder != RecorderWindow || GetWindow(recorder, GW_OWNER) != note)
        return;
    if (mode == MCI_MODE_RECORD)
        OnRecordingStarted(recorder);
    else if (mode == MCI_MODE_STOP && RecordingActive)
        OnRecordingStopped(note, recorder);
}

void SaveRecording(HWND recorder)
{
    if (!SendMessageA(recorder, RecorderCanSaveMessage, 0, 0)) {
        Warn(recorder, "Questa periferica audio non pu\xf2 salvare i file!");
        return;
    }
    const ComdlgFunctions* comdlg = Comdlg();
    GlobalRecord<OPENFILENAMEA> dialog;
    if (!dialog || !comdlg)
        return;
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
        return; // cancelled, or the recorder went with its owner meanwhile
    if (SendMessageA(recorder, MCI_SAVE, 0, reinterpret_cast<LPARAM>(path)) != 0) {
        Warn(recorder, std::string("Impossibile salvare il messaggio vocale nel file\n") + path);
        return;
    }
    SetNoteVoicePath(GetWindow(recorder, GW_OWNER), path);
}
