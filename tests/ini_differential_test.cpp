// Compares IniDocument with the platform's profile functions on many generated files: every lookup
// must answer what GetPrivateProfileStringA and GetPrivateProfileIntA answer for the same file, in
// ANSI and in the Unicode encodings the store decodes, and files written through IniDocument must
// read back through them as the document says.
// Windows (or Wine) only. The files are random but reproducible: each is made from its own seed.
#include "store/ini_document.h"
#include "store/store_text.h"
#include "tests/support/files.h"
#include "tests/support/rng.h"
#include "tests/support/where.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

const std::vector<std::string> kSectionNames = {
    "0",    "1",     "2",     "OPZIONI", "Opzioni", "opzioni", "s",  "S", "a b", "x]y", "\xe0",
    "\xc0", "n\xe9", "N\xc9", "\x8a",    "\x9a",    "",        ";s", "=", "[s",  "0 "};
const std::vector<std::string> kKeyNames = {"TITOLO", "titolo", "MESSAGE", "AUDIO", "a",
                                            "A",      "k 1",    ";c",      "\xe9",  "\xc9",
                                            "",       "x]",     "\xff",    "\x9f",  "#"};
const std::vector<std::string> kBlanks = {"", "", "", " ", "  ", "\t", "\x1a", "\v", "\f", " \t "};
// clang-format off
const std::vector<std::string> kValues = {
    "", "1", "-1", "+12", "160", "65535", "16777215", "-2147483648", "4294967296", "0x1F", "0X1F", "0o17",
    "0b101", "0b2", "08", "12abc", "abc", "- 5", " 7", "\"42\"", "'42'", "\"\"", "''", "\"", "'", "\"x'",
    "\"a b\"", "a  \"b\"", "' q '", "\"\"\"", "x=y", "[z]", ";c", "#@#@", "C:\\voce\\a.wav",
    "\xe0\xe8\xe9\xec\xf2\xf9", "\x80\x81\x8d\x8f\x90\x9d\xff", "\xa0", "\x1c", "x\0y"s, "\0"s, "\"x\"\0y"s,
    "\"x\0\""s, "123456789012345678901234567890123", "\"00000000000000000000000000012\""
};
// clang-format on

std::string RandomBytes(Rng& rng, std::size_t maxLength, bool lineBreaks)
{
    std::string s;
    const std::size_t length = rng.Below(maxLength + 1);
    while (s.size() < length) {
        const char c = static_cast<char>(rng.Below(256));
        if (lineBreaks || (c != '\r' && c != '\n')) {
            s += c;
        }
    }
    return s;
}

std::string RandomName(Rng& rng, const std::vector<std::string>& pool)
{
    if (rng.OneIn(6)) {
        static const std::string alphabet = "aAbBzZ09 _.;[]=#\t\x1a\xe0\xc0\x8a\x9a\xff\xa0";
        std::string name;
        for (std::size_t n = 1 + rng.Below(4); n > 0; --n) {
            name += alphabet[rng.Below(alphabet.size())];
        }
        if (rng.OneIn(8)) {
            name.insert(rng.Below(name.size() + 1), 1, '\0');
        }
        return name;
    }
    std::string name = rng.Pick(pool);
    if (rng.OneIn(5)) {
        for (char& c : name) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            } else if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    return name;
}

std::string RandomValue(Rng& rng)
{
    // Each lookup makes the platform read the whole file again, so very long lines are kept rare.
    if (rng.OneIn(60)) {
        return std::string(1000 + rng.Below(30000), static_cast<char>('a' + rng.Below(26)));
    }
    switch (rng.Below(6)) {
    case 0:
        return RandomBytes(rng, 12, false);
    case 1:
        return rng.Pick(kValues) + rng.Pick(kBlanks) + rng.Pick(kValues);
    default:
        return rng.Pick(kValues);
    }
}

struct GeneratedFile {
    std::string bytes;
    std::vector<std::string> sections; // names used, to ask for them and for variants of them
    std::vector<std::string> keys;
};

