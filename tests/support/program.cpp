#include "tests/support/program.h"

#include <winternl.h>

#include <cstring>

#include "base/shared_state.h"
#include "app/controller.h"
#include "app/startup.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"

void ProgramTest::SetUp()
{
    ASSERT_NE(RegisterWindowClasses(instance), 0);
    std::string store = StoreFile();
    ASSERT_LT(store.size(), sizeof StorePath);
    std::strcpy(StorePath, store.c_str());
    NoteCount = 0;
    controller = CreateControllerWindow(instance);
    ASSERT_NE(controller, nullptr);
}

void ProgramTest::TearDown()
{
    if (controller && IsWindow(controller))
        CloseProgram();
    ReadLocalTime = GetLocalTime;
    UnregisterWindowClasses(instance);
}

void ProgramTest::CloseProgram()
{
    SendMessageA(controller, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(controller));
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(NoteListHead, nullptr);
}

std::vector<HWND> ProgramTest::Notes() const
{
    std::vector<HWND> notes;
    for (NoteNode* node = NoteListHead; node; node = node->next)
        notes.push_back(node->window);
    return notes;
}

HWND ProgramTest::NewNote(const char* title)
{
    HWND note = CreateNoteWindow(title);
    EXPECT_NE(note, nullptr);
    return note;
}

namespace {

// Wine answers GetGuiResources with 0. Its GDI objects live in a per-process
// handle table that the PEB points to, as on Windows; a used entry has a type.
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "layout of the shared GDI handle table");
constexpr int GdiHandleCount = 0x10000;

const GdiHandleEntry* GdiHandleTable()
{
    using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return nullptr;
    auto* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    constexpr size_t offset = sizeof(void*) == 8 ? 0xF8 : 0x94;  // GdiSharedHandleTable
    return *reinterpret_cast<GdiHandleEntry* const*>(peb + offset);
}

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, CountChild, count);  // all descendants
    return TRUE;
}

}  // namespace

DWORD GdiObjects()
{
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return count;
    const GdiHandleEntry* table = GdiHandleTable();
    DWORD count = 0;
    for (int i = 0; table && i < GdiHandleCount; ++i)
        if (table[i].type)
            ++count;
    return count;
}

DWORD UserObjects()
{
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))
        return count;
    // Under Wine: the windows of this thread, children included.
    DWORD count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

