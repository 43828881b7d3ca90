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

#endif