GeneratedFile RandomFile(std::uint64_t seed)
{
    Rng rng(seed);
    GeneratedFile file;
    const std::vector<std::string> endings = {"\r\n", "\r\n", "\r\n", "\n", "\r", "\r\r\n", "\n\r"};
    const std::string ending = rng.Pick(endings); // mostly one kind of line end per file, as in life
    const std::size_t lines = rng.Below(24);
    for (std::size_t i = 0; i < lines; ++i) {
        std::string line;
        const std::size_t kind = rng.Below(16);
        if (kind < 4) {
            const std::string name = RandomName(rng, kSectionNames);
            file.sections.push_back(name);
            line = rng.Pick(kBlanks) + "[" + rng.Pick(kBlanks) + name + rng.Pick(kBlanks);
            if (!rng.OneIn(10)) {
                line += "]";
            }
            if (rng.OneIn(6)) {
                line += rng.OneIn(2) ? " ; commento" : "]x";
            }
        } else if (kind < 12) {
            const std::string name = RandomName(rng, kKeyNames);
            file.keys.push_back(name);
            line = rng.Pick(kBlanks) + name + rng.Pick(kBlanks);
            if (!rng.OneIn(8)) {
                line += "=" + rng.Pick(kBlanks) + RandomValue(rng) + rng.Pick(kBlanks);
            }
        } else if (kind < 13) {
            line = "; " + RandomValue(rng);
        } else if (kind < 14) {
            line = rng.Pick(kBlanks);
        } else {
            line = RandomBytes(rng, 40, rng.OneIn(4));
        }
        file.bytes += line;
        if (i + 1 < lines || !rng.OneIn(3)) {
            file.bytes += rng.OneIn(8) ? rng.Pick(endings) : ending;
        }
    }
    return file;
}

// Hand-made files for what matters most to the store, and for the corners seen in Wine's sources.
const std::vector<std::string> kHandMadeFiles = {
    "[OPZIONI]\r\nLARGHEZZA=200\r\nALTEZZA=150\r\nCOLORE=16777215\r\n[0]\r\nTITOLO=Nota\r\n"
    "MESSAGE=uno#@due\r\nAUDIO=C:\\a.wav\r\n[1]\r\nTITOLO=\r\nMESSAGE=\r\nAUDIO=\r\n",
    "[s]\r\na =  a  \"b\"  \r\n",
    "[ s ]\r\n  a  =  \"  x  \"  \r\n",
    "[s] junk\r\na=1\r\n[s]x]\r\na=2\r\n",
    "[s\r\na=1\r\n",
    "a=0\r\n[s]\r\na\r\na=2\r\n[S]\r\nb=3\r\n",
    "[s]\ra=1\rb=2\r",
    "[s]\na=1\nb=2",
    "[s]\r\na=x \0y\r\na\0b=5\r\n[t\0u]\r\nc=6\r\n"s,
    "[s]\r\n\xc9=1\r\n[\xc0]\r\n\x8c=2\r\n",
    "[s]\r\na=\xa0x\xa0\r\nb=\x1ax\x1a\r\nc=\vx\f\r\nd=\x1cx\x1c\r\n",
    "[]\r\na=1\r\n=2\r\n[s]\r\n=3\r\n=4\r\n",
    "[s]\r\n;a=1\r\n#b=2\r\n",
    "[s]\r\na=\"" + std::string(26, '0') + "12\"\r\nb=\"" + std::string(27, '0') + "12\"\r\nc=\"" +
        std::string(28, '0') + "12\"\r\nd=" + std::string(27, '0') + "12\r\n",
    "[s]\r\na=" + std::string(100000, 'x') + "\r\nb=2\r\n",
};

std::string Escaped(const std::string& bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t run = 1;
        while (i + run < bytes.size() && bytes[i + run] == bytes[i]) {
            ++run;
        }
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        char piece[16];
        if (c == '\r' || c == '\n' || c == '\t' || c == '\\' || c == '"') {
            piece[0] = '\\';
            piece[1] = c == '\r' ? 'r' : c == '\n' ? 'n' : c == '\t' ? 't' : static_cast<char>(c);
            piece[2] = '\0';
        } else if (c < 0x20 || c >= 0x7f) {
            std::snprintf(piece, sizeof piece, "\\x%02x", c);
        } else {
            piece[0] = static_cast<char>(c);
            piece[1] = '\0';
        }
        if (run >= 12) {
            out += "{" + std::string(piece) + " x" + std::to_string(run) + "}";
            i += run;
        } else {
            out += piece;
            ++i;
        }
    }
    return "\"" + out + "\"";
}

