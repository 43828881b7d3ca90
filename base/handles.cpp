#include "base/handles.h"

void* AllocateGlobalBlock(SIZE_T size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return nullptr;
    void* data = GlobalLock(block);
    if (!data)
        GlobalFree(block);
    return data;
}

void FreeGlobalBlock(void* data)
{
    if (!data)
        return;
    HGLOBAL block = GlobalHandle(data);
    GlobalUnlock(block);
    GlobalFree(block);
}
