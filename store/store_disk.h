// The files a run's store session reaches, and what it asks of the system:
// through the system (SystemDisk, in store_file.cpp) or, in tests, files in
// memory.
#ifndef APPUNTELLO_STORE_STORE_DISK_H
#define APPUNTELLO_STORE_STORE_DISK_H

#include <cstdint>
#include <string>
#include <vector>

#include "store/store_file.h"

// What the session does to files and asks of the system.
class StoreDisk {
  public:
    virtual ~StoreDisk() = default;
    virtual FileRead Read(const std::string& path, std::string& bytes) = 0;
    virtual FileLook Look(const std::string& path) = 0;
    // Replaces the file whole, in one step; false when it could not.
    virtual bool Replace(const std::string& path, const std::string& bytes) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Takes the writers' lock of the store; false when another writer holds it.
    virtual bool Lock(const std::string& store) = 0;
    virtual void Unlock() = 0;
    // Removes what an earlier save that died left of the store.
    virtual void RemoveLeftovers(const std::string& store) = 0;
    virtual std::vector<std::string> ConflictCopies(const std::string& store) = 0;
    // Milliseconds since some moment; wraps.
    virtual unsigned long Ticks() = 0;
    // Now, in the units of FileLook's times (100 ns since 1601).
    virtual unsigned long long FileTimeNow() = 0;
    // Today, in days since 1970-01-01, by this computer's clock.
    virtual long Today() = 0;
    // This computer's name in versions, and a count its changes start above
    // (so that a run never reuses a count an earlier run gave away).
    virtual std::string Computer() = 0;
    virtual std::uint64_t CountFloor() = 0;
};
// The system's files.
StoreDisk& SystemDisk();

#endif
