#include "store/store_file.h"

#include <windows.h>

#include "base/file_replace.h"
#include "base/handles.h"
#include "base/path_parts.h"
#include "store/conflict_copies.h"
#include "store/note_version.h"
#include "store/store_disk.h"

#include <memory>

namespace {

// Far beyond any store of notes; a larger file would only exhaust memory.
constexpr LONGLONG LargestStoreFile = 64 * 1024 * 1024;

// FILETIME counts 100-ns units.
constexpr unsigned long long FileTimePerMillisecond = 10000;

// A writer holds the lock for the milliseconds of a save: one older than a
// minute was left by a writer that died.
constexpr unsigned long long StaleLockAge = 60 * 1000 * FileTimePerMillisecond;

ULONGLONG AsNumber(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void* CreateLockFile(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

bool IsStale(const std::string& lock)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(lock.c_str(), GetFileExInfoStandard, &data))
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return AsNumber(now) > AsNumber(data.ftLastWriteTime) + StaleLockAge;
}

// Whether a lock that could not be made is there: one that its holder has
// just closed is refused (access denied) until the system lets go of its
// name, and may not be visible even then; a folder that refuses new files
// refuses the lock the same way, with no lock there at all.
bool LockIsThere(const std::string& lock)
{
    if (GetFileAttributesA(lock.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

} // namespace

void* (*const DefaultMakeLockFile)(const std::string& path) = CreateLockFile;
void* (*MakeLockFile)(const std::string& path) = CreateLockFile;

FileRead ReadWholeFile(const char* path, std::string& bytes)
{
    bytes.clear();
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                              : FileRead::Failed;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > LargestStoreFile)
        return FileRead::Failed;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            return FileRead::Failed;
        if (read == 0)
            break; // shorter than it said
        done += read;
    }
    bytes.resize(done);
    return FileRead::Read;
}

FileLook LookAt(const std::string& path)
{
    FileLook look;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return look;
    look.exists = true;
    look.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    look.written = AsNumber(data.ftLastWriteTime);
    look.created = AsNumber(data.ftCreationTime);
    return look;
}

StoreLock::StoreLock(const std::string& store) : handle_(INVALID_HANDLE_VALUE)
{
    const std::string lock = store + ".lock";
    HANDLE file = MakeLockFile(lock);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS && IsStale(lock)) {
        DeleteFileA(lock.c_str());
        file = MakeLockFile(lock);
    }
    if (file != INVALID_HANDLE_VALUE) {
        // Who holds it, for a person who finds it.
        char holder[64];
        DWORD length = wsprintfA(holder, "%lu\r\n", GetCurrentProcessId());
        WriteFile(file, holder, length, &length, nullptr);
        handle_ = file;
        return;
    }
    // Another writer's lock, or one being removed, is waited for. For any
    // other reason (a folder that refuses new files) the save goes on and
    // tells its own failure; taken for another writer's, it would wait
    // without a word for ever.
    const DWORD error = GetLastError();
    taken_ = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
             ((error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) && LockIsThere(lock));
}

StoreLock::~StoreLock()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(static_cast<HANDLE>(handle_));
}

std::vector<std::string> FindConflictCopies(const std::string& store)
{
    std::vector<std::string> copies;
    const std::string folder = FolderOf(store);
    const std::string_view name = NameOf(store);
    // Every conflict copy starts with the store's name without its extension.
    const std::string pattern = InFolder(folder, std::string(name.substr(0, name.rfind('.'))) + "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return copies;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsConflictCopyName(name, found.cFileName))
            copies.push_back(InFolder(folder, found.cFileName));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return copies;
}

namespace {

// The files of this computer, through the system.
class SystemStoreDisk final : public StoreDisk {
  public:
    FileRead Read(const std::string& path, std::string& bytes) override
    {
        return ReadWholeFile(path.c_str(), bytes);
    }
    FileLook Look(const std::string& path) override { return LookAt(path); }
    bool Replace(const std::string& path, const std::string& bytes) override
    {
        return ReplaceFileInOneStep(path, {{bytes.data(), bytes.size()}});
    }
    bool Remove(const std::string& path) override
    {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) != FALSE;
    }
    bool Lock(const std::string& store) override
    {
        lock_.reset(new StoreLock(store));
        if (!lock_->taken())
            return true;
        lock_.reset();
        return false;
    }
    void Unlock() override { lock_.reset(); }
    void RemoveLeftovers(const std::string& store) override
    {
        RemoveLeftoverTemporaryFiles(store, LeftoverAge);
    }
    std::vector<std::string> ConflictCopies(const std::string& store) override
    {
        return FindConflictCopies(store);
    }
    unsigned long Ticks() override { return GetTickCount(); }
    unsigned long long FileTimeNow() override
    {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return AsNumber(now);
    }
    long Today() override
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return DayNumber(now.wYear, now.wMonth, now.wDay);
    }
    // The machine's own identity and the user's name: two users of one
    // computer, and two computers, count apart.
    std::string Computer() override
    {
        if (!computer_.empty())
            return computer_;
        char guid[64] = "";
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0,
                          KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
            DWORD size = sizeof guid - 1, type = 0;
            if (RegQueryValueExA(key, "MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(guid), &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ)
                guid[0] = '\0';
            guid[sizeof guid - 1] = '\0';
            RegCloseKey(key);
        }
        if (!guid[0]) {
            DWORD size = sizeof guid;
            GetComputerNameA(guid, &size);
        }
        char user[257] = "";
        DWORD size = sizeof user;
        GetUserNameA(user, &size);
        computer_ = DerivedIdentity({guid, user}).substr(0, 8);
        return computer_;
    }
    // Seconds since 2020 when the run began.
    std::uint64_t CountFloor() override
    {
        if (!floor_) {
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            const ULONGLONG seconds = AsNumber(now) / (1000 * FileTimePerMillisecond);
            const ULONGLONG since2020 = 13222310400ull; // 1601-01-01 to 2020-01-01
            floor_ = seconds > since2020 ? seconds - since2020 : 1;
        }
        return floor_;
    }

  private:
    // A temporary file older than this is no save in progress.
    static constexpr unsigned long LeftoverAge = 60000;
    std::unique_ptr<StoreLock> lock_;
    std::string computer_;
    std::uint64_t floor_ = 0;
};

} // namespace

StoreDisk& SystemDisk()
{
    static SystemStoreDisk disk;
    return disk;
}
