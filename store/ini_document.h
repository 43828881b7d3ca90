// An INI file held as its own lines, read by the rules of the Windows profile functions.
//
// Lookups answer what GetPrivateProfileStringA and GetPrivateProfileIntA answer for the same bytes (as
// Wine 8 implements them, with the ANSI code page 1252), so that a store edited by hand or written by
// another tool reads the same here as through the platform:
// - Lines end at CR LF, LF or CR. A line whose first non-blank character is '[' and which has a ']'
//   after it opens a section named by what lies between the '[' and the last ']'; anything after that
//   ']' is ignored. Every other non-blank line is a key: the name up to the first '=' and the value
//   after it, or only a name when there is no '=' (such a key has no value, and it still hides a later
//   key of the same name). Lines before the first section belong to a nameless section, found by "".
// - Blanks (tab, LF, VT, FF, CR, space and ^Z) around names and values do not count, nor do those
//   around the names asked for. Names match without regard to ASCII letter case; other letters, such
//   as those above 127, must match exactly.
// - Of two sections with the same name only the first counts (they are not merged); of two keys with
//   the same name in it only the first counts.
// - A NUL byte ends the name or the value it is in.
// - A value of two or more characters that starts and ends with the same quote character (" or ')
//   loses those two quotes; other quotes stay.
// - The file is taken as single-byte text: a file that starts with a UTF-8 or UTF-16 byte order mark,
//   which the platform would decode, is not decoded here: store/store_text.h decodes it first.
// Windows itself may differ from Wine in corners (letter case above 127, for one); these rules follow
// Wine, which the tests compare against.
//
// Serialize() gives back the bytes that were parsed wherever nothing was changed. Lines written anew
// end with CR LF.
#ifndef APPUNTELLO_STORE_INI_DOCUMENT_H
#define APPUNTELLO_STORE_INI_DOCUMENT_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class IniDocument {
  public:
    // An empty file.
    IniDocument();

    static IniDocument Parse(std::string_view bytes);

    // The value of the key, its quotes removed; nullopt when the section or the key is missing, or the
    // key has no '='. A key present with an empty value gives the empty text.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // As GetPrivateProfileIntA: the default when the key is missing or its value is empty; otherwise
    // the value (read as into a 30-character buffer) as C's strtoul would take it with base 0, except
    // that only "0x", "0o" and "0b" select another base: leading blanks and control characters, one
    // '+' or '-', then digits up to the first character that is not one; no digits give 0; overflow
    // keeps the low 32 bits. (Windows documents that a value below zero gives 0; Wine gives
    // the negative number, and so does this.)
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    bool HasSection(std::string_view section) const;

    // Names of the keys of the section that counts, in file order, each once (the first of equal
    // names), as written in the file.
    std::vector<std::string> KeyNames(std::string_view section) const;

    // Names of the sections in file order, duplicates included, as GetPrivateProfileSectionNamesA
    // lists them (without the nameless one).
    std::vector<std::string> SectionNames() const;

    // Gives the key the value, written with EncodeIniValue so that it reads back exactly: the line of
    // the key that counts is rewritten in place (left alone when it already reads as the value);
    // a missing key is added after the last non-blank line of the first section of that name; a
    // missing section is added at the end of the file.
    // Section and key names must not hold CR, LF or NUL; a key name must not hold '=' nor start with
    // '[' (it would read back as something else).
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every section of that name, header and lines up to the next header. (Deleting a section
    // through the profile functions removes only the first of that name, and a second one would then
    // show.) The nameless lines before the first header are not a section of their own here and stay.
    void RemoveSection(std::string_view section);

    // Gives every section named `from` the name `to` (its header line is rewritten, or given back as
    // it was read when `to` is the name it had then). As with RemoveSection, the nameless lines
    // before the first header keep having no name.
    void RenameSection(std::string_view from, std::string_view to);

    std::string Serialize() const;

  private:
    struct Line {
        std::string text;   // without its line end
        std::string ending; // "\r\n", "\n", "\r", or "" for a last line without one
    };
    struct Section {
        std::vector<Line> lines; // lines[0] is the header, except in the nameless first section
        std::string firstHeader; // the header as it was read, given back when a rename returns to its name
        bool removed = false;
        std::unordered_map<std::string, std::size_t> firstKey; // folded key name -> index in lines
    };

    void AddLine(Line line);
    const Line* FindKeyLine(std::string_view section, std::string_view key) const;
    Line& LastLineOfFile();

    std::vector<Section> sections_; // sections_[0] holds the lines before the first header
    // Folded section name -> the sections of that name still in the file, in file order.
    std::unordered_map<std::string, std::vector<std::size_t>> byName_;
};

// The text to write after "key=" so that the profile rules above read `value` back exactly: a value
// that starts or ends with a blank, or that starts and ends with the same quote character, is put in
// double quotes. A value is a single line: CR and LF cannot be stored and are dropped, and a NUL ends
// the value (callers pass text without them).
std::string EncodeIniValue(std::string_view value);

#endif
