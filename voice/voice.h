// Voice messages of a note: playing, recording through the recorder window,
// discarding, and the greying of the voice submenu. One recorder at a time,
// tracked by RecorderWindow and RecordingActive.
#ifndef APPUNTELLO_VOICE_H
#define APPUNTELLO_VOICE_H

#include <windows.h>

#include "base/shared_state.h"

// RecorderWindow, the one recorder on screen, is declared with the shared
// state (base/shared_state.h).
// Set to 1 by the recorder's report that it records, back to 0 when its stop is handled or it goes.
extern int RecordingActive;

// Plays a WAVE file to its end; silence for an empty path or a bad file.
void PlayVoiceMessage(HWND note, const char* path);
// True when opening the path reaches a file on a local drive and nothing else:
// no server (\\server\share, a drive mapped to a share), no device or
// namespace path (\\.\, \\?\), no device name (CON, NUL, COM1...) and
// nothing relative to a folder that could be anywhere. The program opens
// other paths only when the user asks.
bool NamesLocalFile(const char* path);
// Opens the recorder for the note, or brings forward the one already open.
void StartRecording(HWND note);
// Asks whether to delete the note's voice file; Yes deletes it and No only
// forgets it. Nothing is asked when the note has no voice message.
void AskDeleteVoiceFile(HWND note);
// Greys play and discard for a note without a message when popup is the voice submenu.
void UpdateVoiceMenu(HWND note, HMENU popup);
// The recorder's report of its new mode (RecorderNotifyModeMessage,
// voice/recorder.h): recording starts from the beginning; at the end of a
// recording the recorder is disabled and the note posts itself
// RecordingStoppedMessage, so that the question and the save come once the
// recorder's own click has returned.
void HandleRecorderMode(HWND note, HWND recorder, LPARAM mode);
// Posted to a note by HandleRecorderMode: wParam is the recorder.
constexpr UINT RecordingStoppedMessage = WM_APP + 3;
// Asks, saves and closes the recorder, if it is still the note's open one.
void HandleRecordingStopped(HWND note, HWND recorder);
// Asks for a file name and saves the recording into it; the recorder's owner
// refers to the file only once it has been written. True when it was.
bool SaveRecording(HWND recorder);

#endif
