// What the voice floor holds and does, seen from outside it: recorder windows
// by their class, and the wave-in device and the sounds played through the
// table of multimedia functions the program resolves once
// (base/system_library.h), whose entries are wrapped here.
#ifndef APPUNTELLO_TESTS_VOICE_COUNTS_H
#define APPUNTELLO_TESTS_VOICE_COUNTS_H

#include <windows.h>

#include <string>
#include <vector>

// From now on, counts what the program opens, closes and starts of the
// wave-in device and notes each sound it plays; again after the multimedia
// DLL has been forgotten (UseLibraryLoader). The counts go on from where they
// were.
void CountMultimediaCalls();

// Recorder windows of this thread: none may outlive its owner.
int LiveRecorders();
// Wave-in handles open, and times a device was started: none may outlive its
// recorder, and each recording starts its device once.
int OpenCaptures();
int CaptureStarts();

// A sound the program asked the system to play: the file, PlaySoundA's flags,
// and whether the system played it.
struct SoundPlayed {
    std::string path;
    DWORD flags;
    bool played;
};
// Every one since the first CountMultimediaCalls, oldest first.
const std::vector<SoundPlayed>& SoundsPlayed();

#endif
