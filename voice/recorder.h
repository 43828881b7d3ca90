// The recorder window: records from the wave-audio device into memory and
// saves the recording as a WAVE file. It answers the MCI window messages with
// the numbers and meanings of the platform's MCIWnd class, whose Wine version
// can neither record nor save.
#ifndef APPUNTELLO_RECORDER_H
#define APPUNTELLO_RECORDER_H

#include <windows.h>

// Besides MCI_SEEK, MCI_RECORD, MCI_STOP, MCI_SAVE and MCI_CLOSE (<mmsystem.h>),
// these MCIWnd messages, with the numbers <vfw.h> gives them.
constexpr UINT RecorderGetModeMessage = WM_USER + 106;   // MCIWNDM_GETMODEA
constexpr UINT RecorderNewMessage = WM_USER + 134;       // MCIWNDM_NEWA
constexpr UINT RecorderCanRecordMessage = WM_USER + 146; // MCIWNDM_CAN_RECORD
constexpr UINT RecorderCanSaveMessage = WM_USER + 147;   // MCIWNDM_CAN_SAVE
// Sent to the owner at each change of mode: wParam = the recorder, lParam = the new MCI_MODE_*.
constexpr UINT RecorderNotifyModeMessage = WM_USER + 200; // MCIWNDM_NOTIFYMODE
constexpr LPARAM RecorderStartPosition = -1;              // MCIWND_START

// MCIWNDF_* flags, carried in the low word of the style; the high word is the
// window style. This recorder always has its Record button and never a menu.
constexpr DWORD RecorderFlagNoMenu = 0x0008;
constexpr DWORD RecorderFlagShowName = 0x0010;
constexpr DWORD RecorderFlagShowMode = 0x0040;
constexpr DWORD RecorderFlagNotifyMode = 0x0100;
constexpr DWORD RecorderFlagRecord = 0x2000;

// The recorder a note opens: shown, recording, notifying its owner of each
// mode, its caption naming the recording and the mode, no menu.
constexpr DWORD NoteRecorderStyle = WS_VISIBLE | WS_OVERLAPPEDWINDOW | RecorderFlagRecord |
                                    RecorderFlagNotifyMode | RecorderFlagShowMode | RecorderFlagShowName |
                                    RecorderFlagNoMenu;
static_assert(NoteRecorderStyle == 0x10CF2158, "the style MCIWndCreate is given for a note's recorder");

// Child controls. Not 1 and 2: the dialog manager, which reads the
// recorder's keys, sends IDOK for Enter and IDCANCEL for Esc.
constexpr int RecorderRecordButtonId = 101;
constexpr int RecorderStopButtonId = 102;
constexpr int RecorderTimeLabelId = 103;

// Called as MCIWndCreateA without a file: the owner receives the mode
// notifications; RecorderNewMessage opens a recording. Registers the class
// if need be. Returns the window, or nullptr.
HWND CreateRecorderWindow(HWND owner, HINSTANCE instance, DWORD style);
constexpr char RecorderClassName[] = "Class_Recorder";

// Calls back with this recorder window as it is destroyed, however it goes
// (its close box, WM_CLOSE, its owner's destruction): whoever keeps its handle
// can forget it then. nullptr removes the callback.
void OnRecorderGone(HWND recorder, void (*callback)(HWND recorder));

#endif
