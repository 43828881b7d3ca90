#include "store/line_breaks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Offset of the match in `text`, or -1 when FindSubstring finds none.
long Find(std::string text, const char* pattern)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const char* found = FindSubstring(buffer.data(), pattern);
    return found == nullptr ? -1 : static_cast<long>(found - buffer.data());
}

std::string Convert(std::string text, int encode)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    ConvertLineBreaks(buffer.data(), encode);
    return std::string(buffer.data());
}

TEST(FindSubstring, FindsTheFirstOccurrence)
{
    EXPECT_EQ(Find("abcabc", "bc"), 1);
    EXPECT_EQ(Find("abc", "abc"), 0);
    EXPECT_EQ(Find("xx#@yy#@", "#@"), 2);
}

TEST(FindSubstring, RestartsAfterAPartialMatch)
{
    EXPECT_EQ(Find("aaab", "aab"), 1);
    EXPECT_EQ(Find("\r\r\n", "\r\n"), 1);
}

TEST(FindSubstring, AnswersNoneWhenTheTextEndsFirst)
{
    EXPECT_EQ(Find("xa", "ab"), -1);
    EXPECT_EQ(Find("ab", "abc"), -1);
    EXPECT_EQ(Find("", "a"), -1);
    EXPECT_EQ(Find("hello", "z"), -1);
}

TEST(FindSubstring, LetterCaseCounts)
{
    EXPECT_EQ(Find("Nota NOTA nota", "nota"), 10);
    EXPECT_EQ(Find("ABC", "abc"), -1);
}

TEST(FindSubstring, EmptyPatternMatchesAtTheStart)
{
    EXPECT_EQ(Find("abc", ""), 0);
    EXPECT_EQ(Find("", ""), 0);
}

TEST(FindSubstring, ComparesBytesAbove127)
{
    EXPECT_EQ(Find("perch\xe9 \xe8", "\xe8"), 7);
    EXPECT_EQ(Find("\xe0", "\xc0"), -1);
}

TEST(ConvertLineBreaks, EncodingTurnsEachCrLfIntoTheMark)
{
    EXPECT_EQ(Convert("uno\r\ndue\r\n\r\ntre", 1), "uno#@due#@#@tre");
}

TEST(ConvertLineBreaks, DecodingTurnsEachMarkIntoCrLf)
{
    EXPECT_EQ(Convert("uno#@due#@#@tre", 0), "uno\r\ndue\r\n\r\ntre");
}

TEST(ConvertLineBreaks, OnlyWholePairsChange)
{
    EXPECT_EQ(Convert("a\rb\nc\n\rd", 1), "a\rb\nc\n\rd");
    EXPECT_EQ(Convert("\r\r\n\n", 1), "\r#@\n");
    EXPECT_EQ(Convert("# @ @# #", 0), "# @ @# #");
    EXPECT_EQ(Convert("##@@", 0), "#\r\n@");
    EXPECT_EQ(Convert("#@@", 0), "\r\n@");
}

TEST(ConvertLineBreaks, TextKeepsItsLength)
{
    const std::string text = "a\r\n\r\r\n#@#\n@";
    EXPECT_EQ(Convert(text, 1).size(), text.size());
    EXPECT_EQ(Convert(text, 0).size(), text.size());
}

TEST(ConvertLineBreaks, EmptyTextStaysEmpty)
{
    EXPECT_EQ(Convert("", 1), "");
    EXPECT_EQ(Convert("", 0), "");
}

TEST(PairLoneLineBreaks, LoneCrAndLoneLfBecomeCrLf)
{
    EXPECT_EQ(PairLoneLineBreaks("a\rb"), "a\r\nb");
    EXPECT_EQ(PairLoneLineBreaks("a\nb"), "a\r\nb");
    EXPECT_EQ(PairLoneLineBreaks("\n\r"), "\r\n\r\n");
    EXPECT_EQ(PairLoneLineBreaks("x\r"), "x\r\n");
    EXPECT_EQ(PairLoneLineBreaks("\r\r\n\n"), "\r\n\r\n\r\n");
}

TEST(PairLoneLineBreaks, PairsAndOtherTextStayAsTheyAre)
{
    const std::string text = "uno\r\ndue \xe8\t#@\r\n";
    EXPECT_EQ(PairLoneLineBreaks(text), text);
    EXPECT_EQ(PairLoneLineBreaks(""), "");
}

TEST(PairLoneLineBreaks, EncodingAfterwardsLeavesNoCrOrLf)
{
    const std::string encoded = Convert(PairLoneLineBreaks("a\rb\nc\r\n\n\rd\r"), 1);
    EXPECT_EQ(encoded, "a#@b#@c#@#@#@d#@");
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

} // namespace
