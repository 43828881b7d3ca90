// Who a note is and which of two of its versions was made from the other,
// without a clock: every note carries an identity, given once, and a version
// that counts the changes each computer made to it (a version vector, as
// file-sync tools keep). A version made from another counts at least as many
// changes of every computer; two versions of which neither counts all of the
// other's were made apart. No windows here: tested natively.
#ifndef APPUNTELLO_STORE_NOTE_VERSION_H
#define APPUNTELLO_STORE_NOTE_VERSION_H

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Each computer's count, ordered by the computer's name, no count of 0.
struct Version {
    std::vector<std::pair<std::string, std::uint64_t>> counts;
    bool operator==(const Version& other) const { return counts == other.counts; }
    bool operator!=(const Version& other) const { return counts != other.counts; }
};

enum class VersionOrder {
    Same,   // the same version
    Before, // the first was made before the second (the second was made from it)
    After,  // the first was made from the second
    Apart,  // neither from the other
};
VersionOrder CompareVersions(const Version& first, const Version& second);

// The version that knows both.
Version JoinedVersion(const Version& first, const Version& second);
// The next version on this computer: its count goes up by one, and not below
// `floor`, so that a run never reuses a count an earlier run of the same
// computer may have given away.
Version SteppedVersion(const Version& version, std::string_view computer, std::uint64_t floor = 0);

// "name:count,name:count", names of [0-9a-z~] in order; nothing for text that
// is not such a list (a hand-damaged value).
std::string FormatVersion(const Version& version);
std::optional<Version> ParseVersion(std::string_view text);

// 16 lower-case hexadecimal digits from the parts: the same on every computer
// for the same parts.
std::string DerivedIdentity(std::initializer_list<std::string_view> parts);
// What an identity may be: 1 to 32 of [0-9a-z].
bool IsIdentity(std::string_view text);

// Days since 1970-01-01 and back, for the dates of deletions ("2026-12-09").
long DayNumber(int year, int month, int day);
std::string FormatDay(long dayNumber);
std::optional<long> ParseDay(std::string_view text);

#endif
