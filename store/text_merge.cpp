#include "store/text_merge.h"

#include <dtl/dtl.hpp>

#include <algorithm>

namespace {

using Units = std::vector<std::string_view>;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

bool IsWordByte(char c)
{
    return !IsBlank(c) && !IsLineBreak(c);
}

bool IsBlankRun(std::string_view unit)
{
    return !unit.empty() && IsBlank(unit.front());
}

// Units the diff aligns: equal ones, and any two runs of blanks, so that the words around a run
// that grew or shrank anchor the alignment, not a blank elsewhere (Changes tells the run's change
// apart). dtl's default comparator is a class with virtual functions; units need no more.
struct AlignedUnit {
    bool impl(std::string_view a, std::string_view b) const
    {
        return a == b || (IsBlankRun(a) && IsBlankRun(b));
    }
};

// One side's change: the units [begin, end) of the text it was made from, replaced by its own units
// [from, to). An insertion when begin == end, a deletion when from == to. `reach` is the end of the
// last place where it could stand as well (see Placed).
struct Change {
    std::size_t begin, end, from, to, reach;
};

// The changes that turn `before` into `after`, in order; between two of them lies at least one
// unchanged unit, as every run of edits between two common units of the edit script is one change.
std::vector<Change> Changes(const Units& before, const Units& after)
{
    dtl::Diff<std::string_view, Units, AlignedUnit> diff(before, after);
    diff.compose();
    std::vector<Change> changes;
    std::size_t at = 0, afterAt = 0;
    bool inChange = false;
    const auto edits = diff.getSes().getSequence();
    for (const auto& edit : edits) {
        const dtl::edit_t type = edit.second.type;
        if (type == dtl::SES_COMMON && before[at] == after[afterAt]) {
            inChange = false;
            ++at;
            ++afterAt;
            continue;
        }
        if (type == dtl::SES_COMMON) { // a run of blanks of another length: that unit changed
            if (!inChange) {
                changes.push_back({at, at, afterAt, afterAt, at});
                inChange = true;
            }
            changes.back().end = changes.back().reach = ++at;
            changes.back().to = ++afterAt;
            continue;
        }
        if (!inChange) {
            changes.push_back({at, at, afterAt, afterAt, at});
            inChange = true;
        }
        if (type == dtl::SES_DELETE) {
            changes.back().end = changes.back().reach = ++at;
        } else {
            changes.back().to = ++afterAt;
        }
    }
    return changes;
}

// An insertion or a deletion can often stand at several places that give the same text: "x "
// inserted before "b" is " x" inserted after "a". An edit script picks one, and may pick another for
// a side whose other changes differ. Each is moved to the first of its places, so that the same
// change made on both sides reads alike, and reaches to the end of the last, so that a change of the
// other side that one of its places would touch is not taken as apart from it. A move passes only
// unchanged units and keeps one between the change and its neighbours.
std::vector<Change> Placed(const Units& before, const Units& after)
{
    std::vector<Change> changes = Changes(before, after);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        Change& change = changes[i];
        const bool insertion = change.begin == change.end;
        if (!insertion && change.from != change.to) {
            continue; // a replacement stands where it is
        }
        // The unit passed must equal the change's unit that takes its place at the other end.
        const auto passes = [&](std::size_t kept, std::size_t taken) {
            return before[kept] == (insertion ? after[taken] : before[taken]);
        };
        const std::size_t lowest = i > 0 ? changes[i - 1].end + 1 : 0;
        while (change.begin > lowest &&
               passes(change.begin - 1, insertion ? change.to - 1 : change.end - 1)) {
            --change.begin;
            --change.end;
            --change.from;
            --change.to;
        }
        const std::size_t highest = i + 1 < changes.size() ? changes[i + 1].begin : before.size() + 1;
        change.reach = change.end;
        for (std::size_t k = 0; change.end + k + 1 < highest &&
                                passes(change.begin + k, insertion ? change.from + k : change.end + k);
             ++k) {
            change.reach = change.end + k + 1;
        }
    }
    return changes;
}

void Append(std::string& text, const Units& units, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        text.append(units[i]);
    }
}

bool SameChange(const Change& a, const Units& aUnits, const Change& b, const Units& bUnits)
{
    return a.begin == b.begin && a.end == b.end &&
           std::equal(aUnits.begin() + a.from, aUnits.begin() + a.to, bUnits.begin() + b.from,
                      bUnits.begin() + b.to);
}

