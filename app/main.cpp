// Appuntello: flying notes in the notification area.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/startup.h"
#include "base/handles.h"
#include "base/system_library.h"

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
