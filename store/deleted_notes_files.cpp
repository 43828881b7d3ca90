// The files of deleted notes on disk: written, sent to the Recycle Bin or
// kept beside the store, and found again when they come back.
#include "store/deleted_notes.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <utility>

#include "base/handles.h"
#include "base/path_parts.h"

bool (*RecycleBinKeeps)(const std::string& folder) = SystemRecycleBinKeeps;

namespace {

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder and each missing one above it.
bool MakeFolder(const std::string& folder)
{
    if (IsFolder(folder))
        return true;
    // Up to a root ("C:\\", "\\"), or the current folder, which are there.
    const std::string above = FolderOf(folder);
    if (above != folder && above != "." && !MakeFolder(above))
        return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || IsFolder(folder);
}

// A new file in the folder under the name, or under the name with " (2)",
// " (3)" ... before its extension when it is taken: never over another
// deletion's file. Its path, or "" when none could be written whole.
std::string WriteNewFile(const std::string& folder, const std::string& name, const std::string& bytes)
{
    const std::size_t dot = name.rfind('.');
    for (int copy = 1; copy < 100; ++copy) {
        std::string fileName = name;
        if (copy > 1) {
            char suffix[16];
            wsprintfA(suffix, " (%d)", copy);
            fileName.insert(dot, suffix);
        }
        const std::string path = InFolder(folder, fileName);
        bool written = false;
        {
            UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) {
                const DWORD error = GetLastError();
                if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                    continue;
                return std::string();
            }
            DWORD done = 0;
            written = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                      done == bytes.size();
        }
        if (written)
            return path;
        DeleteFileA(path.c_str());
        return std::string();
    }
    return std::string();
}

// True once the shell has taken the file away with undo.
bool SendToRecycleBin(const std::string& file)
{
    std::string from = file;
    from.push_back('\0'); // a list of names, ended by an empty one
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted &&
           GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES;
}

struct FoundFile {
    std::string path;
    unsigned long long written;
};

std::vector<FoundFile> DeletedNotesFilesIn(const std::string& folder, const std::string& storeName)
{
    std::vector<FoundFile> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(InFolder(folder, "*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            IsDeletedNotesFileName(storeName, found.cFileName))
            files.push_back(
                FoundFile{InFolder(folder, found.cFileName),
                          (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                              found.ftLastWriteTime.dwLowDateTime});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

// Only the newest files stay.
void KeepTheLast(const std::string& folder, const std::string& storeName)
{
    std::vector<FoundFile> files = DeletedNotesFilesIn(folder, storeName);
    if (files.size() <= KeptBesideStore)
        return;
    std::sort(files.begin(), files.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.written > b.written; });
    for (std::size_t i = KeptBesideStore; i < files.size(); ++i)
        DeleteFileA(files[i].path.c_str());
}

DeletedNotesKept KeepBesideStore(const std::string& storePath, const std::string& name,
                                 const std::string& bytes)
{
    const std::string folder = DeletedNotesFolderBeside(storePath);
    if (!MakeFolder(folder) || WriteNewFile(folder, name, bytes).empty())
        return DeletedNotesKept::Nowhere;
    KeepTheLast(folder, std::string(NameOf(storePath)));
    return DeletedNotesKept::BesideStore;
}

DWORD ReadDword(HKEY root, const std::string& key, const char* value)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return 0;
    DWORD data = 0, type = 0, size = sizeof data;
    if (RegQueryValueExA(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        data = 0;
    RegCloseKey(opened);
    return data;
}

} // namespace

bool SystemRecycleBinKeeps(const std::string& folder)
{
    char root[MAX_PATH];
    if (!GetVolumePathNameA(folder.c_str(), root, MAX_PATH))
        return false;
    // A share, and drives without a bin (removable ones among them): the shell deletes there.
    if ((root[0] == '\\' && root[1] == '\\') || GetDriveTypeA(root) != DRIVE_FIXED)
        return false;
    const char policies[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    if (ReadDword(HKEY_CURRENT_USER, policies, "NoRecycleFiles") == 1 ||
        ReadDword(HKEY_LOCAL_MACHINE, policies, "NoRecycleFiles") == 1)
        return false;
    // "Don't move files to the Recycle Bin" is set for each drive, under its volume's name.
    char volume[MAX_PATH];
    if (GetVolumeNameForVolumeMountPointA(root, volume, MAX_PATH)) {
        const std::string name = volume;
        const std::size_t open = name.find('{'), close = name.find('}');
        if (open != std::string::npos && close != std::string::npos && close > open &&
            ReadDword(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket\\Volume\\" +
                          name.substr(open, close - open + 1),
                      "NukeOnDelete") == 1)
            return false;
    }
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    return SHQueryRecycleBinA(root, &bin) == S_OK;
}

std::string OwnDeletedNotesFolder(const std::string& storePath)
{
    // Asked at every look for restored files: the answer is kept.
    static std::string askedFor, folder;
    if (askedFor == storePath && !folder.empty())
        return folder;
    char local[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local) != S_OK)
        return std::string();
    askedFor = storePath;
    folder = std::string(local) + "\\Appuntello\\" + DeletedNotesFolderName(FullPath(storePath));
    return folder;
}

std::string DeletedNotesFolderBeside(const std::string& storePath)
{
    const std::string_view name = NameOf(storePath);
    return InFolder(FolderOf(FullPath(storePath)),
                    std::string(name.substr(0, name.rfind('.'))) + " - memini eliminati");
}

DeletedNotesKept KeepDeletedNotes(const std::string& storePath, const std::vector<StoredNote>& notes,
                                  const LocalMoment& when)
{
    if (notes.empty())
        return DeletedNotesKept::Nowhere;
    const std::string name = DeletedNotesFileName(NameOf(storePath), notes.size(), when);
    const std::string bytes = DeletedNotesBytes(notes);
    const std::string own = OwnDeletedNotesFolder(storePath);
    if (!own.empty() && MakeFolder(own) && RecycleBinKeeps(own)) {
        const std::string file = WriteNewFile(own, name, bytes);
        if (!file.empty()) {
            if (SendToRecycleBin(file))
                return DeletedNotesKept::RecycleBin;
            // Left here, it would be taken for a restored file at the next look.
            DeleteFileA(file.c_str());
        }
    }
    return KeepBesideStore(storePath, name, bytes);
}

std::vector<std::string> FindRestoredDeletedNotes(const std::string& storePath)
{
    std::vector<std::string> restored;
    const std::string storeName(NameOf(storePath));
    const std::string own = OwnDeletedNotesFolder(storePath);
    for (const std::string& folder : {own, FolderOf(FullPath(storePath))})
        if (!folder.empty())
            for (FoundFile& file : DeletedNotesFilesIn(folder, storeName))
                restored.push_back(std::move(file.path));
    return restored;
}
