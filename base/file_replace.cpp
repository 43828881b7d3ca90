#include "base/file_replace.h"

#include <windows.h>

#include <algorithm>

#include "base/handles.h"

namespace {

constexpr std::size_t WritePiece = 64 * 1024;

bool Fits(const std::string& path)
{
    return path.size() < MAX_PATH;
}

// Beside the target, on the same volume, so that one rename can put it in its
// place: "<target>.tmp", or a short name in the same folder when that would
// not fit the path limit of the ANSI file functions.
std::string TempPathFor(const std::string& target)
{
    if (Fits(target + ".tmp"))
        return target + ".tmp";
    const std::size_t slash = target.find_last_of("\\/") + 1;
    // Named after the target, so that two files in one folder do not share
    // it; no longer than the target's own name ("x.ini" at least).
    unsigned hash = 2166136261u;
    for (char c : target.substr(slash))
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const char digits[] = "0123456789abcdef";
    std::string name = "~";
    for (int shift = 12; shift >= 0; shift -= 4)
        name += digits[(hash >> shift) & 0xF];
    const std::string temp = target.substr(0, slash) + name;
    return Fits(temp + ".tmp") ? temp + ".tmp" : temp;
}

// A temporary file left by a crash is replaced, never reused: its attributes
// (read-only, hidden) would pass to the new file.
void RemoveStaleTemp(const std::string& temp)
{
    const DWORD attributes = GetFileAttributesA(temp.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temp.c_str());
}

void Tell(const ReplaceHooks& hooks, ReplaceStep step)
{
    if (hooks.afterStep)
        hooks.afterStep(step);
}

bool WriteTempFile(const std::string& temp, std::initializer_list<FilePiece> pieces,
                   const ReplaceHooks& hooks)
{
    RemoveStaleTemp(temp);
    {
        UniqueHandle file(
            CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        Tell(hooks, ReplaceStep::TempCreated);
        for (const FilePiece& piece : pieces) {
            for (std::size_t done = 0; done < piece.size;) {
                const DWORD size = static_cast<DWORD>(std::min(WritePiece, piece.size - done));
                DWORD written = 0;
                if (!WriteFile(file.get(), piece.data + done, size, &written, nullptr) || written != size)
                    return false; // a full disk
                done += size;
                Tell(hooks, ReplaceStep::TempWritten);
            }
        }
        // On the disk before it takes the target's name: after a crash of the
        // system the renamed file could otherwise be empty.
        if (!FlushFileBuffers(file.get()))
            return false;
    }
    Tell(hooks, ReplaceStep::TempFlushed);
    return true;
}

} // namespace

// ReplaceFileA is not used: Wine makes it two renames, the old file away and
// then the new one in, and between them there would be no file at all.
bool ReplaceFileInOneStep(const std::string& target, std::initializer_list<FilePiece> pieces,
                          const ReplaceHooks& hooks)
{
    const std::string temp = TempPathFor(target);
    if (!WriteTempFile(temp, pieces, hooks)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    if (hooks.beforeRename)
        hooks.beforeRename(target);
    if (!MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    Tell(hooks, ReplaceStep::Replaced);
    return true;
}
