// Voice messages of a note: playing, recording through the recorder window,
// discarding, and the greying of the voice submenu.
#ifndef APPUNTELLO_VOICE_H
#define APPUNTELLO_VOICE_H

#include <windows.h>

// Plays a WAVE file to its end; silence for an empty path or a bad file.
void PlayVoiceMessage(HWND note, const char* path);
void StartRecording(HWND note);
void AskDeleteVoiceFile(HWND note);
void UpdateVoiceMenu(HWND note, HMENU popup);
void HandleRecorderMode(HWND note, LPARAM mode);

#endif
