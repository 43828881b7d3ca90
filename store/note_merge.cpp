#include "store/note_merge.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <set>
#include <string>

namespace {

const char OptionsSection[] = "OPZIONI";

// FNV-1a, 64 bits: fast, and the same on every compiler, so that a version
// read by one build is the same number in another.
class Fnv {
  public:
    void Add(std::string_view bytes)
    {
        AddLength(bytes.size());
        for (char c : bytes)
            Byte(static_cast<unsigned char>(c));
    }
    NoteVersion value() const { return hash_; }

  private:
    // The lengths keep ("ab", "c") apart from ("a", "bc").
    void AddLength(std::size_t length)
    {
        for (int i = 0; i < 4; ++i)
            Byte(static_cast<unsigned char>(length >> (8 * i)));
    }
    void Byte(unsigned char b)
    {
        hash_ ^= b;
        hash_ *= 0x100000001b3ull;
    }
    NoteVersion hash_ = 0xcbf29ce484222325ull;
};

// Places of the base not yet matched, by a key, each list smallest first.
template <typename Key> using Unmatched = std::unordered_map<Key, std::vector<int>>;

template <typename Key> int TakeFirst(Unmatched<Key>& places, const Key& key, const std::vector<char>& taken)
{
    auto found = places.find(key);
    if (found == places.end())
        return -1;
    std::vector<int>& list = found->second; // largest first: the smallest is taken from the back
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

} // namespace

bool ClosesTooMany(std::size_t closing, std::size_t notes)
{
    return closing > 0 && (closing == notes || (notes > 2 && 2 * closing > notes));
}

NoteVersion VersionOf(const StoredNote& note)
{
    Fnv hash;
    hash.Add(note.title);
    hash.Add(note.text);
    hash.Add(note.voicePath);
    return hash.value();
}

std::vector<int> MatchRuns(const StoredRun& base, const StoredRun& disk, const std::vector<NoteHere>& here,
                           const SeenVersions& seen)
{
    std::vector<int> baseOf(disk.size(), -1);
    std::vector<char> taken(base.size(), 0);
    auto match = [&](std::size_t j, int p) {
        baseOf[j] = p;
        taken[static_cast<std::size_t>(p)] = 1;
    };

    // The same note, unchanged; equal notes pair in their order.
    Unmatched<NoteVersion> byVersion = UnmatchedBy<NoteVersion>(base, taken, VersionOf);
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j]) {
            const int p = TakeFirst(byVersion, VersionOf(*disk[j]), taken);
            if (p >= 0)
                match(j, p);
        }
    // A version this run read or wrote for a note: that note, in an older state.
    for (std::size_t j = 0; j < disk.size(); ++j) {
        if (!disk[j] || baseOf[j] >= 0)
            continue;
        auto known = seen.find(VersionOf(*disk[j]));
        if (known == seen.end() || known->second.here < 0)
            continue;
        const int p = here[static_cast<std::size_t>(known->second.here)].record.place;
        if (p >= 0 && static_cast<std::size_t>(p) < base.size() && base[static_cast<std::size_t>(p)] &&
            !taken[static_cast<std::size_t>(p)])
            match(j, p);
    }
    // The same text: renamed. Before titles, which notes made in the same
    // minute share.
    Unmatched<std::string> byText =
        UnmatchedBy<std::string>(base, taken, [](const StoredNote& note) { return note.text; });
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && baseOf[j] < 0 && !disk[j]->text.empty()) {
            const int p = TakeFirst(byText, disk[j]->text, taken);
            if (p >= 0)
                match(j, p);
        }
    // The same title: its text or voice changed.
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

