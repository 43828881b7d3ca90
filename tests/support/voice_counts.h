// What the voice floor holds, counted from outside it, for the tests that
// check that nothing outlives its owner: recorder windows by their class, and
// the wave-in device through the table of multimedia functions the program
// resolves once (base/system_library.h), whose entries are wrapped here.
#ifndef APPUNTELLO_TESTS_VOICE_COUNTS_H
#define APPUNTELLO_TESTS_VOICE_COUNTS_H

// From now on, counts what the program opens, closes and starts of the
// wave-in device; again after the multimedia DLL has been forgotten
// (UseLibraryLoader). The counts go on from where they were.
void CountWaveIn();

// Recorder windows of this thread: none may outlive its owner.
int LiveRecorders();
// Wave-in handles open, and times a device was started: none may outlive its
// recorder, and each recording starts its device once.
int OpenCaptures();
int CaptureStarts();

#endif
