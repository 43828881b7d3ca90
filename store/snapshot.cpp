#include "store/snapshot.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "base/fnv1a.h"

namespace {

// A count no computer gave: derived from a file, the same on every copy.
const char DerivedMark = '~';

std::string Hex8(std::initializer_list<std::string_view> parts)
{
    return DerivedIdentity(parts).substr(0, 8);
}

std::string Hex8(const StoredNote& note)
{
    return Hex8({note.title, note.text, note.voicePath});
}

// The version of a note that came without one: its content's, so that every
// copy reading the same file gives the same, and a deletion of it has one.
Version DerivedVersion(const StoredNote& note)
{
    return Version{{{DerivedMark + Hex8(note), 1}}};
}

// An identity for a note of a file that has none: from its content and how
// many notes before it in the same file hold the same, so that every copy
// reading that file names it alike.
std::string IdentityFromContent(std::string_view source, const StoredNote& note, int occurrence)
{
    return DerivedIdentity({source, note.title, note.text, note.voicePath, std::to_string(occurrence)});
}

// Identities derived for the notes of a conflict copy start so.
const char CopyIdentityMark[] = "k";

// Places of the base not yet matched, by a key, each list largest first.
template <typename Key> using Unmatched = std::unordered_map<Key, std::vector<int>>;

template <typename Key> int TakeFirst(Unmatched<Key>& places, const Key& key, const std::vector<char>& taken)
{
    auto found = places.find(key);
    if (found == places.end())
        return -1;
    std::vector<int>& list = found->second; // the smallest is taken from the back
    while (!list.empty() && taken[static_cast<std::size_t>(list.back())])
        list.pop_back();
    if (list.empty())
        return -1;
    const int place = list.back();
    list.pop_back();
    return place;
}

template <typename Key, typename KeyOf>
Unmatched<Key> UnmatchedBy(const StoredRun& base, const std::vector<char>& taken, KeyOf keyOf)
{
    Unmatched<Key> places;
    for (std::size_t p = base.size(); p-- > 0;)
        if (base[p] && !taken[p])
            places[keyOf(*base[p])].push_back(static_cast<int>(p));
    return places;
}

// A note renamed and rewritten: an unmatched note of the disk takes the first
// unmatched place of the base between the places that its matched neighbours
// on disk came from, so that a renumbering after a delete does not pair it
// with a stranger.
void MatchByNeighbours(const StoredRun& base, const StoredRun& disk, std::vector<int>& baseOf,
                       std::vector<char>& taken)
{
    std::set<int> free;
    for (std::size_t p = 0; p < base.size(); ++p)
        if (base[p] && !taken[p])
            free.insert(static_cast<int>(p));
    if (free.empty())
        return;
    std::vector<int> nextMatched(disk.size() + 1, static_cast<int>(base.size()));
    for (std::size_t j = disk.size(); j-- > 0;)
        nextMatched[j] = baseOf[j] >= 0 ? baseOf[j] : nextMatched[j + 1];
    int previous = -1;
    for (std::size_t j = 0; j < disk.size(); ++j) {
        if (baseOf[j] >= 0) {
            previous = baseOf[j];
            continue;
        }
        if (!disk[j])
            continue;
        // Only between two matched neighbours: before the first or after the
        // last, a note unmatched on each side is as likely deleted on one
        // and new on the other (new notes go at the end).
        const int next = nextMatched[j + 1];
        if (previous < 0 || next >= static_cast<int>(base.size()))
            continue;
        auto candidate = free.upper_bound(previous);
        if (candidate == free.end() || *candidate >= next)
            continue;
        baseOf[j] = *candidate;
        taken[static_cast<std::size_t>(*candidate)] = 1;
        previous = *candidate;
        free.erase(candidate);
    }
}

// The notes of a file as it holds them: with the identity and version it
// gives them, where they are valid; a note holding an identity an earlier
// note holds was copied by hand, and is a note of its own.
Snapshot ReadNotes(const IniDocument& document, const TextCharset& charset)
{
    Snapshot snapshot;
    snapshot.notes = StoredNotes(document, charset);
    snapshot.how.assign(snapshot.notes.size(), IdentityFrom::File);
    snapshot.seen.assign(snapshot.notes.size(), 0);
    std::unordered_set<std::string> ids;
    for (auto& note : snapshot.notes) {
        if (!note || note->id.empty())
            continue;
        if (!ids.insert(note->id).second) {
            note->id.clear();
            note->version = Version();
            note->origin.clear();
        } else if (note->version.counts.empty()) {
            // Written by an earlier version for a note of a file without identities.
            note->version = DerivedVersion(*note);
        }
    }
    snapshot.deletions = ReadDeletions(document);
    return snapshot;
}

bool Unidentified(const Snapshot& snapshot, std::size_t j)
{
    return snapshot.notes[j] && snapshot.notes[j]->id.empty();
}

// For each note of the file without identity, the place of the base's note
// it is: of the base's notes the file lacks, one no copy of this version
// stamped is matched by content (MatchRuns); a stamped one only as it is: a
// file that dropped the keys of a changed note shows both versions rather
// than pair it with another note of the same title.
std::vector<int> MatchWithBase(const Snapshot& disk, const StoredRun& base)
{
    std::unordered_set<std::string> inFile;
    for (const auto& note : disk.notes)
        if (note && !note->id.empty())
            inFile.insert(note->id);
    StoredRun unmatchedBase(base.size()), unidentified(disk.notes.size());
    std::unordered_map<ContentHash, std::vector<int>> stamped;
    for (std::size_t p = base.size(); p-- > 0;)
        if (base[p] && !inFile.count(base[p]->id)) {
            if (OnlyDerived(base[p]->version))
                unmatchedBase[p] = base[p];
            else
                stamped[HashOfContent(*base[p])].push_back(static_cast<int>(p));
        }
    std::vector<int> stampedOf(disk.notes.size(), -1);
    for (std::size_t j = 0; j < disk.notes.size(); ++j)
        if (Unidentified(disk, j)) {
            auto same = stamped.find(HashOfContent(*disk.notes[j]));
            if (same != stamped.end() && !same->second.empty()) {
                stampedOf[j] = same->second.back();
                same->second.pop_back();
            } else {
                unidentified[j] = disk.notes[j];
            }
        }
    std::vector<int> baseOf = MatchRuns(unmatchedBase, unidentified);
    for (std::size_t j = 0; j < disk.notes.size(); ++j)
        if (stampedOf[j] >= 0)
            baseOf[j] = stampedOf[j];
    return baseOf;
}

// A note new here that the file holds too, with text or a voice message
// (another copy took it from the same conflict copy), is that note; two empty
// notes of the same minute stay two.
void PairWithNewNotes(Snapshot& disk, const std::vector<NoteHere>& here)
{
    std::unordered_map<ContentHash, const StoredNote*> fresh;
    for (const NoteHere& note : here)
        if (!note.record.base && note.now && (!note.now->text.empty() || !note.now->voicePath.empty()))
            fresh.emplace(HashOfContent(*note.now), &*note.now);
    for (std::size_t j = 0; j < disk.notes.size() && !fresh.empty(); ++j) {
        if (!Unidentified(disk, j))
            continue;
        auto same = fresh.find(HashOfContent(*disk.notes[j]));
        if (same == fresh.end())
            continue;
        disk.notes[j]->id = same->second->id;
        disk.notes[j]->version = same->second->version;
        disk.how[j] = IdentityFrom::Matched;
        fresh.erase(same);
    }
}

// Gives every note of the file without identity one: the matched note's of
// this run, or one derived from the file.
void Identify(Snapshot& disk, const RunKnows& run)
{
    const std::vector<int> baseOf = MatchWithBase(disk, run.base);
    for (std::size_t j = 0; j < disk.notes.size(); ++j)
        if (Unidentified(disk, j) && baseOf[j] >= 0) {
            const StoredNote& was = *run.base[static_cast<std::size_t>(baseOf[j])];
            disk.notes[j]->id = was.id;
            disk.notes[j]->version = was.version;
            disk.how[j] = IdentityFrom::Matched;
        }
    PairWithNewNotes(disk, run.here);
    std::unordered_map<std::string, int> occurrences;
    for (std::size_t j = 0; j < disk.notes.size(); ++j) {
        if (!Unidentified(disk, j))
            continue;
        StoredNote& note = *disk.notes[j];
        note.id = IdentityFromContent(
            "file", note, occurrences[DerivedIdentity({note.title, note.text, note.voicePath})]++);
        note.version = DerivedVersion(note);
        disk.how[j] = IdentityFrom::Derived;
        if (run.seen.count(HashOfContent(note)))
            disk.seen[j] = OldCopy; // of a note this run has since deleted or changed
    }
}

// A version this run synced, found with other content and no new stamp: an
// editor's change made from it, unless it is content this run had before.
void StampHandEdits(Snapshot& disk, const StoredRun& base, const SeenContents& seen)
{
    std::unordered_map<std::string, const StoredNote*> inBase;
    for (const auto& note : base)
        if (note)
            inBase.emplace(note->id, &*note);
    for (std::size_t j = 0; j < disk.notes.size(); ++j) {
        if (!disk.notes[j] || disk.how[j] == IdentityFrom::Derived)
            continue;
        StoredNote& note = *disk.notes[j];
        auto was = inBase.find(note.id);
        if (was == inBase.end() || note.version != was->second->version || SameContent(note, *was->second))
            continue;
        if (seen.count(HashOfContent(note)))
            disk.seen[j] = SeenBefore;
        else
            note.version = SteppedVersion(note.version, DerivedMark + Hex8(note));
    }
}

// A file without identities deletes as it always did: a note it lacks that is
// unchanged here and that no copy of this version stamped was deleted there.
// Unless that closes most notes here: the file is then damaged, deletes
// nothing, and what it changed comes beside this run's notes, under an
// identity of its own, instead of replacing them.
void DeleteByAbsence(Snapshot& disk, const RunKnows& run)
{
    std::unordered_map<std::string, const StoredNote*> inFile;
    for (const auto& note : disk.notes)
        if (note)
            inFile.emplace(note->id, &*note);
    Deletions absent;
    std::size_t notesHere = 0;
    for (const NoteHere& note : run.here) {
        if (!note.now)
            continue;
        ++notesHere;
        const std::optional<StoredNote>& base = note.record.base;
        if (base && note.record.place >= 0 && !inFile.count(note.now->id) && OnlyDerived(base->version) &&
            SameContent(*note.now, *base))
            absent.emplace_back(note.now->id, Deletion{base->version, run.today});
    }
    if (ClosesTooMany(absent.size(), notesHere)) {
        disk.damaged = true;
        std::unordered_map<std::string, const StoredNote*> inBase;
        for (const auto& note : run.base)
            if (note)
                inBase.emplace(note->id, &*note);
        for (std::size_t j = 0; j < disk.notes.size(); ++j) {
            if (disk.how[j] != IdentityFrom::Matched)
                continue;
            StoredNote& note = *disk.notes[j];
            auto was = inBase.find(note.id);
            if (was != inBase.end() && !SameContent(note, *was->second)) {
                note.origin = note.id;
                note.id = ApartIdentity(note);
                disk.how[j] = IdentityFrom::Derived;
            }
        }
        return;
    }
    std::sort(absent.begin(), absent.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    disk.deletions = JoinedDeletions(disk.deletions, absent);
}

bool SameSettings(const StoredSettings& a, const StoredSettings& b)
{
    return a.width == b.width && a.height == b.height && a.color == b.color;
}

void ReadSettingsOf(Snapshot& disk, const IniDocument& document, const RunKnows& run, bool stale)
{
    disk.settings = run.baseSettings;
    disk.settingsVersion = run.baseSettingsVersion;
    if (stale)
        return;
    const SettingsOnDisk stored = ReadSettingsOnDisk(document);
    disk.settings.width = stored.width.value_or(run.baseSettings.width);
    disk.settings.height = stored.height.value_or(run.baseSettings.height);
    disk.settings.color = stored.color.value_or(run.baseSettings.color);
    disk.settingsVersion = ReadSettingsVersion(document).value_or(run.baseSettingsVersion);
    if (disk.settingsVersion == run.baseSettingsVersion && !SameSettings(disk.settings, run.baseSettings)) {
        const StoredSettings& s = disk.settings;
        disk.settingsVersion = SteppedVersion(
            disk.settingsVersion,
            DerivedMark + Hex8({std::to_string(s.width), std::to_string(s.height), std::to_string(s.color)}));
    }
}

} // namespace

ContentHash HashOfContent(const StoredNote& note)
{
    Fnv1a64 hash;
    hash.AddPart(note.title);
    hash.AddPart(note.text);
    hash.AddPart(note.voicePath);
    return hash.value();
}

bool OnlyDerived(const Version& version)
{
    return std::all_of(version.counts.begin(), version.counts.end(), [](const auto& count) {
        return !count.first.empty() && count.first[0] == DerivedMark;
    });
}

std::string ApartIdentity(const StoredNote& note)
{
    return DerivedIdentity(
        {"apart", note.id, FormatVersion(note.version), note.title, note.text, note.voicePath});
}

bool ClosesTooMany(std::size_t closing, std::size_t notes)
{
    return closing > 0 && (closing == notes || (notes > 2 && 2 * closing > notes));
}

Deletions JoinedDeletions(const Deletions& first, const Deletions& second)
{
    Deletions joined;
    auto a = first.begin(), b = second.begin();
    while (a != first.end() || b != second.end()) {
        if (b == second.end() || (a != first.end() && a->first < b->first)) {
            joined.push_back(*a++);
        } else if (a == first.end() || b->first < a->first) {
            joined.push_back(*b++);
        } else {
            joined.emplace_back(a->first, Deletion{JoinedVersion(a->second.version, b->second.version),
                                                   std::max(a->second.day, b->second.day)});
            ++a;
            ++b;
        }
    }
    return joined;
}

std::vector<int> MatchRuns(const StoredRun& base, const StoredRun& disk)
{
    std::vector<int> baseOf(disk.size(), -1);
    std::vector<char> taken(base.size(), 0);
    auto match = [&](std::size_t j, int p) {
        baseOf[j] = p;
        taken[static_cast<std::size_t>(p)] = 1;
    };
    // The same note, unchanged; equal notes pair in their order.
    Unmatched<ContentHash> byContent = UnmatchedBy<ContentHash>(base, taken, HashOfContent);
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j]) {
            const int p = TakeFirst(byContent, HashOfContent(*disk[j]), taken);
            if (p >= 0)
                match(j, p);
        }
    Unmatched<std::string> byText =
        UnmatchedBy<std::string>(base, taken, [](const StoredNote& note) { return note.text; });
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && baseOf[j] < 0 && !disk[j]->text.empty()) {
            const int p = TakeFirst(byText, disk[j]->text, taken);
            if (p >= 0)
                match(j, p);
        }
    Unmatched<std::string> byTitle =
        UnmatchedBy<std::string>(base, taken, [](const StoredNote& note) { return note.title; });
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && baseOf[j] < 0) {
            const int p = TakeFirst(byTitle, disk[j]->title, taken);
            if (p >= 0)
                match(j, p);
        }
    MatchByNeighbours(base, disk, baseOf, taken);
    return baseOf;
}

