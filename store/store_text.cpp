#include "store/store_text.h"

#include <windows.h>

#include <vector>

namespace {

// UTF-16 code units. (A vector rather than std::wstring: the wide string
// would bring a second string implementation into the program.)
using Units = std::vector<wchar_t>;

const std::string_view Utf8Mark("\xef\xbb\xbf", 3);
const std::string_view Utf16LeMark("\xff\xfe", 2);
const std::string_view Utf16BeMark("\xfe\xff", 2);

constexpr unsigned long ReplacementCharacter = 0xfffd;

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

unsigned Byte(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

void AppendByte(std::string& out, unsigned long b)
{
    out += static_cast<char>(b & 0xff);
}

// UTF-8 for UTF-16 units, a pair as one character and every other unit, a surrogate too, on its own.
std::string TextFromUnits(const Units& units)
{
    std::string text;
    text.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned long c = units[i];
        if (c < 0x80) {
            AppendByte(text, c);
        } else if (c < 0x800) {
            AppendByte(text, 0xc0 | c >> 6);
            AppendByte(text, 0x80 | (c & 0x3f));
        } else if (c >= 0xd800 && c <= 0xdbff && i + 1 < units.size() && units[i + 1] >= 0xdc00 &&
                   units[i + 1] <= 0xdfff) {
            c = 0x10000 + ((c - 0xd800) << 10) + (units[++i] - 0xdc00);
            AppendByte(text, 0xf0 | c >> 18);
            AppendByte(text, 0x80 | (c >> 12 & 0x3f));
            AppendByte(text, 0x80 | (c >> 6 & 0x3f));
            AppendByte(text, 0x80 | (c & 0x3f));
        } else {
            AppendByte(text, 0xe0 | c >> 12);
            AppendByte(text, 0x80 | (c >> 6 & 0x3f));
            AppendByte(text, 0x80 | (c & 0x3f));
        }
    }
    return text;
}

// TextFromUnits undone. The two bytes that stand for an odd last byte give that byte as a character
// (U+0000-U+00FF, as Wine was seen to read it); when `oddByte` is given and they end the text, the
// byte goes there instead (-1 when there is none). Anything else that is not UTF-8 gives U+FFFD for
// its first byte.
Units UnitsFromText(std::string_view text, int* oddByte)
{
    if (oddByte)
        *oddByte = -1;
    Units units;
    units.reserve(text.size());
    std::size_t i = 0;
    const auto continues = [&](std::size_t count) {
        for (std::size_t k = 1; k <= count; ++k)
            if (i + k >= text.size() || (Byte(text, i + k) & 0xc0) != 0x80)
                return false;
        return true;
    };
    const auto tail = [&](std::size_t k) { return static_cast<unsigned long>(Byte(text, i + k) & 0x3f); };
    while (i < text.size()) {
        const unsigned b = Byte(text, i);
        unsigned long c = ReplacementCharacter;
        std::size_t length = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xc2 && b <= 0xdf && continues(1)) {
            c = (b & 0x1fu) << 6 | tail(1);
            length = 2;
        } else if (b >= 0xe0 && b <= 0xef && continues(2) && (b > 0xe0 || Byte(text, i + 1) >= 0xa0)) {
            c = (b & 0x0fu) << 12 | tail(1) << 6 | tail(2);
            length = 3;
        } else if (b >= 0xf0 && b <= 0xf4 && continues(3)) {
            const unsigned long v = (b & 0x07u) << 18 | tail(1) << 12 | tail(2) << 6 | tail(3);
            if (v >= 0x10000 && v <= 0x10ffff) {
                c = v;
                length = 4;
            }
        } else if (b >= 0xf8 && b <= 0xfb && continues(1)) {
            c = (b & 0x03u) << 6 | tail(1);
            length = 2;
            if (oddByte && i + length == text.size()) {
                *oddByte = static_cast<int>(c);
                break;
            }
        }
        if (c >= 0x10000) {
            units.push_back(static_cast<wchar_t>(0xd800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<wchar_t>(0xdc00 + ((c - 0x10000) & 0x3ff)));
        } else {
            units.push_back(static_cast<wchar_t>(c));
        }
        i += length;
    }
    return units;
}

// The conversions the profile functions make, through the same calls: the A functions' names from
// the ANSI code page, their answers to it (the default character and look-alikes included), and a
// UTF-8 file (U+FFFD for what is not UTF-8).
Units UnitsFromCodePage(UINT codePage, std::string_view text)
{
    if (text.empty())
        return Units();
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    Units units(static_cast<std::size_t>(count));
    if (count > 0)
        MultiByteToWideChar(codePage, 0, text.data(), size, &units[0], count);
    return units;
}

std::string AnsiFromUnits(const Units& units)
{
    if (units.empty())
        return std::string();
    const int size = static_cast<int>(units.size());
    const int count = WideCharToMultiByte(CP_ACP, 0, units.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(count), '\0');
    if (count > 0)
        WideCharToMultiByte(CP_ACP, 0, units.data(), size, &text[0], count, nullptr, nullptr);
    return text;
}

bool IsUtf16(StoreEncoding encoding)
{
    return encoding == StoreEncoding::Utf16LeBom || encoding == StoreEncoding::Utf16BeBom;
}

} // namespace

