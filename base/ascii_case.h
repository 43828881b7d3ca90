// Letter case as the store and the file system compare names: ASCII letters
// only (Wine leaves letters above 127 alone, and so do the store's keys). No
// windows: it is tested natively.
#ifndef APPUNTELLO_BASE_ASCII_CASE_H
#define APPUNTELLO_BASE_ASCII_CASE_H

#include <string>
#include <string_view>

inline char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

#endif
