// The recording as a WAVE file: the canonical 44-byte header of PCM sound
// and the file written whole under the user's name.
#ifndef APPUNTELLO_VOICE_WAVE_FILE_H
#define APPUNTELLO_VOICE_WAVE_FILE_H

#include <string>

#include "voice/wave_capture.h"

// Writes the sound as a PCM WAVE file at path, replacing any file there in
// one step, so that a failed save never leaves a broken file under that name.
// True when written; name is then the file's name without its folder.
bool SaveWaveFile(const char* path, const SoundBuffer& sound, std::string& name);

#endif