Snapshot ReadStore(const IniDocument& document, const TextCharset& charset, const RunKnows& run, bool stale,
                   bool cut)
{
    Snapshot disk = ReadNotes(document, charset);
    if (cut) {
        // The note the file ends inside is not read: it would cut what it holds.
        while (!disk.notes.empty() && !disk.notes.back())
            disk.notes.pop_back();
        if (!disk.notes.empty())
            disk.notes.pop_back();
        disk.how.resize(disk.notes.size());
        disk.seen.resize(disk.notes.size());
        disk.damaged = true;
    }
    Identify(disk, run);
    StampHandEdits(disk, run.base, run.seen);
    if (!HasIdentities(document) && !stale && !cut)
        DeleteByAbsence(disk, run);
    ReadSettingsOf(disk, document, run, stale);
    return disk;
}

Snapshot ReadCopy(const IniDocument& document, const TextCharset& charset)
{
    Snapshot copy = ReadNotes(document, charset);
    std::unordered_map<std::string, int> occurrences;
    for (std::size_t j = 0; j < copy.notes.size(); ++j)
        if (Unidentified(copy, j)) {
            StoredNote& note = *copy.notes[j];
            note.id =
                CopyIdentityMark +
                IdentityFromContent("copy", note,
                                    occurrences[DerivedIdentity({note.title, note.text, note.voicePath})]++)
                    .substr(1);
            note.version = DerivedVersion(note);
            copy.how[j] = IdentityFrom::Derived;
        }
    return copy;
}

Snapshot ReadRestored(const IniDocument& document, const TextCharset& charset, std::string_view bytes)
{
    Snapshot restored = ReadCopy(document, charset);
    const std::string restore = "r" + DerivedIdentity({bytes}).substr(0, 8);
    for (std::size_t j = 0; j < restored.notes.size(); ++j)
        if (restored.notes[j] && restored.how[j] == IdentityFrom::File)
            restored.notes[j]->version = SteppedVersion(restored.notes[j]->version, restore);
    return restored;
}
