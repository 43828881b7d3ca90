// The merge of a note's text changed on two sides from one common version, unit by unit, one row
// per rule; and where the caret and the selection go when the merged text replaces the one on screen.
#include "store/text_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const Overlap = nullptr;

struct MergeRow {
    const char* rule;
    const char* common;
    const char* first;
    const char* second;
    const char* merged;            // Overlap when both notes are kept
    const char* swapped = nullptr; // with first and second swapped, when that differs
};

const MergeRow MergeRows[] = {
    {"a word before and a word after", "alpha", "alpha uno", "zero alpha", "zero alpha uno"},
    {"apart by one blank", "uno due tre", "UNO due tre", "uno DUE tre", "UNO DUE tre"},
    {"a change beside a blank changed", "uno due", "UNO due", "uno  due", Overlap},
    {"two deletions side by side", "uno due tre", "due tre", "uno tre", Overlap},
    {"a deletion beside an insertion", "uno due", "uno", "uno due tre", Overlap},
    {"deletions that share units", "uno due tre", "uno", "tre", Overlap},
    {"the same word changed differently", "uno due tre", "uno DUE tre", "uno Due tre", Overlap},
    {"a word deleted and changed", "uno", "", "UNO", Overlap},
    {"two insertions at one point", "uno tre", "uno due tre", "uno DUE tre", "uno due DUE tre",
     "uno DUE due tre"},
    {"two insertions at the end", "alpha", "alpha uno", "alpha due", "alpha uno due", "alpha due uno"},
    {"two insertions into nothing, words kept apart", "", "uno", "due", "uno due", "due uno"},
    {"the same change once, beside another", "uno due tre", "UNO due tre", "UNO due TRE", "UNO due TRE"},
    // Each side's edit script places the insertion of "due" differently (one "uno" was deleted on the
    // second side): taken apart, "due" would be there twice.
    {"an insertion the scripts place differently, not doubled", "uno uno tre", "uno uno due tre",
     "uno due tre", Overlap},
    {"the same deletion of everything", "uno due", "", "", ""},
    {"nothing changed", "", "", "", ""},
    {"a line break between two changes", "uno\r\ndue", "UNO\r\ndue", "uno\r\nDUE", "UNO\r\nDUE"},
    {"CR LF is one unit", "uno\r\ndue", "uno\ndue", "uno\r\nDUE", Overlap},
    {"a lone CR is a unit", "uno\rdue", "UNO\rdue", "uno\rDUE", "UNO\rDUE"},
    {"a lone LF is a unit", "uno\ndue", "UNO\ndue", "uno\nDUE", "UNO\nDUE"},
};

TEST(MergeTexts, OneRowPerRule)
{
    for (const MergeRow& row : MergeRows) {
        SCOPED_TRACE(row.rule);
        const auto merged = MergeTexts(row.common, row.first, row.second);
        const auto swapped = MergeTexts(row.common, row.second, row.first);
        if (row.merged == Overlap) {
            EXPECT_FALSE(merged) << *merged;
            EXPECT_FALSE(swapped) << *swapped;
            continue;
        }
        EXPECT_EQ(merged.value_or("(overlap)"), row.merged);
        EXPECT_EQ(swapped.value_or("(overlap)"), row.swapped ? row.swapped : row.merged);
    }
}

TEST(MergeField, TheSideThatChangedItOrNothing)
{
    EXPECT_EQ(MergeField("Spesa", "Spesa", "Lista").value_or("-"), "Lista");
    EXPECT_EQ(MergeField("Spesa", "Lista", "Spesa").value_or("-"), "Lista");
    EXPECT_EQ(MergeField("Spesa", "Lista", "Lista").value_or("-"), "Lista");
    EXPECT_FALSE(MergeField("Spesa", "Lista", "Conti"));
}

TEST(TextUnits, WordsBlanksAndLineBreaksGiveTheBytesBack)
{
    using Units = std::vector<std::string_view>;
    EXPECT_EQ(TextUnits("uno  \tdue\r\n\r\rtre\n\n\rperch\xe9!"),
              (Units{"uno", "  \t", "due", "\r\n", "\r", "\r", "tre", "\n", "\n", "\r", "perch\xe9!"}));
    EXPECT_EQ(TextUnits(""), Units{});
    for (const char* text : {" ", "\r\n\r\n", "uno\r", "\tdue  tre \r\n\n", "a\r\r\nb"}) {
        std::string joined;
        for (std::string_view unit : TextUnits(text))
            joined += unit;
        EXPECT_EQ(joined, text);
    }
}

struct MoveRow {
    const char* rule;
    const char* before;
    const char* after;
    std::size_t position;
    std::size_t moved;
};

const MoveRow MoveRows[] = {
    {"the caret at the end, the first word changed", "uno due", "UNOUNO due", 7, 10},
    {"an insertion exactly at the caret", "tre", "due tre", 0, 0},
    {"the caret after an insertion", "tre", "due tre", 3, 7},
    {"a selection's start where a replaced stretch starts", "uno due tre", "uno DUEDUE tre", 4, 4},
    {"a selection's end inside a replaced stretch", "uno due tre", "uno DUEDUE tre", 6, 10},
    {"a line break inserted before, two bytes", "due", "uno\r\ndue", 3, 8},
    {"a line break removed before", "uno\r\ndue", "uno due", 8, 7},
    {"past the end", "uno", "uno due", 9, 3},
};

TEST(MovedPosition, OneRowPerRule)
{
    for (const MoveRow& row : MoveRows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(MovedPosition(row.before, row.after, row.position), row.moved);
    }
}

} // namespace
