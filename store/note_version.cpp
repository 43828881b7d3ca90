#include "store/note_version.h"

#include <algorithm>

#include "base/fnv1a.h"

namespace {

bool IsNameCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '~';
}

std::uint64_t CountOf(const Version& version, std::string_view computer)
{
    for (const auto& count : version.counts)
        if (count.first == computer)
            return count.second;
    return 0;
}

} // namespace

VersionOrder CompareVersions(const Version& first, const Version& second)
{
    bool firstAhead = false, secondAhead = false;
    auto a = first.counts.begin(), b = second.counts.begin();
    while (a != first.counts.end() || b != second.counts.end()) {
        if (b == second.counts.end() || (a != first.counts.end() && a->first < b->first)) {
            firstAhead = true;
            ++a;
        } else if (a == first.counts.end() || b->first < a->first) {
            secondAhead = true;
            ++b;
        } else {
            firstAhead = firstAhead || a->second > b->second;
            secondAhead = secondAhead || b->second > a->second;
            ++a;
            ++b;
        }
    }
    if (firstAhead && secondAhead)
        return VersionOrder::Apart;
    if (firstAhead)
        return VersionOrder::After;
    return secondAhead ? VersionOrder::Before : VersionOrder::Same;
}

Version JoinedVersion(const Version& first, const Version& second)
{
    Version joined = first;
    for (const auto& count : second.counts) {
        auto at = std::lower_bound(joined.counts.begin(), joined.counts.end(), count,
                                   [](const auto& x, const auto& y) { return x.first < y.first; });
        if (at != joined.counts.end() && at->first == count.first)
            at->second = std::max(at->second, count.second);
        else
            joined.counts.insert(at, count);
    }
    return joined;
}

Version SteppedVersion(const Version& version, std::string_view computer, std::uint64_t floor)
{
    Version own;
    own.counts.emplace_back(std::string(computer), std::max(CountOf(version, computer) + 1, floor));
    Version stepped = JoinedVersion(version, own);
    for (auto& count : stepped.counts)
        if (count.first == computer)
            count.second = own.counts[0].second;
    return stepped;
}

std::string FormatVersion(const Version& version)
{
    std::string text;
    for (const auto& count : version.counts) {
        if (!text.empty())
            text += ',';
        text += count.first + ':' + std::to_string(count.second);
    }
    return text;
}

std::optional<Version> ParseVersion(std::string_view text)
{
    Version version;
    while (!text.empty()) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const std::string_view item = text.substr(0, comma);
        text.remove_prefix(std::min(comma + 1, text.size()));
        const std::size_t colon = item.find(':');
        if (colon == 0 || colon == std::string_view::npos || colon > 40 || colon + 1 == item.size() ||
            item.size() - colon > 20)
            return std::nullopt;
        const std::string_view name = item.substr(0, colon);
        if (!std::all_of(name.begin(), name.end(), IsNameCharacter))
            return std::nullopt;
        std::uint64_t count = 0;
        for (char c : item.substr(colon + 1)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            count = count * 10 + static_cast<unsigned>(c - '0');
        }
        if (count == 0 || (!version.counts.empty() && version.counts.back().first >= name))
            return std::nullopt;
        version.counts.emplace_back(std::string(name), count);
    }
    return version;
}

std::string DerivedIdentity(std::initializer_list<std::string_view> parts)
{
    Fnv1a64 fnv;
    for (std::string_view part : parts)
        fnv.AddPart(part);
    std::uint64_t hash = fnv.value();
    static const char digits[] = "0123456789abcdef";
    std::string identity(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        identity[static_cast<std::size_t>(i)] = digits[hash & 15];
    return identity;
}

bool IsIdentity(std::string_view text)
{
    return !text.empty() && text.size() <= 32 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c != '~' && IsNameCharacter(c); });
}

// Howard Hinnant's days-from-civil.
long DayNumber(int year, int month, int day)
{
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::string FormatDay(long dayNumber)
{
    dayNumber += 719468;
    const long era = (dayNumber >= 0 ? dayNumber : dayNumber - 146096) / 146097;
    const long dayOfEra = dayNumber - era * 146097;
    const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long shifted = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long year = yearOfEra + era * 400 + (month <= 2);
    char text[16] = {};
    text[0] = static_cast<char>('0' + year / 1000 % 10);
    text[1] = static_cast<char>('0' + year / 100 % 10);
    text[2] = static_cast<char>('0' + year / 10 % 10);
    text[3] = static_cast<char>('0' + year % 10);
    text[4] = '-';
    text[5] = static_cast<char>('0' + month / 10);
    text[6] = static_cast<char>('0' + month % 10);
    text[7] = '-';
    text[8] = static_cast<char>('0' + day / 10);
    text[9] = static_cast<char>('0' + day % 10);
    return std::string(text, 10);
}

std::optional<long> ParseDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (std::size_t i = 0; i < lengths[p]; ++i) {
            const char c = text[starts[p] + i];
            if (c < '0' || c > '9')
                return std::nullopt;
            parts[p] = parts[p] * 10 + (c - '0');
        }
    if (parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31)
        return std::nullopt;
    return DayNumber(parts[0], parts[1], parts[2]);
}