std::string Shown(const std::optional<std::string>& value)
{
    return value ? Escaped(*value) : "(missing)";
}

class ProfileFile {
  public:
    ProfileFile()
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        static unsigned counter = 0;
        // A new name for every file: the profile functions cache recently read files by name.
        path_ = std::string(dir) + "appuntello_ini_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(counter++) + ".ini";
    }
    ~ProfileFile() { DeleteFileA(path_.c_str()); }
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    bool Write(const std::string& bytes) const { return testfiles::WriteFile(path_, bytes); }
    std::string Read() const { return testfiles::ReadFile(path_); }

    std::optional<std::string> GetString(const std::string& section, const std::string& key) const
    {
        static std::vector<char> buffer(1 << 18);
        // A default no generated file holds as a value tells a missing key from an empty value.
        const char* const missing = "\x01<missing>\x01";
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), missing, buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), path_.c_str());
        const std::string answer(buffer.data(), n);
        return answer == missing ? std::nullopt : std::optional<std::string>(answer);
    }

    int GetInt(const std::string& section, const std::string& key, int defaultValue) const
    {
        return static_cast<int>(
            GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path_.c_str()));
    }

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Names to ask for: those of the file, in other letter cases and with blanks, and missing ones.
std::vector<std::string> Variants(Rng& rng, const std::vector<std::string>& names, const char* missing)
{
    std::vector<std::string> out = {missing, ""};
    for (const std::string& name : names) {
        out.push_back(name);
        std::string other = name;
        for (char& c : other) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        out.push_back(other);
        if (rng.OneIn(3)) {
            out.push_back(rng.Pick(kBlanks) + name + rng.Pick(kBlanks));
        }
    }
    return out;
}

class Comparer {
  public:
    explicit Comparer(std::string what, StoreEncoding encoding = StoreEncoding::Ansi)
        : what_(std::move(what)), encoding_(encoding)
    {
    }

    // Every lookup asked of both, of the document in the file's encoding and converted as the store
    // converts it; false after a mismatch, which is reported with the file.
    bool Compare(const IniDocument& doc, const ProfileFile& file, const std::string& bytes, Rng& rng,
                 const std::vector<std::string>& sections, const std::vector<std::string>& keys,
                 std::size_t count, Where at = Here())
    {
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& section = rng.Pick(sections);
            const std::string& key = rng.Pick(keys);
            // The platform sees a name up to its first NUL; IniDocument gets the whole of it.
            const std::string cSection = section.c_str();
            const std::string cKey = key.c_str();
            const std::string storeSection = NoteToStoreText(section, encoding_);
            const std::string storeKey = NoteToStoreText(key, encoding_);
            const std::optional<std::string> expected = file.GetString(cSection, cKey);
            std::optional<std::string> actual = doc.Get(storeSection, storeKey);
            if (actual) {
                actual = StoreToNoteText(*actual, encoding_);
            }
            if (expected != actual) {
                Report(bytes, section, key, "GetPrivateProfileStringA " + Shown(expected),
                       "Get " + Shown(actual), at);
                return false;
            }
            const int def = rng.OneIn(2) ? -7 : 160;
            const int expectedInt = file.GetInt(cSection, cKey, def);
            const int actualInt = doc.GetInt(storeSection, storeKey, def);
            if (expectedInt != actualInt) {
                Report(bytes, section, key, "GetPrivateProfileIntA " + std::to_string(expectedInt),
                       "GetInt " + std::to_string(actualInt), at);
                return false;
            }
        }
        return true;
    }

  private:
    void Report(const std::string& bytes, const std::string& section, const std::string& key,
                const std::string& expected, const std::string& actual, Where at)
    {
        ADD_FAILURE_AT(at.file, at.line)
            << what_ << "\n  file:    " << Escaped(bytes) << "\n  section: " << Escaped(section)
            << "\n  key:     " << Escaped(key) << "\n  " << expected << "\n  " << actual;
    }

    std::string what_;
    StoreEncoding encoding_;
};

