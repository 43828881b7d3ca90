// The voice tests' measures: the WAVE files the recorder writes, and how long
// recording and playing took.
#ifndef APPUNTELLO_TESTS_SOUND_H
#define APPUNTELLO_TESTS_SOUND_H

#include <windows.h>

#include <string>

#include "tests/support/where.h"

struct PcmLayout {
    WORD channels;
    DWORD rate;
    WORD bits;
};

// The length in seconds of a canonical PCM WAVE file (a 44-byte header whose
// sizes match the file); a failure at the caller's line and -1 when it is not
// one, or not of the expected layout.
double WaveSeconds(const std::string& path, Where at = Here());
double WaveSeconds(const std::string& path, const PcmLayout& expected, Where at = Here());

double SecondsSince(DWORD tick);

#endif
