#include "voice/voice_path.h"

#include <cstring>

#include "base/shared_state.h"

char* AllocateVoicePath(SIZE_T capacity)
{
    return static_cast<char*>(AllocateGlobalBlock(capacity));
}

char* NoteVoicePath(HWND note)
{
    return reinterpret_cast<char*>(GetWindowLongPtrA(note, 0));
}

bool SetNoteVoicePath(HWND note, const char* path)
{
    char* buffer = NoteVoicePath(note);
    if (!buffer)
        return false;
    SIZE_T needed = std::strlen(path) + 1;
    if (needed > GlobalSize(GlobalHandle(buffer))) {
        char* larger = AllocateVoicePath(needed);
        if (!larger)
            return false;
        FreeGlobalBlock(buffer);
        buffer = larger;
        SetWindowLongPtrA(note, 0, reinterpret_cast<LONG_PTR>(buffer));
    }
    std::memcpy(buffer, path, needed);
    NoteChanged();
    return true;
}
