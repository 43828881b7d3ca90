#include "store/line_breaks.h"

#include <cstddef>

char* FindSubstring(char* text, const char* pattern)
{
    for (char* start = text;; ++start) {
        std::size_t matched = 0;
        while (pattern[matched] != '\0' && start[matched] == pattern[matched]) {
            ++matched;
        }
        if (pattern[matched] == '\0') {
            return start;
        }
        if (start[matched] == '\0') {
            return nullptr; // the text ended inside the comparison: no later start can match either
        }
    }
}

void ConvertLineBreaks(char* text, int encode)
{
    const char* const pair = encode ? "\r\n" : "#@";
    const char* const replacement = encode ? "#@" : "\r\n";
    char* found = text;
    while ((found = FindSubstring(found, pair)) != nullptr) {
        found[0] = replacement[0];
        found[1] = replacement[1];
        found += 2;
    }
}

std::string PairLoneLineBreaks(std::string_view text)
{
    std::string paired;
    paired.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            paired += "\r\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            paired += "\r\n";
        } else {
            paired += c;
        }
    }
    return paired;
}
