// The program's own allocator and string, linked into Appuntello.exe alone.
//
// The program throws and catches no exception, but two parts of GCC's
// prebuilt runtime would still link the whole exception machinery (the
// unwinder, the personality routine, the thread library under them and their
// unwind tables, about 99 KB of a 231 KB program): its operator new, which
// throws bad_alloc, and its prebuilt std::string, whose members carry catch
// handlers. So the operators are the program's own, on malloc and free, and
// std::string is instantiated here, in a file built without exceptions.
//
// Running out of memory ends the process at once and without a message: a
// message box would need memory of its own. What may fail without ending the
// program (the recording's growing buffer) asks malloc and realloc directly.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

namespace {

[[noreturn]] void EndForLackOfMemory()
{
    ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
}

void* AllocateOrEnd(std::size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        EndForLackOfMemory();
    return block;
}

} // namespace

// Every form the program's code and the library's headers call; the aligned
// forms are left to the library, as nothing here is over-aligned.
void* operator new(std::size_t size)
{
    return AllocateOrEnd(size);
}
void* operator new[](std::size_t size)
{
    return AllocateOrEnd(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

#if defined(__GLIBCXX__)
// The library's headers declare std::string's members instantiated in the
// prebuilt library; this definition gives the program a copy of its own
// without catch handlers, found before the library's.
template class std::basic_string<char>;

// What the library's inline code would throw (a length beyond any string, an
// index out of range) ends the program as running out of memory does.
namespace std {
void __throw_bad_alloc()
{
    EndForLackOfMemory();
}
void __throw_bad_array_new_length()
{
    EndForLackOfMemory();
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
