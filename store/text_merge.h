// A note changed on two computers from one common version: its text merged unit by unit, so that
// changes made apart become one note, and where the caret goes when the text on screen is replaced.
// The diff is dtl's (Debian's libdtl-dev); what counts as apart is this program's own rule. No
// windows here: tested natively.
#ifndef APPUNTELLO_STORE_TEXT_MERGE_H
#define APPUNTELLO_STORE_TEXT_MERGE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Units of a note's text: words, runs of blanks (spaces and tabs), line breaks (CR LF one unit, a
// lone CR or LF one unit). A word is a run of any other bytes. Joined, they give the text back
// byte for byte. The views point into `text`.
std::vector<std::string_view> TextUnits(std::string_view text);

// Both changes made to `common`, by `first` and `second`, in one text; nothing when they overlap.
// Apart: at least one unchanged unit of `common` between a change of one side and a change of the
// other. The same change made on both sides counts once. Two insertions at the same point (neither
// side changed a unit there) are both kept whole, `first`'s before `second`'s: the caller orders the
// sides by a rule both computers share, so that both write the same text. Anything else touching
// the same units, or changes with no unchanged unit between them, overlaps. The length limit is the
// caller's.
std::optional<std::string> MergeTexts(std::string_view common, std::string_view first,
                                      std::string_view second);

// A field taken whole (a title, a voice path): the side that changed it, or either when both made
// it the same; nothing when both changed it differently.
std::optional<std::string> MergeField(std::string_view common, std::string_view first,
                                      std::string_view second);

// Where a position (a caret, either end of a selection, in bytes) in `before` falls in `after`, a
// text made from it: moved by what was inserted or removed before it; an insertion exactly at the
// position does not move it; a position inside a stretch that was replaced goes to the end of what
// replaced it. A position past the end of `before` is taken as its end.
std::size_t MovedPosition(std::string_view before, std::string_view after, std::size_t position);

#endif
