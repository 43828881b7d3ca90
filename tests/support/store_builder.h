// A store's text as the program writes one, for the tests and the bench: the
// settings section given, then each note as its numbered section (a place
// without a note is a section without keys), line breaks as "#@". Needs no
// windows: the native build uses it too.
#ifndef APPUNTELLO_TESTS_STORE_BUILDER_H
#define APPUNTELLO_TESTS_STORE_BUILDER_H

#include <string>
#include <string_view>

#include "store/note_codec.h"

inline std::string OptionsSection(int width, int height, unsigned long color)
{
    return "[OPZIONI]\r\nLARGHEZZA=" + std::to_string(width) + "\r\nALTEZZA=" + std::to_string(height) +
           "\r\nCOLORE=" + std::to_string(color) + "\r\n";
}

inline std::string StoreText(const StoredRun& notes, std::string_view options = "")
{
    std::string text(options);
    for (std::size_t place = 0; place < notes.size(); ++place) {
        text += "[" + std::to_string(place) + "]\r\n";
        if (const auto& note = notes[place])
            text += "TITOLO=" + note->title + "\r\nMESSAGE=" + EncodeText(note->text) +
                    "\r\nAUDIO=" + note->voicePath + "\r\n";
    }
    return text;
}

// The store's text without what an earlier version of the program does not
// know (the IDENTITA, VERSIONE and ORIGINE lines, the [ELIMINATI] section): what
// a writer that drops them leaves, and what the other keys of two saves,
// which stamp new versions, can be compared by.
inline std::string WithoutIdentities(std::string_view store)
{
    std::string kept;
    bool deleted = false;
    for (std::size_t at = 0; at < store.size();) {
        std::size_t end = store.find('\n', at);
        end = end == std::string_view::npos ? store.size() : end + 1;
        const std::string_view line = store.substr(at, end - at);
        at = end;
        if (!line.empty() && line[0] == '[')
            deleted = line.substr(0, 11) == "[ELIMINATI]";
        if (deleted || line.substr(0, 9) == "IDENTITA=" || line.substr(0, 9) == "VERSIONE=" ||
            line.substr(0, 8) == "ORIGINE=")
            continue;
        kept += line;
    }
    return kept;
}

#endif
