#include "store/conflict_copies.h"

#include <string>

#include "base/ascii_case.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Dropbox's " (Mario's conflicted copy 2026-12-09)", perhaps followed by
// " (1)": the marker in the parenthesis right after the store's name, so that
// a copy of "Appuntello (vecchio).ini" is not taken for one of ours.
bool IsDropboxCopy(std::string_view between)
{
    if (!StartsWith(between, " (") || !EndsWith(between, ")"))
        return false;
    const std::string_view first = between.substr(0, between.find(')'));
    return first.find('(', 2) == std::string_view::npos &&
           (first.find("conflicted copy") != std::string_view::npos ||
            first.find("copia in conflitto") != std::string_view::npos);
}

// Google Drive's " (1)".
bool IsNumberedCopy(std::string_view between)
{
    if (between.size() < 4 || !StartsWith(between, " (") || !EndsWith(between, ")"))
        return false;
    for (char c : between.substr(2, between.size() - 3))
        if (c < '0' || c > '9')
            return false;
    return true;
}

// OneDrive's "-PORTATILE", the computer's name as Windows gives it (at most 15
// capitals, digits, hyphens and underscores), perhaps with "-2" for a second
// copy. A letter at least: "Appuntello-2024.ini" is a user's own copy.
bool IsComputerNameCopy(std::string_view between)
{
    if (between.size() < 2 || between.size() > 1 + 15 + 3 || between[0] != '-')
        return false;
    bool letter = false;
    for (char c : between.substr(1)) {
        letter = letter || (c >= 'A' && c <= 'Z');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    }
    return letter;
}

} // namespace

bool IsConflictCopyName(std::string_view storeName, std::string_view fileName)
{
    const std::string store = LowerAscii(storeName);
    const std::string file = LowerAscii(fileName);
    const std::size_t dot = store.rfind('.');
    const std::string stem = dot == std::string::npos ? store : store.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : store.substr(dot);
    if (file == store || !StartsWith(file, stem) || !EndsWith(file, extension) ||
        file.size() < stem.size() + extension.size())
        return false;
    const std::size_t length = file.size() - stem.size() - extension.size();
    const std::string_view between = std::string_view(file).substr(stem.size(), length);
    return StartsWith(between, ".sync-conflict-") || IsDropboxCopy(between) || IsNumberedCopy(between) ||
           IsComputerNameCopy(fileName.substr(stem.size(), length));
}
