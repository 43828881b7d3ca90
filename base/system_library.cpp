#include "base/system_library.h"

#include <cstring>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, newer than the headers for the oldest system we run on.
constexpr DWORD SearchSystemFolder = 0x00000800;

HMODULE LoadFromSystemFolder(const char* name)
{
    HMODULE module = LoadLibraryExA(name, nullptr, SearchSystemFolder);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A system without the search flags: the full path, and the DLLs it needs
    // in turn are looked for in its folder first.
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) >= MAX_PATH)
        return nullptr;
    path[length] = '\\';
    std::strcpy(path + length + 1, name);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE (*Loader)(const char* name) = LoadFromSystemFolder;

template <typename Function> bool Resolve(HMODULE module, const char* name, Function& function)
{
    // Through the generic function pointer type, which converts to any other.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return function != nullptr;
}

bool ResolveAll(HMODULE module, WinmmFunctions& f)
{
    return Resolve(module, "PlaySoundA", f.PlaySoundA) && Resolve(module, "waveInOpen", f.waveInOpen) &&
           Resolve(module, "waveInClose", f.waveInClose) &&
           Resolve(module, "waveInPrepareHeader", f.waveInPrepareHeader) &&
           Resolve(module, "waveInUnprepareHeader", f.waveInUnprepareHeader) &&
           Resolve(module, "waveInAddBuffer", f.waveInAddBuffer) &&
           Resolve(module, "waveInStart", f.waveInStart) && Resolve(module, "waveInReset", f.waveInReset);
}

bool ResolveAll(HMODULE module, ComdlgFunctions& f)
{
    return Resolve(module, "ChooseColorA", f.ChooseColorA) &&
           Resolve(module, "GetSaveFileNameA", f.GetSaveFileNameA);
}

// One DLL: loaded at the first request, whole or not at all.
template <typename Functions> class OnDemand {
  public:
    explicit constexpr OnDemand(const char* name) : name_(name) {}
    OnDemand(const OnDemand&) = delete;
    OnDemand& operator=(const OnDemand&) = delete;

    const Functions* Get()
    {
        if (!tried_) {
            tried_ = true;
            module_ = Loader(name_);
            complete_ = module_ && ResolveAll(module_, functions_);
        }
        return complete_ ? &functions_ : nullptr;
    }

    void Forget()
    {
        if (module_)
            FreeLibrary(module_);
        module_ = nullptr;
        tried_ = complete_ = false;
    }

  private:
    const char* name_;
    HMODULE module_ = nullptr;
    bool tried_ = false;
    bool complete_ = false;
    Functions functions_{};
};

OnDemand<WinmmFunctions> WinmmLibrary("winmm.dll");
OnDemand<ComdlgFunctions> ComdlgLibrary("comdlg32.dll");

} // namespace

void LoadDllsFromSystemFolderOnly()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    SetDirectories set = nullptr;
    if (Resolve(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories", set))
        set(SearchSystemFolder);
}

const WinmmFunctions* Winmm()
{
    return WinmmLibrary.Get();
}

const ComdlgFunctions* Comdlg()
{
    return ComdlgLibrary.Get();
}

void UseLibraryLoader(HMODULE (*load)(const char* name))
{
    WinmmLibrary.Forget();
    ComdlgLibrary.Forget();
    Loader = load ? load : LoadFromSystemFolder;
}
