// The parts of a path, "\" and "/" alike: the folder that holds the file, the
// file's name, and the name without its extension. No windows: it is tested
// natively.
#ifndef APPUNTELLO_BASE_PATH_PARTS_H
#define APPUNTELLO_BASE_PATH_PARTS_H

#include <string>
#include <string_view>

// "C:\a" of "C:\a\b"; a root keeps its separator ("C:\" of "C:\x": "C:" alone
// names the drive's current folder), and a path without a folder is in the
// current one (".").
inline std::string FolderOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string_view::npos)
        return ".";
    const bool root = slash == 0 || path[slash - 1] == ':';
    return std::string(path.substr(0, root ? slash + 1 : slash));
}

// "b" of "C:\a\b".
inline std::string_view NameOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// "Appuntello" of "Appuntello.ini"; a name that only starts with a dot
// (".ini") has no extension.
inline std::string_view StemOf(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// The file of that name in the folder: "C:\a\b" in "C:\a", "C:\x" in "C:\".
inline std::string InFolder(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    path += name;
    return path;
}

#endif
