#include "tests/support/voice_counts.h"

#include <windows.h>

#include <mmsystem.h>

#include "base/system_library.h"
#include "voice/recorder.h"

namespace {

WinmmFunctions Real;
int OpenCount;
int StartCount;
std::vector<SoundPlayed> Played;

BOOL WINAPI NotedPlaySound(LPCSTR sound, HMODULE module, DWORD flags)
{
    const BOOL played = Real.PlaySoundA(sound, module, flags);
    Played.push_back(SoundPlayed{sound ? sound : "", flags, played != FALSE});
    return played;
}

MMRESULT WINAPI CountedOpen(LPHWAVEIN device, UINT id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags)
{
    const MMRESULT result = Real.waveInOpen(device, id, format, callback, instance, flags);
    if (result == MMSYSERR_NOERROR)
        ++OpenCount;
    return result;
}

MMRESULT WINAPI CountedClose(HWAVEIN device)
{
    const MMRESULT result = Real.waveInClose(device);
    if (result == MMSYSERR_NOERROR)
        --OpenCount;
    return result;
}

MMRESULT WINAPI CountedStart(HWAVEIN device)
{
    const MMRESULT result = Real.waveInStart(device);
    if (result == MMSYSERR_NOERROR)
        ++StartCount;
    return result;
}

BOOL CALLBACK CountRecorder(HWND window, LPARAM count)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, RecorderClassName) == 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

} // namespace

void CountMultimediaCalls()
{
    // The program's table: resolved once and kept, so that it is not const
    // itself, only as the program is handed it.
    auto* table = const_cast<WinmmFunctions*>(Winmm());
    if (!table || table->waveInOpen == CountedOpen)
        return;
    Real = *table;
    table->PlaySoundA = NotedPlaySound;
    table->waveInOpen = CountedOpen;
    table->waveInClose = CountedClose;
    table->waveInStart = CountedStart;
}

int LiveRecorders()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountRecorder, reinterpret_cast<LPARAM>(&count));
    return count;
}

int OpenCaptures()
{
    return OpenCount;
}

int CaptureStarts()
{
    return StartCount;
}

const std::vector<SoundPlayed>& SoundsPlayed()
{
    return Played;
}
