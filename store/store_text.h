// The store file's encoding. Notepad saves a file as "Unicode" (UTF-16LE), "Unicode big endian" or
// "UTF-8", each with a byte order mark, and the profile functions read all three, handing the A
// functions the text in the ANSI code page. The store reads them the same way and writes a file back
// in the encoding it had.
//
// The INI document works on one byte string, its "text":
// - a file without a mark: its bytes as they are (ANSI);
// - a UTF-8 file: its bytes after the mark, as they are, even where they are not valid UTF-8;
// - a UTF-16 file: its text in UTF-8, without the mark. A UTF-16 code unit that is half of no pair
//   (the platform reads such files all the same) is kept as the three bytes UTF-8 would give it
//   if it were a character, and an odd last byte as two bytes UTF-8 never uses (F8-FB, 80-BF).
// UTF-8 because the document can parse it with its byte rules unchanged: every byte of the INI
// syntax (brackets, '=', quotes, blanks, line ends) is ASCII, no multi-byte character holds an
// ASCII byte, and the profile functions fold only ASCII letters and trim only ASCII blanks, in
// UTF-16 as in ANSI. Nothing is lost, so a file decoded and encoded again comes back byte for byte,
// lines the program changes or not. The names the store asks for are ASCII and need no conversion.
#ifndef APPUNTELLO_STORE_STORE_TEXT_H
#define APPUNTELLO_STORE_STORE_TEXT_H

#include <string>
#include <string_view>

enum class StoreEncoding { Ansi, Utf8Bom, Utf16LeBom, Utf16BeBom };

// The file's encoding, told by its byte order mark (EF BB BF, FF FE or FE FF) as the profile
// functions tell it, and its text for the INI document (above).
StoreEncoding DecodeStoreBytes(std::string_view fileBytes, std::string& text);

// The file's bytes for a text in that encoding, the mark first: DecodeStoreBytes undone. For UTF-16,
// bytes that are not UTF-8 become U+FFFD, and the two bytes that stand for an odd last byte, once
// lines follow them, become the character Wine reads for that byte (U+0000-U+00FF): the file stays
// whole units.
std::string EncodeStoreBytes(std::string_view text, StoreEncoding encoding);

// A name or value of the document's text in the ANSI code page, as GetPrivateProfileStringA would
// give it: a character the code page lacks becomes its nearest look-alike or '?' ("l" for "ł", "?"
// for "中", "??" for a character beyond U+FFFF, one per UTF-16 unit, so that the text has as many
// characters as the platform counts when it cuts a value to a buffer). The same for an ANSI file.
std::string StoreToNoteText(std::string_view text, StoreEncoding encoding);

// An ANSI text (a name, a note's title, text or path) in the document's text, to write it or to
// ask for it. The same for an ANSI file.
std::string NoteToStoreText(std::string_view text, StoreEncoding encoding);

#endif
