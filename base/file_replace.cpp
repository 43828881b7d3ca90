#include "base/file_replace.h"

#include <windows.h>

#include <algorithm>

#include "base/fnv1a.h"
#include "base/handles.h"
#include "base/path_parts.h"

bool (*ReplaceStepHook)(const std::string& target, ReplaceStep step);

namespace {

constexpr std::size_t WritePiece = 64 * 1024;

bool Fits(const std::string& path)
{
    return path.size() < MAX_PATH;
}

// This process's mark, told apart from another copy's even on another
// computer sharing the folder: the process id and the moment it started.
std::string WriterMark()
{
    static const std::string mark = [] {
        char text[24];
        wsprintfA(text, "%lx%04lx", GetCurrentProcessId(), GetTickCount() & 0xFFFF);
        return std::string(text);
    }();
    return mark;
}

// A short name beside the target: "~" and four hex digits of the target's
// name, then four of the writer.
std::string ShortTempPrefix(const std::string& target)
{
    // Named after the target, so that two files in one folder do not share it.
    Fnv1a32 hash;
    hash.Add(NameOf(target));
    char name[8];
    wsprintfA(name, "~%04x", static_cast<unsigned>(hash.value() & 0xFFFF));
    return InFolder(FolderOf(target), name);
}

// Beside the target, on the same volume, so that one rename can put it in its
// place: "<target>.<mark>.tmp", or a short name in the same folder when that
// would not fit the path limit of the ANSI file functions.
std::string TempPathFor(const std::string& target)
{
    const std::string own = target + "." + WriterMark() + ".tmp";
    if (Fits(own))
        return own;
    char writer[8];
    wsprintfA(writer, "%04lx", GetCurrentProcessId() & 0xFFFF);
    return ShortTempPrefix(target) + writer;
}

bool HexDigits(const std::string& text, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i)
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f')))
            return false;
    return true;
}

// Exactly the names TempPathFor gives, of any writer: "<name>.<mark>.tmp",
// the mark being the hex process id (1 to 8 digits) and four more, or the
// short name. "<name>.vecchio.tmp" is a user's own file.
bool IsTempName(const std::string& name, const std::string& targetName, const std::string& shortPrefix)
{
    if (name.size() == shortPrefix.size() + 4 && name.compare(0, shortPrefix.size(), shortPrefix) == 0)
        return HexDigits(name, shortPrefix.size(), 4);
    const std::size_t head = targetName.size() + 1, tail = 4;
    if (name.size() < head + 5 + tail || name.size() > head + 12 + tail ||
        name.compare(0, head, targetName + ".") != 0 || name.compare(name.size() - tail, tail, ".tmp") != 0)
        return false;
    return HexDigits(name, head, name.size() - head - tail);
}

bool Tell(const std::string& target, ReplaceStep step)
{
    return !ReplaceStepHook || ReplaceStepHook(target, step);
}

bool WriteTempFile(const std::string& target, const std::string& temp,
                   std::initializer_list<FilePiece> pieces)
{
    // Left by a crash of this same process id: replaced, never reused, since
    // its attributes (read-only, hidden) would pass to the new file.
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temp.c_str());
    UniqueHandle file(
        CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || !Tell(target, ReplaceStep::TempCreated))
        return false;
    for (const FilePiece& piece : pieces) {
        for (std::size_t done = 0; done < piece.size;) {
            const DWORD size = static_cast<DWORD>(std::min(WritePiece, piece.size - done));
            DWORD written = 0;
            if (!WriteFile(file.get(), piece.data + done, size, &written, nullptr) || written != size)
                return false; // a full disk
            done += size;
            if (!Tell(target, ReplaceStep::TempWritten))
                return false;
        }
    }
    // On the disk before it takes the target's name: after a crash of the
    // system the renamed file could otherwise be empty.
    return FlushFileBuffers(file.get()) && Tell(target, ReplaceStep::TempFlushed);
}

ULONGLONG AsNumber(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

// ReplaceFileA is not used: Wine makes it two renames, the old file away and
// then the new one in, and between them there would be no file at all.
bool ReplaceFileInOneStep(const std::string& target, std::initializer_list<FilePiece> pieces)
{
    const std::string temp = TempPathFor(target);
    if (!WriteTempFile(target, temp, pieces) ||
        !MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    Tell(target, ReplaceStep::Replaced);
    return true;
}

void RemoveLeftoverTemporaryFiles(const std::string& target, unsigned long age)
{
    const std::string folder = FolderOf(target), name(NameOf(target));
    const std::string shortPrefix(NameOf(ShortTempPrefix(target)));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG oldest = AsNumber(now) - static_cast<ULONGLONG>(age) * 10000;
    for (const std::string& pattern : {target + ".*.tmp", InFolder(folder, shortPrefix + "*")}) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                AsNumber(found.ftLastWriteTime) < oldest && IsTempName(found.cFileName, name, shortPrefix)) {
                const std::string leftover = InFolder(folder, found.cFileName);
                SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(leftover.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
}
