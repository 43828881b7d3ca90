// The system DLLs that only some commands need: the multimedia functions
// (recording and playing voice messages) and the common dialogs (the colour
// picker and the Save dialog). Neither DLL is one of the system's known DLLs,
// which Windows always takes from the system folder: linked at build time, a
// DLL of the same name left beside the program (in a downloads folder, say)
// would be loaded in its place and run inside it. So both come from the
// system folder only, at their first use, and take no memory before.
#ifndef APPUNTELLO_BASE_SYSTEM_LIBRARY_H
#define APPUNTELLO_BASE_SYSTEM_LIBRARY_H

#include <windows.h>

#include <commdlg.h>
#include <mmsystem.h>

struct WinmmFunctions {
    decltype(&::PlaySoundA) PlaySoundA;
    decltype(&::waveInOpen) waveInOpen;
    decltype(&::waveInClose) waveInClose;
    decltype(&::waveInPrepareHeader) waveInPrepareHeader;
    decltype(&::waveInUnprepareHeader) waveInUnprepareHeader;
    decltype(&::waveInAddBuffer) waveInAddBuffer;
    decltype(&::waveInStart) waveInStart;
    decltype(&::waveInReset) waveInReset;
};

struct ComdlgFunctions {
    decltype(&::ChooseColorA) ChooseColorA;
    decltype(&::GetSaveFileNameA) GetSaveFileNameA;
};

// First thing in WinMain: every DLL loaded from then on, and every DLL that
// one needs in turn, comes from the system folder. Systems without
// SetDefaultDllDirectories (XP, Vista, 7 without update KB2533623) go on
// without it; the loads below name the system folder themselves.
void LoadDllsFromSystemFolderOnly();

// Loaded and resolved at the first call, then kept for the run. nullptr when
// the DLL or one of its functions cannot be had: voice messages then behave as
// without a sound device, and the dialogs as if cancelled.
const WinmmFunctions* Winmm();
const ComdlgFunctions* Comdlg();

// For tests: the DLLs are loaded with this function from now on (nullptr: from
// the system folder, as in the program), and those loaded before are forgotten.
void UseLibraryLoader(HMODULE (*load)(const char* name));

#endif
