// What the voice floor counts of what it holds, for the tests that check that
// nothing outlives its owner; defined beside the counters in voice/.
#ifndef APPUNTELLO_TESTS_VOICE_COUNTS_H
#define APPUNTELLO_TESTS_VOICE_COUNTS_H

// Recorder windows that exist: none may outlive its owner.
int LiveRecorders();
// Wave-in handles open, and times a device was started: none may outlive its
// recorder, and each recording starts its device once.
int OpenCaptures();
int CaptureStarts();

#endif
