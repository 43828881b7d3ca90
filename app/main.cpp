// Appuntello: flying notes in the notification area. Its allocator and
// std::string are its own (program_runtime.cpp), so that no exception runtime
// is linked into it.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "app/startup.h"
#include "base/handles.h"
#include "base/system_library.h"

#if defined(__GNUC__) && (defined(__SSP__) || defined(__SSP_STRONG__) || defined(__SSP_ALL__))
// The stack protector's canary. The toolchain's runtime (libssp) seeds it
// through the system's cryptographic provider, which loads three more DLLs
// (rsaenh, crypt32 and bcrypt under Wine) and half a megabyte with them before
// WinMain has restricted where DLLs come from. Seeded here first, from the
// clock, the counters and the ids, as Visual C++ seeds its own, it leaves the
// provider alone: libssp skips a canary that is already set. This runs before
// the default-priority constructors and, changing the canary, must not itself
// be protected.
extern "C" void* __stack_chk_guard;
__attribute__((constructor(101), no_stack_protector)) static void SeedStackGuard()
{
    FILETIME now;
    LARGE_INTEGER counter;
    GetSystemTimeAsFileTime(&now);
    QueryPerformanceCounter(&counter);
    uintptr_t seed = now.dwLowDateTime ^ now.dwHighDateTime ^ counter.LowPart ^ counter.HighPart ^
                     GetCurrentThreadId() ^ (GetCurrentProcessId() << 16) ^ reinterpret_cast<uintptr_t>(&now);
    __stack_chk_guard = reinterpret_cast<void*>(seed ? seed : 0xBB40E64E);
}
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int)
{
    // Before anything could load a DLL: none may come from the program's folder.
    LoadDllsFromSystemFolderOnly();
    if (previous)
        return 0;
    if (BringRunningInstanceToTop(false))
        return 0;
    UniqueHandle singleInstance(AcquireSingleInstanceMutex());
    if (!singleInstance.valid()) {
        BringRunningInstanceToTop(true);
        return 0;
    }

    if (RegisterWindowClasses(instance) == 0 || !SetStorePathFromModule(instance)) {
        UnregisterWindowClasses(instance);
        return 0;
    }
    InitCommonControls();
    if (CreateControllerWindow(instance))
        RunMessageLoop();
    UnregisterWindowClasses(instance);
    return 0;
}
