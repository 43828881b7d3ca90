#include "store/ini_document.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <iterator>
#include <utility>

#include "base/ascii_case.h"

namespace {

const char* const kNewLineEnding = "\r\n";

// The profile parser's blanks: tab to CR, space, and ^Z (the DOS end-of-file mark, found in old files).
bool IsBlank(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0d) || u == 0x1a || u == 0x20;
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The platform keeps names and values as C strings, so a NUL ends them.
std::string_view UpToNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

// A name as the caller asks for it: the C API sees it up to a NUL, then trims
// it. Names compare without regard to ASCII case only.
std::string QueryName(std::string_view name)
{
    return LowerAscii(TrimBlanks(UpToNul(name)));
}

bool IsQuoted(std::string_view v)
{
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

struct ParsedLine {
    enum Kind { kBlank, kHeader, kKey } kind = kBlank;
    std::string_view name;      // section or key name as it counts: trimmed, cut at a NUL
    bool hasValue = false;      // a key line with '='
    std::size_t valueBegin = 0; // the value's bytes in the line, blanks around it excluded
    std::size_t valueEnd = 0;
    std::size_t contentEnd = 0; // end of the line without its trailing blanks
};

ParsedLine ParseLine(std::string_view text)
{
    ParsedLine p;
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    p.contentEnd = end;
    if (begin == end) {
        return p;
    }
    if (text[begin] == '[') {
        const std::size_t close = text.rfind(']', end - 1);
        if (close != std::string_view::npos && close > begin) {
            p.kind = ParsedLine::kHeader;
            p.name = UpToNul(TrimBlanks(text.substr(begin + 1, close - begin - 1)));
            return p;
        }
        // Without a ']' the platform takes the line as a key.
    }
    p.kind = ParsedLine::kKey;
    const std::size_t equals = text.find('=', begin);
    if (equals == std::string_view::npos) {
        p.name = UpToNul(text.substr(begin, end - begin));
        return p;
    }
    p.name = UpToNul(TrimBlanks(text.substr(begin, equals - begin)));
    p.hasValue = true;
    p.valueBegin = equals + 1;
    while (p.valueBegin < end && IsBlank(text[p.valueBegin])) {
        ++p.valueBegin;
    }
    p.valueEnd = std::max(p.valueBegin, end);
    return p;
}

std::string_view RawValue(std::string_view text, const ParsedLine& p)
{
    return UpToNul(text.substr(p.valueBegin, p.valueEnd - p.valueBegin));
}

// What GetPrivateProfileStringA copies into a buffer of `capacity` characters. Wine drops the closing
// quote only when it fits the buffer, and when the unquoted value is exactly one character too long it
// drops the last character copied instead; GetPrivateProfileIntA shows this with its 30-character
// buffer, so it is kept.
std::string_view CopyEntry(std::string_view value, std::size_t capacity)
{
    const bool quoted = IsQuoted(value);
    if (quoted) {
        value.remove_prefix(1);
    }
    std::string_view copied = value.substr(0, capacity - 1);
    if (quoted && capacity >= value.size()) {
        copied.remove_suffix(1);
    }
    return copied;
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return -1;
}

// RtlUnicodeStringToInteger with base 0, on which the platform builds GetPrivateProfileIntA.
int ParseProfileInt(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (s.size() - i >= 2 && s[i] == '0') {
        switch (s[i + 1]) {
        case 'b':
            base = 2;
            break;
        case 'o':
            base = 8;
            break;
        case 'x':
            base = 16;
            break;
        default:
            break;
        }
        if (base != 10) {
            i += 2;
        }
    }
    std::uint32_t total = 0;
    for (; i < s.size(); ++i) {
        const int digit = DigitValue(s[i]);
        if (digit < 0 || digit >= base) {
            break;
        }
        total = total * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    if (negative) {
        total = 0u - total;
    }
    // The low 32 bits as a signed number, without relying on an implementation-defined conversion.
    return total <= 0x7fffffffu ? static_cast<int>(total) : -static_cast<int>(~total) - 1;
}

std::string HeaderText(std::string_view name)
{
    std::string text;
    text.reserve(name.size() + 2);
    text += '[';
    text += name;
    text += ']';
    return text;
}

[[maybe_unused]] bool IsValidName(std::string_view name) // for assertions
{
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// What of a value a single line can hold.
std::string StorableValue(std::string_view value)
{
    std::string clean;
    clean.reserve(value.size() + 2);
    for (char c : UpToNul(value)) {
        if (c != '\r' && c != '\n') {
            clean += c;
        }
    }
    return clean;
}

} // namespace

std::string EncodeIniValue(std::string_view value)
{
    std::string clean = StorableValue(value);
    const bool needsQuotes =
        !clean.empty() && (IsBlank(clean.front()) || IsBlank(clean.back()) || IsQuoted(clean));
    if (needsQuotes) {
        clean.insert(clean.begin(), '"');
        clean += '"';
    }
    return clean;
}

IniDocument::IniDocument() : sections_(1)
{
    byName_[std::string()].push_back(0);
}

IniDocument IniDocument::Parse(std::string_view bytes)
{
    IniDocument doc;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", pos);
        Line line;
        if (end == std::string_view::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
            const std::size_t endingSize = crlf ? 2 : 1;
            line.text = bytes.substr(pos, end - pos);
            line.ending = bytes.substr(end, endingSize);
            pos = end + endingSize;
        }
        doc.AddLine(std::move(line));
    }
    return doc;
}

void IniDocument::AddLine(Line line)
{
    const ParsedLine p = ParseLine(line.text);
    if (p.kind == ParsedLine::kHeader) {
        byName_[LowerAscii(p.name)].push_back(sections_.size());
        sections_.emplace_back();
        sections_.back().firstHeader = line.text;
    } else if (p.kind == ParsedLine::kKey) {
        Section& s = sections_.back();
        s.firstKey.emplace(LowerAscii(p.name), s.lines.size()); // keeps the first of equal names
    }
    sections_.back().lines.push_back(std::move(line));
}

const IniDocument::Line* IniDocument::FindKeyLine(std::string_view section, std::string_view key) const
{
    const auto named = byName_.find(QueryName(section));
    if (named == byName_.end() || named->second.empty()) {
        return nullptr;
    }
    const Section& s = sections_[named->second.front()];
    const auto found = s.firstKey.find(QueryName(key));
    return found == s.firstKey.end() ? nullptr : &s.lines[found->second];
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const
{
    const Line* line = FindKeyLine(section, key);
    if (line == nullptr) {
        return std::nullopt;
    }
    const ParsedLine p = ParseLine(line->text);
    if (!p.hasValue) {
        return std::nullopt;
    }
    std::string_view value = RawValue(line->text, p);
    if (IsQuoted(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

int IniDocument::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const Line* line = FindKeyLine(section, key);
    if (line == nullptr) {
        return defaultValue;
    }
    const ParsedLine p = ParseLine(line->text);
    if (!p.hasValue) {
        return defaultValue;
    }
    const std::string_view text = CopyEntry(RawValue(line->text, p), 30);
    return text.empty() ? defaultValue : ParseProfileInt(text);
}

bool IniDocument::HasSection(std::string_view section) const
{
    const auto named = byName_.find(QueryName(section));
    return named != byName_.end() && !named->second.empty();
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    const auto named = byName_.find(QueryName(section));
    if (named == byName_.end() || named->second.empty()) {
        return names;
    }
    const Section& s = sections_[named->second.front()];
    for (std::size_t i = 0; i < s.lines.size(); ++i) {
        const ParsedLine p = ParseLine(s.lines[i].text);
        if (p.kind == ParsedLine::kKey) {
            const auto first = s.firstKey.find(LowerAscii(p.name));
            if (first != s.firstKey.end() && first->second == i) {
                names.emplace_back(p.name);
            }
        }
    }
    return names;
}

std::vector<std::string> IniDocument::SectionNames() const
{
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (!sections_[i].removed) {
            const std::string_view name = ParseLine(sections_[i].lines.front().text).name;
            if (!name.empty()) {
                names.emplace_back(name);
            }
        }
    }
    return names;
}

IniDocument::Line& IniDocument::LastLineOfFile()
{
    // Removed sections at the end are dropped as they go, so the last section is the file's end.
    return sections_.back().lines.back();
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    assert(IsValidName(section) && IsValidName(key));
    assert(key.find('=') == std::string_view::npos && TrimBlanks(key).substr(0, 1) != "[");

    const std::string encoded = EncodeIniValue(value);
    const auto named = byName_.find(QueryName(section));
    if (named == byName_.end() || named->second.empty()) {
        if (!sections_.back().lines.empty() && LastLineOfFile().ending.empty()) {
            LastLineOfFile().ending = kNewLineEnding;
        }
        Line header{HeaderText(section), kNewLineEnding};
        Line entry{std::string(key) + "=" + encoded, kNewLineEnding};
        AddLine(std::move(header));
        AddLine(std::move(entry));
        return;
    }

    Section& s = sections_[named->second.front()];
    const std::string foldedKey = QueryName(key);
    const auto found = s.firstKey.find(foldedKey);
    if (found != s.firstKey.end()) {
        Line& line = s.lines[found->second];
        const ParsedLine p = ParseLine(line.text);
        if (p.hasValue) {
            if (Get(section, key) == StorableValue(value)) {
                return; // a hand-written line that already says this stays as it is
            }
            line.text = line.text.substr(0, p.valueBegin) + encoded;
        } else {
            line.text = line.text.substr(0, p.contentEnd) + "=" + encoded;
        }
        return;
    }

    // After the section's last non-blank line, so that blank lines before the next header stay there.
    std::size_t after = s.lines.size();
    while (after > 0 && ParseLine(s.lines[after - 1].text).kind == ParsedLine::kBlank) {
        --after;
    }
    if (after > 0 && s.lines[after - 1].ending.empty()) {
        s.lines[after - 1].ending = kNewLineEnding;
    }
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(after),
                   Line{std::string(key) + "=" + encoded, kNewLineEnding});
    // Only blank lines follow the new one, and blank lines are not indexed.
    s.firstKey.emplace(foldedKey, after);
}

void IniDocument::RemoveSection(std::string_view section)
{
    const auto named = byName_.find(QueryName(section));
    if (named == byName_.end()) {
        return;
    }
    std::vector<std::size_t>& indices = named->second;
    const bool keepsNameless = !indices.empty() && indices.front() == 0;
    for (std::size_t index : indices) {
        if (index != 0) {
            sections_[index] = Section();
            sections_[index].removed = true;
        }
    }
    indices.assign(keepsNameless ? 1 : 0, 0);
    // Removed sections stay as empty places so that the indices of the others hold; those at the end
    // can go, which keeps the last section the one that ends the file.
    while (sections_.size() > 1 && sections_.back().removed) {
        sections_.pop_back();
    }
}

void IniDocument::RenameSection(std::string_view from, std::string_view to)
{
    assert(IsValidName(to));
    const std::string oldName = QueryName(from);
    const auto named = byName_.find(oldName);
    if (named == byName_.end()) {
        return;
    }
    const std::string newName = QueryName(to);
    std::vector<std::size_t> moved;
    std::vector<std::size_t> staying;
    for (std::size_t index : named->second) {
        if (index == 0) {
            staying.push_back(index);
            continue;
        }
        // Back to the name it was read with, the header reads as it did: "[ 0 ]" stays "[ 0 ]".
        Section& s = sections_[index];
        const bool original = LowerAscii(ParseLine(s.firstHeader).name) == newName;
        s.lines.front().text = original ? s.firstHeader : HeaderText(to);
        moved.push_back(index);
    }
    if (newName == oldName) {
        return;
    }
    named->second = std::move(staying);
    std::vector<std::size_t>& target = byName_[newName];
    std::vector<std::size_t> merged;
    merged.reserve(target.size() + moved.size());
    std::merge(target.begin(), target.end(), moved.begin(), moved.end(), std::back_inserter(merged));
    target = std::move(merged);
}

std::string IniDocument::Serialize() const
{
    std::size_t size = 0;
    for (const Section& s : sections_) {
        for (const Line& line : s.lines) {
            size += line.text.size() + line.ending.size();
        }
    }
    std::string bytes;
    bytes.reserve(size);
    for (const Section& s : sections_) {
        for (const Line& line : s.lines) {
            bytes += line.text;
            bytes += line.ending;
        }
    }
    return bytes;
}
