// libFuzzer target for IniDocument: the input is the bytes of a file. Checks that parsing gives the
// bytes back, that lookups hold together, and that changes made through the document (chosen from the
// input) read back from the written bytes as the document says. Built and run by scripts/fuzz.
#include "store/ini_document.h"
#include "tests/support/rng.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool IsBlank(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0d) || u == 0x1a || u == 0x20;
}

bool IsNameless(std::string_view name)
{
    name = name.substr(0, name.find('\0'));
    for (char c : name) {
        if (!IsBlank(c)) {
            return false;
        }
    }
    return true;
}

// What a value read back is when `value` was set: up to a NUL, without CR and LF.
std::string Storable(std::string_view value)
{
    std::string s;
    for (char c : value.substr(0, value.find('\0'))) {
        if (c != '\r' && c != '\n') {
            s += c;
        }
    }
    return s;
}

// Candidate names: pieces of the input's lines around '[', ']' and '=', and the store's own names.
std::vector<std::string> Names(std::string_view bytes)
{
    std::vector<std::string> names = {"", "0", "1", "OPZIONI", "titolo", "MESSAGE", "AUDIO", " x "};
    std::size_t pos = 0;
    while (pos < bytes.size() && names.size() < 24) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view line = bytes.substr(pos, end - pos);
        const std::size_t open = line.find('[');
        const std::size_t close = line.rfind(']');
        if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
            names.emplace_back(line.substr(open + 1, close - open - 1));
        }
        names.emplace_back(line.substr(0, line.find('=')));
        pos = end + 1;
    }
    return names;
}

// A name as the store would pass it: no line breaks or NUL, and for a key no '=' and no '['.
std::string Sanitized(const std::string& name, bool key)
{
    std::string s;
    for (char c : name) {
        if (c != '\r' && c != '\n' && c != '\0' && !(key && (c == '=' || c == '['))) {
            s += c;
        }
    }
    return s;
}

// A few keys for each section name, rather than every pair, keep the fuzzer fast.
template <typename Visit> void ForPairs(const std::vector<std::string>& names, Visit visit)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = 0; j < 6; ++j) {
            visit(names[i], names[(i * 7 + j) % names.size()]);
        }
    }
}

void CheckSameAnswers(const IniDocument& a, const IniDocument& b, const std::vector<std::string>& names)
{
    Check(a.SectionNames() == b.SectionNames(), "section names after writing");
    for (const std::string& section : names) {
        Check(a.HasSection(section) == b.HasSection(section), "HasSection after writing");
    }
    ForPairs(names, [&](const std::string& section, const std::string& key) {
        Check(a.Get(section, key) == b.Get(section, key), "Get after writing");
        Check(a.GetInt(section, key, -7) == b.GetInt(section, key, -7), "GetInt after writing");
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniDocument doc = IniDocument::Parse(bytes);
    Check(doc.Serialize() == bytes, "unchanged document gives back its bytes");

    const std::vector<std::string> names = Names(bytes);
    ForPairs(names, [&](const std::string& section, const std::string& key) {
        const std::optional<std::string> value = doc.Get(section, key);
        if (!value || value->empty()) {
            Check(doc.GetInt(section, key, 11) == 11 && doc.GetInt(section, key, -3) == -3,
                  "GetInt gives the default for a missing or empty value");
        } else {
            Check(value->find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                  "a value holds no line break or NUL");
            Check(doc.HasSection(section), "a section with a key exists");
        }
    });
    for (const std::string& section : doc.SectionNames()) {
        // A name cut by a NUL can end in a blank; asked-for names lose theirs, so it cannot be found.
        Check(doc.HasSection(section) || IsBlank(section.front()) || IsBlank(section.back()),
              "listed sections exist");
    }

    std::uint64_t seed = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        seed = (seed ^ c) * 1099511628211ull;
    }
    Rng rng(seed);
    for (std::size_t change = rng.Below(6); change > 0; --change) {
        const std::string section = Sanitized(names[rng.Below(names.size())], false);
        const std::string key = Sanitized(names[rng.Below(names.size())], true);
        switch (rng.Below(5)) {
        case 0:
            doc.RemoveSection(section);
            Check(!doc.HasSection(section) || IsNameless(section), "removed section is gone");
            break;
        case 1: {
            const std::string to = Sanitized(names[rng.Below(names.size())], false);
            const bool fresh = !doc.HasSection(to) && !IsNameless(section);
            const std::optional<std::string> before = doc.Get(section, key);
            doc.RenameSection(section, to);
            if (fresh) {
                Check(doc.Get(to, key) == before, "renamed section keeps its keys");
            }
            break;
        }
        default: {
            const std::size_t from = rng.Below(size + 1);
            const std::string_view value = bytes.substr(from, rng.Below(size - from + 1));
            doc.Set(section, key, value);
            Check(doc.Get(section, key) == Storable(value), "value set reads back");
            const IniDocument written = IniDocument::Parse(doc.Serialize());
            Check(written.Get(section, key) == Storable(value), "value set reads back once written");
            break;
        }
        }
    }

    const std::string written = doc.Serialize();
    const IniDocument reread = IniDocument::Parse(written);
    Check(reread.Serialize() == written, "written document gives back its bytes");
    CheckSameAnswers(doc, reread, names);
    return 0;
}
