#include "store/store_file.h"

#include <windows.h>

#include "base/file_replace.h"
#include "base/handles.h"

void (*SaveStepHook)(SaveStep step);

namespace {

// Far beyond any store of notes; a larger file would only exhaust memory.
constexpr LONGLONG LargestStoreFile = 64 * 1024 * 1024;

void Step(SaveStep step)
{
    if (SaveStepHook)
        SaveStepHook(step);
}

void StepOfReplacement(ReplaceStep step)
{
    switch (step) {
    case ReplaceStep::TempCreated:
        return Step(SaveStep::TempCreated);
    case ReplaceStep::TempWritten:
        return Step(SaveStep::TempWritten);
    case ReplaceStep::TempFlushed:
        return Step(SaveStep::TempFlushed);
    case ReplaceStep::Replaced:
        return Step(SaveStep::Replaced);
    }
}

// The old store gets a second name: a hard link costs nothing, and file
// systems without links (FAT) get a copy. The backup only helps: a save goes
// on without it.
void KeepBackup(const std::string& path)
{
    const std::string backup = path + ".bak";
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
// or the whole new one: the old store is linked as "<store>.bak" once the new
// content is safe on the disk, and one rename puts the new file in its place.
bool WriteStoreFile(const std::string& path, const std::string& bytes, bool keepBackup)
{
    ReplaceHooks hooks;
    hooks.afterStep = StepOfReplacement;
    if (keepBackup)
        hooks.beforeRename = KeepBackup;
    return ReplaceFileInOneStep(path, {{bytes.data(), bytes.size()}}, hooks);
}
