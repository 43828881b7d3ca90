#include "app/controller_run.h"

#include <new>

bool AttachRun(HWND controller)
{
    auto* run = new (std::nothrow) ControllerRun(controller);
    if (!run)
        return false;
    SetWindowLongPtrA(controller, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(run));
    return true;
}

void DetachRun(HWND controller)
{
    delete RunOf(controller);
    SetWindowLongPtrA(controller, GWLP_USERDATA, 0);
}

ControllerRun* RunOf(HWND controller)
{
    return reinterpret_cast<ControllerRun*>(GetWindowLongPtrA(controller, GWLP_USERDATA));
}