// Some BOM-like starts make the platform decode the file as UTF-8 or UTF-16, which IniDocument does not.
std::string WithoutByteOrderMark(std::string bytes)
{
    if (bytes.compare(0, 2, "\xff\xfe") == 0 || bytes.compare(0, 2, "\xfe\xff") == 0 ||
        bytes.compare(0, 3, "\xef\xbb\xbf") == 0) {
        bytes.insert(0, "\r\n");
    }
    return bytes;
}

// The file as Notepad saves an ANSI text in that encoding: the byte order mark, then the text converted.
std::string SavedAs(const std::string& ansi, StoreEncoding encoding)
{
    if (encoding == StoreEncoding::Ansi) {
        return ansi;
    }
    const std::wstring wide = testfiles::Widen(ansi);
    return encoding == StoreEncoding::Utf8Bom ? testfiles::Utf8(wide)
                                              : testfiles::Utf16(wide, encoding == StoreEncoding::Utf16LeBom);
}

bool AnsiCodePageIs1252()
{
    return GetACP() == 1252;
}

// Each profile call costs about 0.2 ms under Wine; this keeps the whole program to a few seconds.
const std::size_t kRandomFiles = 300;
const std::size_t kLookupsPerFile = 16;
const std::size_t kLookupsPerHandMadeFile = 60;

// Each file in ANSI, and as Notepad saves it in UTF-8 and in UTF-16LE. (Big-endian files differ from the
// latter only in the order of bytes, which the test below and the round trips check.)
class EncodedLookups : public testing::TestWithParam<StoreEncoding> {};

TEST_P(EncodedLookups, AnswerAsTheProfileFunctions)
{
    if (!AnsiCodePageIs1252()) {
        GTEST_SKIP() << "the comparison assumes the ANSI code page 1252";
    }
    const StoreEncoding encoding = GetParam();
    std::size_t failures = 0;
    for (std::size_t i = 0; i < kHandMadeFiles.size() + kRandomFiles && failures < 10; ++i) {
        GeneratedFile generated;
        if (i < kHandMadeFiles.size()) {
            generated.bytes = kHandMadeFiles[i];
            generated.sections = {"s", "S", "t", "OPZIONI", "0", "1", "s]x", "\xc0", "\xe0", "t"};
            generated.keys = {"a",      "b",  "c",  "d",    "TITOLO", "AUDIO", "LARGHEZZA",
                              "COLORE", ";a", "#b", "\xc9", "\xe9",   "\x8c",  "\x9c"};
        } else {
            generated = RandomFile(i);
        }
        const std::string bytes = SavedAs(WithoutByteOrderMark(generated.bytes), encoding);
        ProfileFile file;
        ASSERT_TRUE(file.Write(bytes));
        std::string text;
        ASSERT_EQ(DecodeStoreBytes(bytes, text), encoding) << "file " << i;
        const IniDocument doc = IniDocument::Parse(text);
        Rng rng(1000003u * i);
        Comparer comparer("file " + std::to_string(i), encoding);
        const std::vector<std::string> sections = Variants(rng, generated.sections, "missing");
        const std::vector<std::string> keys = Variants(rng, generated.keys, "nokey");
        const std::size_t lookups = i < kHandMadeFiles.size() ? kLookupsPerHandMadeFile : kLookupsPerFile;
        if (!comparer.Compare(doc, file, bytes, rng, sections, keys, lookups)) {
            ++failures;
        }
        EXPECT_EQ(EncodeStoreBytes(doc.Serialize(), encoding), bytes) << "file " << i;
    }
}

