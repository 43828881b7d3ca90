// Small owners for what the program must release: global memory blocks and
// kernel handles. Not copyable, so a block is released exactly once.
#ifndef APPUNTELLO_WIN_HANDLES_H
#define APPUNTELLO_WIN_HANDLES_H

#include <windows.h>

// A zero-filled, movable, locked global memory block holding one T; the records
// handed to the system (class, notify-icon, menu-item, colour-chooser) live in one.
template <typename T>
class GlobalRecord {
public:
    GlobalRecord() : handle_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(T)))
    {
        if (handle_)
            data_ = static_cast<T*>(GlobalLock(handle_));
    }
    ~GlobalRecord()
    {
        if (data_)
            GlobalUnlock(handle_);
        if (handle_)
            GlobalFree(handle_);
    }
    GlobalRecord(const GlobalRecord&) = delete;
    GlobalRecord& operator=(const GlobalRecord&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* operator->() const { return data_; }
    T* get() const { return data_; }

private:
    HGLOBAL handle_;
    T* data_ = nullptr;
};

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~UniqueHandle()
    {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

#endif
