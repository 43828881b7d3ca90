#include "voice/voice.h"

#include <mmsystem.h>

void PlayVoiceMessage(HWND, const char* path)
{
    // Synchronous, and never the system's default sound for a bad file.
    PlaySoundA(path, nullptr, SND_FILENAME | SND_NODEFAULT);
}

// Recording, discarding and the voice submenu are not built yet: these
// entry points are called from the note window and do nothing for now.
void StartRecording(HWND) {}
void AskDeleteVoiceFile(HWND) {}
void UpdateVoiceMenu(HWND, HMENU) {}
void HandleRecorderMode(HWND, LPARAM) {}