std::string EncodingName(const testing::TestParamInfo<StoreEncoding>& info)
{
    const char* const names[] = {"Ansi", "Utf8Bom", "Utf16LeBom", "Utf16BeBom"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(IniDifferential, EncodedLookups,
                         testing::Values(StoreEncoding::Ansi, StoreEncoding::Utf8Bom,
                                         StoreEncoding::Utf16LeBom),
                         EncodingName);

// What no ANSI file holds: characters the code page lacks (a look-alike, none, a pair of units), units of
// no pair, blanks of Unicode only, bytes that are not UTF-8 in a UTF-8 file.
TEST(IniDifferential, CharactersBeyondTheCodePageReadAsTheProfileFunctionsReadThem)
{
    if (!AnsiCodePageIs1252()) {
        GTEST_SKIP() << "the comparison assumes the ANSI code page 1252";
    }
    const std::wstring wide =
        L"[s]\r\na=\x20ac \x0142 \x4e2d \xd83d\xde00\r\nb=x\xd800y\xdc00\xdc00\xd800\r\n"
        L"\x20ac=\x3000z\x2003\r\n[\x0142]\r\nc=1\r\n";
    const std::string files[] = {
        testfiles::Utf16(wide, true), testfiles::Utf16(wide, false),
        "\xef\xbb\xbf[s]\r\na=x\xc3y\xed\xa0\x80z\xf8\x80w\xff\xe4\xb8\r\nb=\xc5\x82\r\n"};
    for (const std::string& bytes : files) {
        ProfileFile file;
        ASSERT_TRUE(file.Write(bytes));
        std::string text;
        Comparer comparer("file", DecodeStoreBytes(bytes, text));
        Rng rng(bytes.size());
        EXPECT_TRUE(comparer.Compare(IniDocument::Parse(text), file, bytes, rng, {"s", "l", "L", "x"},
                                     {"a", "b", "c", "\x80", "l", "x"}, 40));
    }
}

TEST(IniDifferential, ChangedDocumentsReadBackAsTheySay)
{
    if (!AnsiCodePageIs1252()) {
        GTEST_SKIP() << "the comparison assumes the ANSI code page 1252";
    }
    std::size_t failures = 0;
    for (std::size_t i = 0; i < 120 && failures < 10; ++i) {
        const GeneratedFile generated = RandomFile(50000 + i);
        IniDocument doc = IniDocument::Parse(WithoutByteOrderMark(generated.bytes));
        Rng rng(7777u + i);
        std::vector<std::string> sections = Variants(rng, generated.sections, "nuova");
        std::vector<std::string> keys = Variants(rng, generated.keys, "NUOVA");
        for (std::size_t change = rng.Below(8); change > 0; --change) {
            // Names as the store writes them: no line breaks or NUL, keys without '=' and not led by '['.
            std::string section = rng.Pick(sections).c_str();
            std::string key = rng.Pick(keys).c_str();
            if (section.find_first_of("\r\n") != std::string::npos ||
                key.find_first_of("\r\n=") != std::string::npos || key.find('[') != std::string::npos) {
                continue;
            }
            switch (rng.Below(6)) {
            case 0:
                doc.RemoveSection(section);
                break;
            case 1:
                doc.RenameSection(section, rng.Pick(sections).c_str());
                break;
            default: {
                std::string value = rng.OneIn(3) ? RandomBytes(rng, 30, false) : RandomValue(rng);
                value = value.c_str();
                doc.Set(section, key, value);
                EXPECT_EQ(doc.Get(section, key), value) << "file " << i << " key " << Escaped(key);
                break;
            }
            }
        }
        const std::string bytes = doc.Serialize();
        ProfileFile file;
        ASSERT_TRUE(file.Write(bytes));
        Comparer comparer("changed file " + std::to_string(i));
        if (!comparer.Compare(doc, file, bytes, rng, sections, keys, kLookupsPerFile)) {
            ++failures;
        }
    }
}

TEST(IniDifferential, NewFileIsWrittenAsTheProfileFunctionsWriteIt)
{
    const std::vector<std::string> sections = {"0", "1", "OPZIONI", "opzioni", "2"};
    const std::vector<std::string> keys = {"TITOLO", "titolo", "MESSAGE", "AUDIO", "LARGHEZZA"};
    const std::vector<std::string> values = {"",         "160",         "-5", "Nota del 12/05",
                                             "uno#@due", "C:\\a b.wav", "x=y"};
    for (std::size_t i = 0; i < 20; ++i) {
        Rng rng(900u + i);
        IniDocument doc;
        ProfileFile file;
        for (std::size_t n = 1 + rng.Below(12); n > 0; --n) {
            const std::string& section = rng.Pick(sections);
            const std::string& key = rng.Pick(keys);
            const std::string& value = rng.Pick(values);
            doc.Set(section, key, value);
            WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.Path().c_str());
        }
        EXPECT_EQ(Escaped(doc.Serialize()), Escaped(file.Read())) << "sequence " << i;
    }
}

} // namespace
