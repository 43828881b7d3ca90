// Line breaks of note texts in the store, where every value is a single line: a CR LF pair is kept
// as the two characters "#@". Conversion is pair for pair, so a text keeps its length.
#ifndef APPUNTELLO_STORE_LINE_BREAKS_H
#define APPUNTELLO_STORE_LINE_BREAKS_H

#include <string>
#include <string_view>

// The first occurrence of `pattern` in `text`, compared byte for byte with letter case counting;
// an empty pattern is found at the start of the text. nullptr when there is none.
char* FindSubstring(char* text, const char* pattern);

// In place: non-zero `encode` turns every CR LF pair into "#@", zero turns every "#@" into CR LF.
// Pairs are taken from left to right and never overlap; a lone CR, LF, '#' or '@' stays as it is.
void ConvertLineBreaks(char* text, int encode);

// The text with every CR or LF that is not part of a CR LF pair turned into a CR LF pair, so that
// encoding leaves no CR or LF to reach the file (where it would end the value) and the text reads
// back as the line break it showed. The text grows by one character for each one changed.
std::string PairLoneLineBreaks(std::string_view text);

#endif
