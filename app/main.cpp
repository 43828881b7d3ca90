// Appuntello: flying notes in the notification area.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdlib>

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

#if defined(__GLIBCXX__)
// The program catches no exception: whatever the standard library would throw
// (out of memory, a length beyond any string) ends it. GCC's runtime would
// first print the exception's demangled type to a console this program does
// not have, and building the exception objects brings in a second string
// implementation; together they were a third of the program. Ending at once
// is what the user sees either way.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
namespace std {
void __throw_bad_alloc()
{
    std::abort();
}
void __throw_bad_array_new_length()
{
    std::abort();
}
void __throw_length_error(const char*)
{
    std::abort();
}
void __throw_logic_error(const char*)
{
    std::abort();
}
void __throw_out_of_range_fmt(const char*, ...)
{
    std::abort();
}
} // namespace std
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
