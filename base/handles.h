// Small owners for what the program must release: global memory blocks,
// kernel handles, GDI objects, icons, menus and folder watches. None is copyable, so each handle is
// released exactly once, by its one owner.
#ifndef APPUNTELLO_BASE_HANDLES_H
#define APPUNTELLO_BASE_HANDLES_H

#include <windows.h>

// A zero-filled block of movable global memory, locked for as long as it is
// used: the records handed to the system, the registry's nodes and the notes'
// voice paths all live in one. nullptr when no memory could be had.
void* AllocateGlobalBlock(SIZE_T size);
// Unlocks and frees a block from AllocateGlobalBlock; nullptr is ignored.
void FreeGlobalBlock(void* data);

// One T in such a block, released when the record goes out of scope.
template <typename T> class GlobalRecord {
  public:
    GlobalRecord() : data_(static_cast<T*>(AllocateGlobalBlock(sizeof(T)))) {}
    ~GlobalRecord() { FreeGlobalBlock(data_); }
    GlobalRecord(const GlobalRecord&) = delete;
    GlobalRecord& operator=(const GlobalRecord&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* operator->() const { return data_; }
    T* get() const { return data_; }

  private:
    T* data_;
};

class UniqueHandle {
  public:
    explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~UniqueHandle()
    {
        if (valid())
            CloseHandle(handle_);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

// Owns a handle released by Release: replacing the handle releases the old
// one, and so does the owner's end.
template <typename Handle, typename Release> class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(Handle handle = nullptr)
    {
        if (handle_ && handle_ != handle)
            Release()(handle_);
        handle_ = handle;
    }

  private:
    Handle handle_ = nullptr;
};

struct BrushRelease {
    void operator()(HBRUSH brush) const { DeleteObject(brush); }
};
struct MenuRelease {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};

struct FontRelease {
    void operator()(HFONT font) const { DeleteObject(font); }
};
// An icon from LoadImage without LR_SHARED, which its loader must destroy.
struct IconRelease {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};

// A watch on a folder from FindFirstChangeNotification.
struct ChangeNotificationRelease {
    void operator()(HANDLE watch) const { FindCloseChangeNotification(watch); }
};

using OwnedBrush = Owned<HBRUSH, BrushRelease>;
using OwnedMenu = Owned<HMENU, MenuRelease>;
using OwnedFont = Owned<HFONT, FontRelease>;
using OwnedIcon = Owned<HICON, IconRelease>;
using OwnedChangeNotification = Owned<HANDLE, ChangeNotificationRelease>;

#endif
