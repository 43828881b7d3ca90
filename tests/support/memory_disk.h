// Files in memory for the store's session: one computer's folder, the disk
// a session reaches it through, with a clock the test moves, and a copy of
// the program on it: the real session, and the notes its windows would show.
// Needs no windows: the native build uses it too.
#ifndef APPUNTELLO_TESTS_MEMORY_DISK_H
#define APPUNTELLO_TESTS_MEMORY_DISK_H

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "store/conflict_copies.h"
#include "store/store_disk.h"
#include "store/store_session.h"

// One computer's folder.
struct Folder {
    std::map<std::string, std::string> files;
    std::map<std::string, unsigned long long> written;
    unsigned long long clock = 0;
    bool locked = false;

    void Put(const std::string& name, const std::string& bytes)
    {
        files[name] = bytes;
        written[name] = ++clock;
    }
};

class MemoryDisk final : public StoreDisk {
  public:
    MemoryDisk(Folder& folder, unsigned long& ticks, std::string computer,
               std::string store = "Appuntello.ini")
        : folder_(folder), ticks_(ticks), computer_(std::move(computer)), store_(std::move(store))
    {
    }
    FileRead Read(const std::string& path, std::string& bytes) override
    {
        auto file = folder_.files.find(path);
        if (file == folder_.files.end()) {
            bytes.clear();
            return FileRead::Missing;
        }
        bytes = file->second;
        return FileRead::Read;
    }
    FileLook Look(const std::string& path) override
    {
        FileLook look;
        auto file = folder_.files.find(path);
        if (file != folder_.files.end()) {
            look.exists = true;
            look.size = file->second.size();
            look.written = folder_.written[path];
        }
        return look;
    }
    bool Replace(const std::string& path, const std::string& bytes) override
    {
        folder_.Put(path, bytes);
        if (path == store_)
            ++writes;
        return true;
    }
    bool Remove(const std::string& path) override { return folder_.files.erase(path) > 0; }
    bool Lock(const std::string&) override
    {
        if (folder_.locked)
            return false;
        return folder_.locked = true;
    }
    void Unlock() override { folder_.locked = false; }
    void RemoveLeftovers(const std::string&) override {}
    std::vector<std::string> ConflictCopies(const std::string& store) override
    {
        std::vector<std::string> copies;
        for (const auto& file : folder_.files)
            if (IsConflictCopyName(store, file.first))
                copies.push_back(file.first);
        return copies;
    }
    unsigned long Ticks() override { return ticks_; }
    // Far beyond every written time here: no copy is one written a moment ago.
    unsigned long long FileTimeNow() override { return 1ull << 62; }
    long Today() override { return 20000; }
    std::string Computer() override { return computer_; }
    std::uint64_t CountFloor() override { return 1; }

    int writes = 0; // of the store

  private:
    Folder& folder_;
    unsigned long& ticks_;
    std::string computer_;
    std::string store_;
};

// A copy of the program: its session and its screen, the notes its windows
// show, oldest first, as the controller shows what a sync brings.
struct SimulatedCopy {
    SimulatedCopy(Folder& folder, unsigned long& ticks, const std::string& computer,
                  std::string storeName = "Appuntello.ini")
        : disk(folder, ticks, computer, storeName), session(disk), store(std::move(storeName))
    {
    }
    MemoryDisk disk;
    StoreSession session;
    std::string store;
    std::vector<std::pair<NoteKey, StoredNote>> screen;
    std::map<NoteKey, int> busy; // notes whose dialog is open
    NoteKey nextKey = 1;
    StoredSettings settings{DefaultNoteWidth, DefaultNoteHeight, DefaultNoteColor};
    ScreenChanges changes; // what the last sync asked of the screen

    // A window holds a note's title, text and voice path, nothing more.
    static StoredNote Shown(const StoredNote& note)
    {
        return StoredNote{note.title, note.text, note.voicePath};
    }

    void Start()
    {
        std::vector<std::pair<int, StoredNote>> notes;
        session.Load(store.c_str(), settings, notes);
        for (const auto& note : notes) {
            screen.emplace_back(nextKey, Shown(note.second));
            session.AdoptLoaded(note.first, nextKey++);
        }
    }

    SyncResult Sync()
    {
        std::vector<NoteNow> notes;
        for (const auto& note : screen)
            notes.push_back(NoteNow{note.first, note.second, busy.count(note.first) > 0});
        const SyncResult result = session.Sync(store.c_str(), settings, notes, true, changes);
        if (result == SyncResult::Later)
            return result;
        for (const auto& update : changes.update)
            for (auto& note : screen)
                if (note.first == update.first)
                    note.second = Shown(update.second);
        for (NoteKey key : changes.close)
            screen.erase(std::remove_if(screen.begin(), screen.end(),
                                        [key](const auto& note) { return note.first == key; }),
                         screen.end());
        for (std::size_t i = 0; i < changes.show.size(); ++i) {
            screen.emplace_back(nextKey, Shown(changes.show[i]));
            session.Adopt(i, nextKey++);
        }
        return result;
    }
};

#endif
