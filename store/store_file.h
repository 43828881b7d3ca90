// The store file itself and the files beside it: read whole, replaced whole
// in one step so that its name always holds a complete store, looked at
// without reading it, locked while one writer saves, and the copies that sync
// clients and the run itself leave beside it.
#ifndef APPUNTELLO_STORE_STORE_FILE_H
#define APPUNTELLO_STORE_STORE_FILE_H

#include <string>
#include <vector>

enum class FileRead { Read, Missing, Failed };

// The file's bytes; Missing when there is no file (bytes empty), Failed when
// it is there but cannot be read whole.
FileRead ReadWholeFile(const char* path, std::string& bytes);

// What a look at a file tells without reading it: whether it is there, its
// size, and when it was last written and made. Another writer's save changes
// one of them (a sync client's rename gives a new file).
struct FileLook {
    bool exists = false;
    unsigned long long size = 0;
    unsigned long long written = 0;
    unsigned long long created = 0;
    bool operator==(const FileLook& other) const
    {
        return exists == other.exists && size == other.size && written == other.written &&
               created == other.created;
    }
    bool operator!=(const FileLook& other) const { return !(*this == other); }
};
FileLook LookAt(const std::string& path);

// The lock of writers to one store: the file "<store>.lock", made only where
// none is (an exclusive create, which works across computers on a share,
// where two machines' share modes may not meet), held while one writer reads
// and writes the store, and removed when released, or by the system when its
// holder dies. A lock older than a minute belongs to a writer that died
// without the system's help (a computer switched off) and is removed.
class StoreLock {
  public:
    explicit StoreLock(const std::string& store);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Another writer holds the store now: try again later.
    bool taken() const { return taken_; }

  private:
    void* handle_; // the lock file, deleted when closed
    bool taken_ = false;
};

// Makes the lock file: its handle, or INVALID_HANDLE_VALUE with the system's
// error set. Tests put their own here.
extern void* (*MakeLockFile)(const std::string& path);
extern void* (*const DefaultMakeLockFile)(const std::string& path);

// Sync clients' conflict copies of the store in its folder, full paths.
std::vector<std::string> FindConflictCopies(const std::string& store);

#endif
