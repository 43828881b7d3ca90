#include "store/store_file.h"

#include <windows.h>

#include <algorithm>

#include "base/handles.h"

void (*SaveStepHook)(SaveStep step);

namespace {

// Far beyond any store of notes; a larger file would only exhaust memory.
constexpr LONGLONG LargestStoreFile = 64 * 1024 * 1024;
constexpr std::size_t WritePiece = 64 * 1024;

void Step(SaveStep step)
{
    if (SaveStepHook)
        SaveStepHook(step);
}

bool Fits(const std::string& path)
{
    return path.size() < MAX_PATH;
}

// Beside the store, on the same volume, so that one rename can put it in its
// place: "<store>.tmp", or a short name in the same folder when that would
// not fit the path limit of the ANSI file functions.
std::string TempPathFor(const std::string& path)
{
    if (Fits(path + ".tmp"))
        return path + ".tmp";
    const std::size_t slash = path.find_last_of("\\/") + 1;
    // Named after the store, so that two programs' stores in one folder do not
    // share it; no longer than the store's own name ("x.ini" at least).
    unsigned hash = 2166136261u;
    for (char c : path.substr(slash))
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const char digits[] = "0123456789abcdef";
    std::string name = "~";
    for (int shift = 12; shift >= 0; shift -= 4)
        name += digits[(hash >> shift) & 0xF];
    const std::string temp = path.substr(0, slash) + name;
    return Fits(temp + ".tmp") ? temp + ".tmp" : temp;
}

// A temporary file left by a crash is replaced, never reused: its attributes
// (read-only, hidden) would pass to the new store.
void RemoveStaleTemp(const std::string& temp)
{
    const DWORD attributes = GetFileAttributesA(temp.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temp.c_str());
}

bool WriteTempFile(const std::string& temp, const std::string& bytes)
{
    RemoveStaleTemp(temp);
    {
        UniqueHandle file(
            CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        Step(SaveStep::TempCreated);
        for (std::size_t done = 0; done < bytes.size();) {
            const DWORD piece = static_cast<DWORD>(std::min(WritePiece, bytes.size() - done));
            DWORD written = 0;
            if (!WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written != piece)
                return false; // a full disk
            done += piece;
            Step(SaveStep::TempWritten);
        }
        // On the disk before it takes the store's name: after a crash of the
        // system the renamed file could otherwise be empty.
        if (!FlushFileBuffers(file.get()))
            return false;
    }
    Step(SaveStep::TempFlushed);
    return true;
}

// The old store gets a second name: a hard link costs nothing, and file
// systems without links (FAT) get a copy. The backup only helps: a save goes
// on without it.
void KeepBackup(const std::string& path, const std::string& backup)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return; // no store yet: an older backup stays as it is
    DeleteFileA(backup.c_str());
    Step(SaveStep::BackupRemoved);
    if (!CreateHardLinkA(backup.c_str(), path.c_str(), nullptr))
        CopyFileA(path.c_str(), backup.c_str(), FALSE);
    Step(SaveStep::BackupMade);
}

} // namespace

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

// Replaces the store so that its name always holds either the whole old file
// or the whole new one, whatever ends the program or the system meanwhile:
// the new content is written and flushed to a temporary file in the same
// folder (so the same volume), the old store is linked as "<store>.bak", and one
// rename puts the new file in its place. ReplaceFileA is not used: Wine makes
// it two renames, the old file away and then the new one in, and between them
// there would be no store at all.
bool WriteStoreFile(const std::string& path, const std::string& bytes, bool keepBackup)
{
    const std::string temp = TempPathFor(path);
    if (!WriteTempFile(temp, bytes)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    if (keepBackup)
        KeepBackup(path, path + ".bak");
    if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    Step(SaveStep::Replaced);
    return true;
}