MergedSave NotesToSave(const StoredRun& disk, const std::vector<NoteHere>& here, const MergeOutcome& merge)
{
    MergedSave save;
    save.hereEntry.assign(here.size(), -1);
    save.addedEntry.assign(merge.added.size(), -1);
    std::vector<char> claimed(disk.size(), 0);
    for (int place : merge.removed)
        claimed[static_cast<std::size_t>(place)] = 1;
    save.changes = !merge.removed.empty();
    auto add = [&](const StoredNote& note, int place) {
        save.notes.push_back(NoteToSave{note, place});
        if (place >= 0)
            claimed[static_cast<std::size_t>(place)] = 1;
        save.changes = save.changes || place < 0 || !SameStored(note, *disk[static_cast<std::size_t>(place)]);
        return static_cast<int>(save.notes.size() - 1);
    };
    for (std::size_t i = 0; i < here.size(); ++i) {
        const MergedHere& merged = merge.here[i];
        if (!here[i].now || merged.action == ScreenAction::Close)
            continue;
        const NoteRecord& record = merged.record;
        if (record.place >= 0) {
            // An updated window shows what the disk holds.
            const StoredNote& now = merged.action == ScreenAction::Update ? *record.base : *here[i].now;
            const bool changedHere = !SameStored(now, *record.base);
            save.hereEntry[i] =
                add(changedHere ? now : *disk[static_cast<std::size_t>(record.place)], record.place);
        } else if (!record.base) {
            save.hereEntry[i] = add(*here[i].now, -1);
        } // else it waits to close: not written again
    }
    for (std::size_t k = 0; k < merge.added.size(); ++k) {
        const MergedNew& added = merge.added[k];
        save.addedEntry[k] = add(added.note, added.place);
    }
    // What nobody here claims stays as the file has it (a note that could not
    // be shown, say).
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && !claimed[j])
            add(*disk[j], static_cast<int>(j));
    return save;
}

MergedRecords RecordsAfterSave(const std::vector<NoteHere>& here, const MergeOutcome& merge,
                               const MergedSave& save, const std::vector<int>* placeOf)
{
    MergedRecords records;
    records.here.resize(here.size());
    for (std::size_t i = 0; i < here.size(); ++i) {
        const MergedHere& merged = merge.here[i];
        if (!here[i].now || merged.action == ScreenAction::Close)
            continue;
        const int entry = save.hereEntry[i];
        if (!placeOf || entry < 0) {
            records.here[i] = merged.record;
            continue;
        }
        const StoredNote& shown = merged.action == ScreenAction::Update ? *merged.record.base : *here[i].now;
        const StoredNote& written = save.notes[static_cast<std::size_t>(entry)].now;
        records.here[i] = NoteRecord{(*placeOf)[static_cast<std::size_t>(entry)],
                                     SameStored(shown, written) ? written : *merged.record.base};
    }
    records.added.resize(merge.added.size());
    for (std::size_t k = 0; k < merge.added.size(); ++k) {
        const MergedNew& added = merge.added[k];
        if (placeOf)
            records.added[k] =
                NoteRecord{(*placeOf)[static_cast<std::size_t>(save.addedEntry[k])], added.note};
        else if (added.place >= 0)
            records.added[k] = NoteRecord{added.place, added.note};
    }
    return records;
}

SettingsOnDisk ReadSettingsOnDisk(const IniDocument& store)
{
    const StoredSettings read = ReadSettings(store);
    SettingsOnDisk disk;
    if (store.Get(OptionsSection, "LARGHEZZA"))
        disk.width = read.width;
    if (store.Get(OptionsSection, "ALTEZZA"))
        disk.height = read.height;
    if (store.Get(OptionsSection, "COLORE"))
        disk.color = read.color;
    return disk;
}

void MergeSettings(StoredSettings& base, StoredSettings& here, const SettingsOnDisk& disk, bool diskIsStale)
{
    auto merge = [diskIsStale](auto& baseValue, auto& hereValue, const auto& diskValue) {
        if (!diskValue || diskIsStale)
            return;
        if (hereValue == baseValue)
            hereValue = *diskValue;
        baseValue = *diskValue;
    };
    merge(base.width, here.width, disk.width);
    merge(base.height, here.height, disk.height);
    merge(base.color, here.color, disk.color);
}
