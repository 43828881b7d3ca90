// The store file's encodings: a file comes back byte for byte, the document sees UTF-8 for Unicode
// files, and notes' texts convert to and from the ANSI code page. (The differential test compares
// what is read with the profile functions.)
#include "store/store_text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "store/ini_document.h"
#include "tests/support/files.h"

namespace {

using namespace std::string_literals;

using testfiles::Utf16;

// "€ ł 中 😀": in the code page, beyond it, and beyond U+FFFF.
const std::wstring kWide = L"\x20ac \x0142 \x4e2d \xd83d\xde00";
const std::string kUtf8 = "\xe2\x82\xac \xc5\x82 \xe4\xb8\xad \xf0\x9f\x98\x80";

TEST(StoreText, UnchangedFilesComeBackByteForByte)
{
    const std::vector<std::pair<std::string, StoreEncoding>> files = {
        {"", StoreEncoding::Ansi},
        {"\xff", StoreEncoding::Ansi},
        {"\xef\xbb[0]\r\nTITOLO=\x80\xe9\x81\r\n", StoreEncoding::Ansi},
        {"\xef\xbb\xbf", StoreEncoding::Utf8Bom},
        {"\xef\xbb\xbf[0]\r\nTITOLO=" + kUtf8 + " \xc3 \xed\xa0\x80 \xf8\x80 \xff\r\n",
         StoreEncoding::Utf8Bom},
        {Utf16(L""), StoreEncoding::Utf16LeBom},
        {Utf16(L"[0]\r\nTITOLO=" + kWide + L"\r\n"), StoreEncoding::Utf16LeBom},
        {Utf16(L"[0]\nTITOLO=" + kWide + L"\n", false), StoreEncoding::Utf16BeBom},
        // Units of no pair and an odd length: no editor writes them, but the platform reads them.
        {Utf16(L"a=\xdc00\xd800 \xd83d\r\nb=\xdbff"), StoreEncoding::Utf16LeBom},
        {Utf16(L"a=1\r\n") + "\n", StoreEncoding::Utf16LeBom},
        {Utf16(L"a=1", false) + "\xff", StoreEncoding::Utf16BeBom},
        {"\xff\xfe\0"s, StoreEncoding::Utf16LeBom},
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& [bytes, encoding] = files[i];
        std::string text;
        EXPECT_EQ(DecodeStoreBytes(bytes, text), encoding) << "file " << i;
        EXPECT_EQ(EncodeStoreBytes(IniDocument::Parse(text).Serialize(), encoding), bytes) << "file " << i;
    }
}

TEST(StoreText, TheDocumentOfAUnicodeFileIsUtf8)
{
    std::string text;
    DecodeStoreBytes(Utf16(L"a=" + kWide), text);
    EXPECT_EQ(text, "a=" + kUtf8);
    DecodeStoreBytes(Utf16(L"a=" + kWide, false), text);
    EXPECT_EQ(text, "a=" + kUtf8);
    DecodeStoreBytes("\xef\xbb\xbf"
                     "a=" +
                         kUtf8,
                     text);
    EXPECT_EQ(text, "a=" + kUtf8);
    EXPECT_EQ(EncodeStoreBytes("a=" + kUtf8 + "\r\n", StoreEncoding::Utf16BeBom),
              Utf16(L"a=" + kWide + L"\r\n", false));
    EXPECT_EQ(EncodeStoreBytes("a=" + kUtf8, StoreEncoding::Utf8Bom), "\xef\xbb\xbf"
                                                                      "a=" +
                                                                          kUtf8);
}

// The platform reads an odd last byte as a character; lines added after it must not shift the file.
TEST(StoreText, AnOddLastByteReadsAsACharacterAndStaysAlignedWhenLinesFollow)
{
    std::string text;
    DecodeStoreBytes(Utf16(L"[s]\r\na=4") + "2", text);
    IniDocument doc = IniDocument::Parse(text);
    EXPECT_EQ(StoreToNoteText(doc.Get("s", "a").value_or(""), StoreEncoding::Utf16LeBom), "42");
    doc.Set("t", "b", "1");
    EXPECT_EQ(EncodeStoreBytes(doc.Serialize(), StoreEncoding::Utf16LeBom),
              Utf16(L"[s]\r\na=42\r\n[t]\r\nb=1\r\n"));
}

TEST(StoreText, NoteTextsConvertThroughTheAnsiCodePage)
{
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the texts are in the ANSI code page 1252";
    }
    for (const StoreEncoding encoding : {StoreEncoding::Utf8Bom, StoreEncoding::Utf16LeBom}) {
        EXPECT_EQ(NoteToStoreText("\x80 \xe9\x81\0x"s, encoding), "\xe2\x82\xac \xc3\xa9\xc2\x81\0x"s);
        EXPECT_EQ(StoreToNoteText("\xe2\x82\xac \xc3\xa9\xc2\x81\0x"s, encoding), "\x80 \xe9\x81\0x"s);
    }
    EXPECT_EQ(NoteToStoreText(kUtf8, StoreEncoding::Ansi), kUtf8);
    EXPECT_EQ(StoreToNoteText(kUtf8, StoreEncoding::Ansi), kUtf8);
}

} // namespace
