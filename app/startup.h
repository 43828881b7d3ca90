// Start-up pieces of WinMain: the single-instance guard, the two window
// classes, the store path, the controller window and the message loop.
#ifndef APPUNTELLO_STARTUP_H
#define APPUNTELLO_STARTUP_H

#include <windows.h>

extern const char SingleInstanceMutexName[];

// Creates and owns the mutex that only the first running copy can hold.
// Another copy started at the same moment can pass the window search too.
HANDLE AcquireSingleInstanceMutex();

// When another copy runs, brings its controller window to the top and returns
// true. Waits a moment for a copy that holds the mutex but is still starting.
bool BringRunningInstanceToTop(bool otherCopyHoldsMutex);

// Registers both classes from one zero-filled record and returns the note
// class's atom (0 on failure).
ATOM RegisterWindowClasses(HINSTANCE instance);
void UnregisterWindowClasses(HINSTANCE instance);

// Where the store path reads the module path; tests put their own here.
extern DWORD(WINAPI* ReadModuleFileName)(HMODULE, LPSTR, DWORD);

// Fills StorePath from the module path; false when the module path did not
// fit its buffer (the derived path would name the wrong file).
bool SetStorePathFromModule(HINSTANCE instance);

// The controller, which loads the stored notes; then the newest note takes
// the keyboard if the program has the foreground.
HWND CreateControllerWindow(HINSTANCE instance);
// Until the quit message; the recorder's keys pass through the dialog manager.
void RunMessageLoop();
// Waits until a message comes or the time is up; a change in the store's
// folder told meanwhile is handed to the controller. The loop above waits
// here, and so do the tests' pumps.
void WaitForMessageOrStoreChange(DWORD milliseconds);

#endif
