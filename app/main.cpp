// Appuntello: flying notes in the notification area.
#include <windows.h>
#include <commctrl.h>

#include "app/startup.h"
#include "base/handles.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int)
{
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