// The byte where unit `index` of `text` starts; the text's end for the unit past the last.
std::size_t OffsetOf(std::string_view text, const Units& units, std::size_t index)
{
    return index < units.size() ? static_cast<std::size_t>(units[index].data() - text.data()) : text.size();
}

} // namespace

std::vector<std::string_view> TextUnits(std::string_view text)
{
    Units units;
    std::size_t start = 0;
    while (start < text.size()) {
        const char first = text[start];
        std::size_t end = start + 1;
        if (first == '\r') {
            if (end < text.size() && text[end] == '\n') {
                ++end;
            }
        } else if (IsBlank(first)) {
            while (end < text.size() && IsBlank(text[end])) {
                ++end;
            }
        } else if (!IsLineBreak(first)) {
            while (end < text.size() && !IsBlank(text[end]) && !IsLineBreak(text[end])) {
                ++end;
            }
        }
        units.push_back(text.substr(start, end - start));
        start = end;
    }
    return units;
}

std::optional<std::string> MergeTexts(std::string_view common, std::string_view first,
                                      std::string_view second)
{
    if (first == second || first == common || second == common) {
        return MergeField(common, first, second); // one side's change, or none
    }
    const Units base = TextUnits(common), ones = TextUnits(first), twos = TextUnits(second);
    const std::vector<Change> byFirst = Placed(base, ones), bySecond = Placed(base, twos);
    std::string merged;
    merged.reserve(std::max(first.size(), second.size()));
    std::size_t at = 0; // the units of `common` before it are merged
    // The first unit of `common` that the other side may change after the changes taken from one
    // side: one past where the last of them reaches.
    std::size_t firstLeaves = 0, secondLeaves = 0;
    auto one = byFirst.begin(), two = bySecond.begin();
    while (one != byFirst.end() || two != bySecond.end()) {
        const bool both = one != byFirst.end() && two != bySecond.end();
        const bool same = both && SameChange(*one, ones, *two, twos);
        if (same || (both && one->begin == one->end && two->begin == one->begin && two->end == one->begin)) {
            Append(merged, base, at, one->begin);
            Append(merged, ones, one->from, one->to);
            if (!same) {
                // The other insertion at the same point; where two words would meet
                // there, they would read as one.
                if (!merged.empty() && IsWordByte(merged.back()) && two->from < two->to &&
                    IsWordByte(twos[two->from].front())) {
                    merged += ' ';
                }
                Append(merged, twos, two->from, two->to);
            }
            at = one->end;
            firstLeaves = one++->reach + 1;
            secondLeaves = two++->reach + 1;
            continue;
        }
        const bool firstsTurn = two == bySecond.end() || (one != byFirst.end() && one->begin <= two->begin);
        const Change& change = firstsTurn ? *one : *two;
        if (change.begin < (firstsTurn ? secondLeaves : firstLeaves)) {
            return std::nullopt;
        }
        Append(merged, base, at, change.begin);
        Append(merged, firstsTurn ? ones : twos, change.from, change.to);
        at = change.end;
        (firstsTurn ? firstLeaves : secondLeaves) = change.reach + 1;
        ++(firstsTurn ? one : two);
    }
    Append(merged, base, at, base.size());
    return merged;
}

std::optional<std::string> MergeField(std::string_view common, std::string_view first,
                                      std::string_view second)
{
    if (first == second || second == common) {
        return std::string(first);
    }
    if (first == common) {
        return std::string(second);
    }
    return std::nullopt;
}

std::size_t MovedPosition(std::string_view before, std::string_view after, std::size_t position)
{
    position = std::min(position, before.size());
    const Units from = TextUnits(before), to = TextUnits(after);
    std::size_t moved = position;
    for (const Change& change : Changes(from, to)) {
        const std::size_t begin = OffsetOf(before, from, change.begin);
        if (position <= begin) {
            break; // the change starts at the position or after it
        }
        const std::size_t end = OffsetOf(before, from, change.end);
        const std::size_t newEnd = OffsetOf(after, to, change.to);
        if (position < end) {
            return newEnd; // inside the replaced stretch
        }
        moved = newEnd + (position - end);
    }
    return moved;
}