StoreEncoding DecodeStoreBytes(std::string_view fileBytes, std::string& text)
{
    if (StartsWith(fileBytes, Utf8Mark)) {
        text.assign(fileBytes.substr(Utf8Mark.size()));
        return StoreEncoding::Utf8Bom;
    }
    const bool littleEndian = StartsWith(fileBytes, Utf16LeMark);
    if (!littleEndian && !StartsWith(fileBytes, Utf16BeMark)) {
        text.assign(fileBytes);
        return StoreEncoding::Ansi;
    }
    Units units;
    units.reserve(fileBytes.size() / 2);
    for (std::size_t i = 2; i + 1 < fileBytes.size(); i += 2) {
        const unsigned first = Byte(fileBytes, i), second = Byte(fileBytes, i + 1);
        units.push_back(static_cast<wchar_t>(littleEndian ? second << 8 | first : first << 8 | second));
    }
    text = TextFromUnits(units);
    // Not a whole unit, yet the platform reads it: kept so that the file comes back as it was.
    if (fileBytes.size() % 2 != 0) {
        const unsigned odd = Byte(fileBytes, fileBytes.size() - 1);
        AppendByte(text, 0xf8 | odd >> 6);
        AppendByte(text, 0x80 | (odd & 0x3f));
    }
    return littleEndian ? StoreEncoding::Utf16LeBom : StoreEncoding::Utf16BeBom;
}

std::string EncodeStoreBytes(std::string_view text, StoreEncoding encoding)
{
    switch (encoding) {
    case StoreEncoding::Ansi:
        return std::string(text);
    case StoreEncoding::Utf8Bom:
        return std::string(Utf8Mark).append(text);
    case StoreEncoding::Utf16LeBom:
    case StoreEncoding::Utf16BeBom:
        break;
    }
    const bool littleEndian = encoding == StoreEncoding::Utf16LeBom;
    int oddByte = -1;
    const Units units = UnitsFromText(text, &oddByte);
    std::string bytes(littleEndian ? Utf16LeMark : Utf16BeMark);
    bytes.reserve(2 + 2 * units.size() + 1);
    for (const wchar_t unit : units) {
        const unsigned long u = static_cast<unsigned long>(unit);
        AppendByte(bytes, littleEndian ? u : u >> 8);
        AppendByte(bytes, littleEndian ? u >> 8 : u);
    }
    if (oddByte >= 0)
        AppendByte(bytes, static_cast<unsigned long>(oddByte));
    return bytes;
}

std::string StoreToNoteText(std::string_view text, StoreEncoding encoding)
{
    if (encoding == StoreEncoding::Ansi)
        return std::string(text);
    // A UTF-8 file's text is read as the platform reads the file; a UTF-16 file's is ours.
    return AnsiFromUnits(IsUtf16(encoding) ? UnitsFromText(text, nullptr) : UnitsFromCodePage(CP_UTF8, text));
}

std::string NoteToStoreText(std::string_view text, StoreEncoding encoding)
{
    if (encoding == StoreEncoding::Ansi)
        return std::string(text);
    return TextFromUnits(UnitsFromCodePage(CP_ACP, text));
}
