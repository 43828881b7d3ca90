#include "store/deleted_notes.h"

#include <cstdint>

#include "base/ascii_case.h"
#include "base/fnv1a.h"
#include "base/path_parts.h"
#include "store/ini_document.h"

namespace {

void AddNumber(std::string& text, long long value, int width)
{
    std::string digits;
    for (unsigned long long rest = value < 0 ? 0 : static_cast<unsigned long long>(value); rest > 0;
         rest /= 10)
        digits.insert(digits.begin(), static_cast<char>('0' + rest % 10));
    while (static_cast<int>(digits.size()) < width)
        digits.insert(digits.begin(), '0');
    text += digits;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the text `literal` at `at`, moving past it.
bool Take(std::string_view text, std::size_t& at, std::string_view literal)
{
    if (text.substr(at, literal.size()) != literal)
        return false;
    at += literal.size();
    return true;
}

// Reads `count` digits at `at` (any number, at least one, when count is 0),
// moving past them.
bool TakeDigits(std::string_view text, std::size_t& at, std::size_t count, long long* value = nullptr)
{
    const std::size_t start = at;
    long long number = 0;
    while (at < text.size() && IsDigit(text[at]) && (count == 0 || at - start < count) && at - start < 12)
        number = number * 10 + (text[at++] - '0');
    if (value)
        *value = number;
    return at > start && (count == 0 || at - start == count) && (at == text.size() || !IsDigit(text[at]));
}

} // namespace

std::string DeletedNotesFileName(std::string_view storeFileName, std::size_t count, const LocalMoment& when)
{
    std::string name(StemOf(NameOf(storeFileName)));
    name += " - ";
    AddNumber(name, static_cast<long long>(count), 1);
    name += count == 1 ? " memino eliminato il " : " memini eliminati il ";
    AddNumber(name, when.day, 2);
    name += '-';
    AddNumber(name, when.month, 2);
    name += '-';
    AddNumber(name, when.year, 4);
    name += " alle ";
    AddNumber(name, when.hour, 2);
    name += '.';
    AddNumber(name, when.minute, 2);
    name += '.';
    AddNumber(name, when.second, 2);
    name += ".ini";
    return name;
}

bool IsDeletedNotesFileName(std::string_view storeFileName, std::string_view fileName)
{
    const std::string file = LowerAscii(fileName);
    const std::string_view text = file;
    std::size_t at = 0;
    long long count = 0;
    if (!Take(text, at, LowerAscii(StemOf(NameOf(storeFileName)))) || !Take(text, at, " - ") ||
        !TakeDigits(text, at, 0, &count))
        return false;
    if (!Take(text, at, count == 1 ? " memino eliminato il " : " memini eliminati il "))
        return false;
    if (!TakeDigits(text, at, 2) || !Take(text, at, "-") || !TakeDigits(text, at, 2) ||
        !Take(text, at, "-") || !TakeDigits(text, at, 4) || !Take(text, at, " alle ") ||
        !TakeDigits(text, at, 2) || !Take(text, at, ".") || !TakeDigits(text, at, 2) ||
        !Take(text, at, ".") || !TakeDigits(text, at, 2))
        return false;
    // A second file of the same second: " (2)", " (3)" ...
    if (Take(text, at, " (") && (!TakeDigits(text, at, 0) || !Take(text, at, ")")))
        return false;
    return Take(text, at, ".ini") && at == text.size();
}

std::string DeletedNotesBytes(const std::vector<StoredNote>& notes)
{
    IniDocument document;
    std::vector<NoteToSave> toSave;
    toSave.reserve(notes.size());
    for (const StoredNote& note : notes)
        toSave.push_back(NoteToSave{note, NotInStore});
    PutNotes(document, toSave, StoredRun(), 0);
    return document.Serialize();
}

std::string DeletedNotesFolderName(std::string_view storePath)
{
    // Over the path as Windows compares it, without letter case.
    Fnv1a32 fnv;
    for (char c : storePath)
        fnv.Add(static_cast<unsigned char>(LowerAscii(c == '/' ? '\\' : c)));
    const std::uint32_t hash = fnv.value();
    std::string name(StemOf(NameOf(storePath)));
    name += " (";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += "0123456789abcdef"[(hash >> shift) & 0xF];
    name += ')';
    return name;
}
