#include "store/merge.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "base/note_limits.h"
#include "store/text_merge.h"

namespace {

const Deletion* Find(const Deletions& deletions, const std::string& id)
{
    auto at = std::lower_bound(deletions.begin(), deletions.end(), id,
                               [](const auto& entry, const std::string& key) { return entry.first < key; });
    return at != deletions.end() && at->first == id ? &at->second : nullptr;
}

bool AtOrBefore(const Version& version, const Version& limit)
{
    const VersionOrder order = CompareVersions(version, limit);
    return order == VersionOrder::Same || order == VersionOrder::Before;
}

// The fixed order: by the versions' text, then by `firstByContent`.
bool FirstByOrder(const Version& a, const Version& b, bool firstByContent)
{
    const std::string fa = FormatVersion(a), fb = FormatVersion(b);
    return fa != fb ? fa < fb : firstByContent;
}

// One merge: the file's notes by identity and by the branch they were split
// from, and what each rule makes of a note.
class Merger {
  public:
    Merger(const NoteHistory& history, const Snapshot& disk, const std::vector<NoteHere>& here,
           const Deletions& deletions, long today, VersionStamps& stamps, MergedStore& out)
        : history_(history), disk_(disk), deletions_(deletions), today_(today), stamps_(stamps), out_(out),
          claimed_(disk.notes.size(), 0)
    {
        for (const NoteHere& note : here)
            if (note.now)
                hereIds_.insert(note.now->id);
        for (std::size_t j = 0; j < disk.notes.size(); ++j)
            if (disk.notes[j]) {
                place_.emplace(disk.notes[j]->id, static_cast<int>(j));
                if (!disk.notes[j]->origin.empty())
                    splitFrom_.push_back(static_cast<int>(j));
            }
    }

    void Merge(NoteHere& note, MergedHere& merged)
    {
        int m = PlaceById(note);
        std::optional<StoredNote> joined;
        if (note.now && m >= 0 &&
            CompareVersions(note.now->version, DiskNote(m).version) == VersionOrder::Apart) {
            if (note.record.base)
                joined = Join(*note.now, note.record.how, DiskNote(m), disk_.how[static_cast<std::size_t>(m)],
                              note.now->id);
            if (!joined)
                m = BranchOf(note, m);
        }
        const std::string& id = note.now ? note.now->id : note.record.base->id;
        const StoredNote* there = m >= 0 ? &DiskNote(m) : nullptr;
        if (m >= 0)
            claimed_[static_cast<std::size_t>(m)] = 1;
        const bool diskSeen = m >= 0 && disk_.seen[static_cast<std::size_t>(m)] != 0;
        const NoteRule rule = DecideNote(note.now ? &*note.now : nullptr, note.record.base.has_value(), there,
                                         diskSeen, Find(deletions_, id), joined.has_value());
        Apply(rule, note, merged, there, m, joined ? &*joined : nullptr);
    }

    // Notes only the file has.
    void MergeDiskOnly()
    {
        for (std::size_t j = 0; j < disk_.notes.size(); ++j) {
            if (!disk_.notes[j] || claimed_[j])
                continue;
            const StoredNote& there = *disk_.notes[j];
            const NoteRule rule = disk_.seen[j] == OldCopy
                                      ? NoteRule::Gone
                                      : DecideNote(nullptr, false, &there, false, Find(deletions_, there.id));
            if (rule == NoteRule::Gone)
                out_.removed.push_back(static_cast<int>(j));
            else
                out_.added.push_back(MergedNew{there, static_cast<int>(j), disk_.how[j]});
        }
    }

    // A copy's notes, against the notes the merge keeps: it only adds, or
    // joins a version made apart into the note it belongs to.
    void MergeCopies(const std::vector<NoteHere>& here, const std::vector<Snapshot>& copies)
    {
        std::unordered_map<std::string, Kept> kept = KeptNotes(here);
        // And what the file keeps at its places.
        std::vector<char> removed(disk_.notes.size(), 0);
        for (int place : out_.removed)
            removed[static_cast<std::size_t>(place)] = 1;
        for (std::size_t j = 0; j < disk_.notes.size(); ++j)
            if (disk_.notes[j] && !removed[j])
                kept.emplace(disk_.notes[j]->id, Kept{*disk_.notes[j], IdentityFrom::Derived});
        std::unordered_set<ContentHash> contents;
        for (const auto& note : kept)
            contents.insert(HashOfContent(note.second.note));
        for (const Snapshot& copy : copies)
            for (std::size_t j = 0; j < copy.notes.size(); ++j) {
                if (!copy.notes[j])
                    continue;
                const StoredNote& copied = *copy.notes[j];
                // Named after its content: a note here by content is that note.
                if (copy.how[j] == IdentityFrom::Derived && contents.count(HashOfContent(copied)))
                    continue;
                auto same = kept.find(copied.id);
                std::optional<StoredNote> joined;
                if (same != kept.end() &&
                    CompareVersions(same->second.note.version, copied.version) == VersionOrder::Apart &&
                    (same->second.here >= 0 || same->second.added >= 0))
                    joined = Join(same->second.note, same->second.how, copied, copy.how[j], copied.id);
                if (joined && same->second.busy) { // the copy stays until the note is free
                    out_.copiesWait[static_cast<std::size_t>(&copy - copies.data())] = 1;
                    out_.waiting = true;
                    continue;
                }
                StoredNote note = copied;
                switch (DecideNote(same != kept.end() ? &same->second.note : nullptr, true, &copied, false,
                                   Find(deletions_, copied.id), joined.has_value())) {
                case NoteRule::Joined:
                    same->second.note =
                        Stamped(*joined, same->second.note, copied, copied.id, same->second.note.origin);
                    Take(same->second, same->second.note);
                    contents.insert(HashOfContent(same->second.note));
                    continue;
                case NoteRule::NewThere:
                    break;
                case NoteRule::TakeTheirs:
                case NoteRule::Apart: // a note of its own, never in place of one
                    note.origin = copied.id;
                    note.id = ApartIdentity(copied);
                    break;
                default:
                    continue;
                }
                if (kept.count(note.id))
                    continue;
                contents.insert(HashOfContent(note));
                out_.added.push_back(MergedNew{note, -1, copy.how[j]});
                const std::string id = note.id;
                kept.emplace(id,
                             Kept{std::move(note), copy.how[j], -1, static_cast<int>(out_.added.size() - 1)});
            }
    }

    // A note split off from another that this run can tell the other holds
    // now goes: one that holds the same content as it (or as another split
    // off from it) here only, as each copy that sees the two drops it; one
    // whose version this run joined into the other is deleted at it, so that
    // the other copies close it too. (Not the first: a deletion tells that
    // the version is gone, and a copy that meets it later apart from its
    // own would then drop it.)
    void DropSplitOff(const std::vector<NoteHere>& here)
    {
        std::unordered_map<std::string, Kept> kept = KeptNotes(here);
        std::vector<int> goneAdded;
        for (auto& entry : kept) {
            Kept& split = entry.second;
            if (split.note.origin.empty() || split.busy || split.gone)
                continue;
            auto from = kept.find(split.note.origin);
            if (from == kept.end() || from->second.busy || from->second.gone) {
                // Without its note, one of two split off from it that hold
                // the same goes.
                if (SameSplitKept(kept, split))
                    Drop(split, here, goneAdded, false);
                continue;
            }
            const Kept& whole = from->second;
            if (!AtOrBefore(split.note.version, whole.note.version))
                continue;
            if (TookIn(whole.note.id, split.note.version))
                Drop(split, here, goneAdded, true);
            else if (SameContent(split.note, whole.note))
                Drop(split, here, goneAdded, false);
        }
        std::sort(goneAdded.rbegin(), goneAdded.rend());
        for (int k : goneAdded)
            out_.added.erase(out_.added.begin() + k);
        std::sort(gone_.begin(), gone_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    // Deletions of split-off notes that went.
    const Deletions& gone() const { return gone_; }

  private:
    // A note the merge keeps, and where: a note here, an added one, or (for
    // a copy's note) only the file's.
    struct Kept {
        StoredNote note;
        IdentityFrom how;
        int here = -1;
        int added = -1;
        bool busy = false;
        bool gone = false;
    };

    std::unordered_map<std::string, Kept> KeptNotes(const std::vector<NoteHere>& here) const
    {
        std::unordered_map<std::string, Kept> kept;
        for (std::size_t i = 0; i < here.size(); ++i) {
            const MergedHere& merged = out_.here[i];
            if (!here[i].now || merged.action == ScreenAction::Close)
                continue;
            const bool update = merged.action == ScreenAction::Update;
            const IdentityFrom how = here[i].record.base ? here[i].record.how : IdentityFrom::Derived;
            kept[here[i].now->id] =
                Kept{update ? *merged.record.base : *here[i].now, update ? merged.record.how : how,
                     static_cast<int>(i), -1, here[i].busy};
        }
        for (std::size_t k = 0; k < out_.added.size(); ++k)
            kept[out_.added[k].note.id] =
                Kept{out_.added[k].note, out_.added[k].how, -1, static_cast<int>(k)};
        return kept;
    }

    // Another note split off from the same one holds the same content, at a
    // version made from this one's (or, at the same, under a lower identity).
    static bool SameSplitKept(const std::unordered_map<std::string, Kept>& kept, const Kept& split)
    {
        for (const auto& other : kept) {
            const Kept& sibling = other.second;
            if (sibling.gone || sibling.note.id == split.note.id ||
                sibling.note.origin != split.note.origin || !SameContent(sibling.note, split.note))
                continue;
            const VersionOrder order = CompareVersions(split.note.version, sibling.note.version);
            if (order == VersionOrder::Before ||
                (order == VersionOrder::Same && sibling.note.id < split.note.id))
                return true;
        }
        return false;
    }

    // The split-off note goes; `told`: deleted at its version.
    void Drop(Kept& split, const std::vector<NoteHere>& here, std::vector<int>& goneAdded, bool told)
    {
        split.gone = true;
        if (told)
            gone_.emplace_back(split.note.id, Deletion{split.note.version, today_});
        if (split.here >= 0) {
            MergedHere& merged = out_.here[static_cast<std::size_t>(split.here)];
            if (merged.record.place >= 0 && merged.record.base)
                out_.removed.push_back(merged.record.place);
            Change(merged, ScreenAction::Close, NoteRecord{},
                   here[static_cast<std::size_t>(split.here)].record.base.has_value());
        } else {
            const int place = out_.added[static_cast<std::size_t>(split.added)].place;
            if (place >= 0)
                out_.removed.push_back(place);
            goneAdded.push_back(split.added);
        }
    }

    // The kept note takes a joined version: its window shows it, or the note
    // added shows it.
    void Take(Kept& kept, const StoredNote& joined)
    {
        kept.note = joined;
        if (kept.added >= 0) {
            out_.added[static_cast<std::size_t>(kept.added)].note = joined;
            return;
        }
        MergedHere& merged = out_.here[static_cast<std::size_t>(kept.here)];
        merged.action = ScreenAction::Update;
        merged.record = NoteRecord{merged.record.place, joined, IdentityFrom::File};
    }

    // Two versions made apart in one note, where this run holds the version
    // they were both made from and both identities were read from a file
    // (never one matched by content): `lineage` names the note whose versions
    // they are.
    std::optional<StoredNote> Join(const StoredNote& a, IdentityFrom aHow, const StoredNote& b,
                                   IdentityFrom bHow, const std::string& lineage) const
    {
        if (aHow != IdentityFrom::File || bHow != IdentityFrom::File || SameContent(a, b))
            return std::nullopt;
        const StoredNote* common = history_.Find(lineage, CommonVersion(a.version, b.version));
        if (!common)
            return std::nullopt;
        const bool aFirst = KeepsIdentity(a, b);
        return JoinedNote(*common, aFirst ? a : b, aFirst ? b : a);
    }

    // The joined note under its identity, its version made from both.
    StoredNote Stamped(const StoredNote& content, const StoredNote& a, const StoredNote& b,
                       const std::string& id, const std::string& origin)
    {
        StoredNote note = content;
        note.id = id;
        note.origin = origin;
        note.version = stamps_.Next(JoinedVersion(a.version, b.version));
        out_.joins.emplace_back(id, a.version);
        out_.joins.emplace_back(id, b.version);
        return note;
    }

    bool TookIn(const std::string& id, const Version& version) const
    {
        for (const auto& join : out_.joins)
            if (join.first == id && join.second == version)
                return true;
        return history_.Joined(id, version);
    }

    const StoredNote& DiskNote(int m) const { return *disk_.notes[static_cast<std::size_t>(m)]; }

    int PlaceById(const NoteHere& note) const
    {
        auto at = place_.find(note.now ? note.now->id : note.record.base->id);
        return at != place_.end() ? at->second : -1;
    }

    // For a version made apart from the file's: the place of a branch that
    // another copy split off already, which a later version of it joins.
    int BranchOf(NoteHere& note, int m)
    {
        const std::string id = note.now->id;
        for (int branch : splitFrom_) {
            const StoredNote& split = DiskNote(branch);
            // A branch another window holds is that window's.
            if (split.origin == id && !claimed_[static_cast<std::size_t>(branch)] &&
                !hereIds_.count(split.id) &&
                (AtOrBefore(split.version, note.now->version) || SameContent(split, *note.now))) {
                note.now->id = split.id;
                note.now->origin = split.origin;
                return branch;
            }
        }
        return m;
    }

    void Apply(NoteRule rule, NoteHere& note, MergedHere& merged, const StoredNote* there, int m,
               const StoredNote* joined)
    {
        StoredNote* now = note.now ? &*note.now : nullptr;
        const bool known = note.record.base.has_value();
        switch (rule) {
        case NoteRule::Unchanged:
        case NoteRule::KeepOurs:
            // Where a branch came from is the file's to tell.
            if (now->origin.empty() || now->version == there->version)
                now->origin = there->origin;
            merged.record = Record(m);
            break;
        case NoteRule::SameChange:
            now->version = JoinedVersion(now->version, there->version);
            if (now->origin.empty())
                now->origin = there->origin;
            merged.record = Record(m);
            break;
        case NoteRule::Joined:
            if (note.busy) { // the file keeps the other version; the next merge joins them
                Wait(merged, NoteRecord{m, *note.record.base, note.record.how});
                merged.holdsFile = true;
                break;
            }
            merged.action = ScreenAction::Update;
            merged.record =
                NoteRecord{m, Stamped(*joined, *now, *there, there->id, there->origin), IdentityFrom::File};
            break;
        case NoteRule::TakeTheirs:
            if (note.busy) // the next merge finds the change again
                Wait(merged, NoteRecord{m, *note.record.base, note.record.how});
            else
                Change(merged, ScreenAction::Update, Record(m), known);
            break;
        case NoteRule::Apart:
            KeepBoth(note, merged, *there, m);
            break;
        case NoteRule::DeletedThere:
            if (m >= 0)
                out_.removed.push_back(m);
            if (note.busy) // its deletion stays written meanwhile
                Wait(merged, NoteRecord{-1, note.record.base, note.record.how});
            else
                Change(merged, ScreenAction::Close, merged.record, known);
            break;
        case NoteRule::KeptAgainstDeletion:
            // Changed where the deletion had not arrived: it stays (written
            // over a deleted version in the file, if there is one there).
            merged.record = m >= 0 ? Record(m) : NoteRecord{};
            break;
        case NoteRule::NotInFile:
        case NoteRule::NewHere:
            merged.record = NoteRecord{}; // written at the end
            break;
        case NoteRule::Gone:
            if (m >= 0)
                out_.removed.push_back(m);
            break;
        case NoteRule::NewThere:
            if (there)
                out_.added.push_back(MergedNew{*there, m, disk_.how[static_cast<std::size_t>(m)]});
            break;
        }
    }

    // What the file holds at place m.
    NoteRecord Record(int m) const
    {
        return NoteRecord{m, disk_.notes[static_cast<std::size_t>(m)],
                          disk_.how[static_cast<std::size_t>(m)]};
    }

    // Two versions made apart: both stay, this window keeps its text and the
    // file's version keeps its place beside it; the first by a fixed order
    // keeps the identity and the other takes one derived from it. A version
    // whose derived identity was deleted since (on a copy that settled this
    // conflict before) is gone: the window then shows the one that stays.
    void KeepBoth(NoteHere& note, MergedHere& merged, const StoredNote& there, int m)
    {
        StoredNote& now = *note.now;
        const std::string id = now.id;
        StoredNote other = there;
        if (KeepsIdentity(there, now)) {
            now.id = ApartIdentity(now);
            now.origin = id;
        } else {
            other.id = ApartIdentity(other);
            other.origin = id;
        }
        const Deletion* otherDeleted = other.id != id ? Find(deletions_, other.id) : nullptr;
        const Deletion* nowDeleted = now.id != id ? Find(deletions_, now.id) : nullptr;
        // Split off already (a note here or in the file holds it under its
        // own identity), or deleted since: this window's version is written
        // in its place.
        if (other.id != id && (place_.count(other.id) || hereIds_.count(other.id) ||
                               (otherDeleted && AtOrBefore(other.version, otherDeleted->version)))) {
            merged.record = Record(m);
            return;
        }
        if (nowDeleted && AtOrBefore(now.version, nowDeleted->version)) {
            now.id = id;
            if (note.busy) {
                Wait(merged, NoteRecord{m, *note.record.base, note.record.how});
            } else {
                merged.action = ScreenAction::Update;
                merged.record = Record(m);
            }
            return;
        }
        // This window's very version was split off already: it is that note,
        // and the file's version keeps its place.
        auto split = place_.find(now.id);
        if (now.id != id && split != place_.end() && !claimed_[static_cast<std::size_t>(split->second)]) {
            claimed_[static_cast<std::size_t>(split->second)] = 1;
            merged.record = Record(split->second);
        } else {
            merged.record = NoteRecord{}; // written at the end
        }
        out_.added.push_back(MergedNew{std::move(other), m, disk_.how[static_cast<std::size_t>(m)]});
    }

    void Wait(MergedHere& merged, NoteRecord record)
    {
        merged.record = std::move(record);
        out_.waiting = true;
    }

    void Change(MergedHere& merged, ScreenAction action, NoteRecord record, bool known)
    {
        merged.action = action;
        merged.record = std::move(record);
        out_.takesAwaySaved = out_.takesAwaySaved || known;
    }

    const NoteHistory& history_;
    const Snapshot& disk_;
    const Deletions& deletions_;
    const long today_;
    VersionStamps& stamps_;
    MergedStore& out_;
    Deletions gone_;
    std::vector<char> claimed_;
    std::unordered_map<std::string, int> place_;
    std::unordered_set<std::string> hereIds_; // of the notes here as they came
    std::vector<int> splitFrom_;              // places of notes split off from another
};

// The notes of the file after the merge: every place of the disk that stays
// keeps its note, a note here at its place writes its own version where it
// changed here (the disk's where it did not), and the notes the file does
// not hold yet follow at the end (new here, kept against a deletion, this
// run's side of a conflict, from a conflict copy).
void NotesToSave(const StoredRun& disk, const std::vector<NoteHere>& here, MergedStore& merged)
{
    merged.hereEntry.assign(here.size(), -1);
    merged.addedEntry.assign(merged.added.size(), -1);
    std::vector<char> claimed(disk.size(), 0);
    for (int place : merged.removed)
        claimed[static_cast<std::size_t>(place)] = 1;
    merged.notesChange = !merged.removed.empty();
    auto add = [&](const StoredNote& note, int place) {
        merged.save.push_back(NoteToSave{note, place});
        if (place >= 0)
            claimed[static_cast<std::size_t>(place)] = 1;
        merged.notesChange =
            merged.notesChange || place < 0 || !SameStored(note, *disk[static_cast<std::size_t>(place)]);
        return static_cast<int>(merged.save.size() - 1);
    };
    for (std::size_t i = 0; i < here.size(); ++i) {
        const MergedHere& result = merged.here[i];
        if (!here[i].now || result.action == ScreenAction::Close)
            continue;
        const NoteRecord& record = result.record;
        if (result.action == ScreenAction::Update) {
            merged.hereEntry[i] = add(*record.base, record.place); // what the window now shows
        } else if (result.holdsFile) {
            merged.hereEntry[i] = add(*disk[static_cast<std::size_t>(record.place)], record.place);
        } else if (record.place >= 0) {
            const bool changedHere = !SameStored(*here[i].now, *record.base);
            merged.hereEntry[i] =
                add(changedHere ? *here[i].now : *disk[static_cast<std::size_t>(record.place)], record.place);
        } else if (!record.base) {
            merged.hereEntry[i] = add(*here[i].now, -1);
        } // else it waits to close: not written again
    }
    for (std::size_t k = 0; k < merged.added.size(); ++k)
        merged.addedEntry[k] = add(merged.added[k].note, merged.added[k].place);
    // What nobody here claims stays as the file has it (a note that could not
    // be shown, say).
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && !claimed[j])
            add(*disk[j], static_cast<int>(j));
}

void MergeSettings(const RunSide& here, const Snapshot& disk, MergedStore& out)
{
    out.settings = here.settings;
    out.settingsVersion = here.settingsVersion;
    switch (DecideSettings(here.settings, here.settingsVersion, disk.settings, disk.settingsVersion)) {
    case SettingsRule::Unchanged:
    case SettingsRule::KeepOurs:
        break;
    case SettingsRule::TakeTheirs:
        out.settings = disk.settings;
        out.settingsVersion = disk.settingsVersion;
        break;
    case SettingsRule::Apart:
        if (!SettingsFirst(here.settings, here.settingsVersion, disk.settings, disk.settingsVersion))
            out.settings = disk.settings;
        [[fallthrough]];
    case SettingsRule::SameChange:
        out.settingsVersion = JoinedVersion(here.settingsVersion, disk.settingsVersion);
        break;
    }
}

} // namespace

NoteRule DecideNote(const StoredNote* here, bool known, const StoredNote* disk, bool diskSeen,
                    const Deletion* deleted, bool joinable)
{
    // A version at or before the deletion is deleted, wherever it is.
    const bool hereLives = here && !(deleted && AtOrBefore(here->version, deleted->version));
    const bool diskLives = disk && !(deleted && AtOrBefore(disk->version, deleted->version));
    if (hereLives && diskLives) {
        const VersionOrder order = CompareVersions(here->version, disk->version);
        if (SameContent(*here, *disk))
            return order == VersionOrder::Same ? NoteRule::Unchanged : NoteRule::SameChange;
        if (diskSeen || order == VersionOrder::After)
            return NoteRule::KeepOurs;
        if (order == VersionOrder::Before)
            return NoteRule::TakeTheirs;
        return joinable ? NoteRule::Joined : NoteRule::Apart;
    }
    if (hereLives) {
        if (deleted)
            return NoteRule::KeptAgainstDeletion;
        return known ? NoteRule::NotInFile : NoteRule::NewHere;
    }
    if (here) // this window's version was deleted
        return diskLives ? NoteRule::TakeTheirs : NoteRule::DeletedThere;
    return diskLives ? NoteRule::NewThere : NoteRule::Gone;
}

SettingsRule DecideSettings(const StoredSettings& here, const Version& hereVersion,
                            const StoredSettings& disk, const Version& diskVersion)
{
    switch (CompareVersions(hereVersion, diskVersion)) {
    case VersionOrder::Same:
        return SettingsRule::Unchanged;
    case VersionOrder::After:
        return SettingsRule::KeepOurs;
    case VersionOrder::Before:
        return SettingsRule::TakeTheirs;
    case VersionOrder::Apart:
        break;
    }
    const bool same = here.width == disk.width && here.height == disk.height && here.color == disk.color;
    return same ? SettingsRule::SameChange : SettingsRule::Apart;
}

bool KeepsIdentity(const StoredNote& first, const StoredNote& second)
{
    bool contentFirst = first.voicePath <= second.voicePath;
    if (first.title != second.title)
        contentFirst = first.title < second.title;
    else if (first.text != second.text)
        contentFirst = first.text < second.text;
    return FirstByOrder(first.version, second.version, contentFirst);
}

bool SettingsFirst(const StoredSettings& a, const Version& va, const StoredSettings& b, const Version& vb)
{
    bool valueFirst = a.color <= b.color;
    if (a.width != b.width)
        valueFirst = a.width < b.width;
    else if (a.height != b.height)
        valueFirst = a.height < b.height;
    return FirstByOrder(va, vb, valueFirst);
}

Version VersionStamps::Next(const Version& from)
{
    ++last_;
    return SteppedVersion(from, computer_, last_);
}

Version VersionStamps::Peek(const Version& from) const
{
    return SteppedVersion(from, computer_, last_ + 1);
}

Version CommonVersion(const Version& first, const Version& second)
{
    Version common;
    for (const auto& count : first.counts)
        for (const auto& other : second.counts)
            if (other.first == count.first)
                common.counts.emplace_back(count.first, std::min(count.second, other.second));
    return common;
}

std::optional<StoredNote> JoinedNote(const StoredNote& common, const StoredNote& first,
                                     const StoredNote& second)
{
    std::optional<std::string> title = MergeField(common.title, first.title, second.title);
    std::optional<std::string> voicePath = MergeField(common.voicePath, first.voicePath, second.voicePath);
    std::optional<std::string> text = MergeTexts(common.text, first.text, second.text);
    if (!title || !voicePath || !text || text->size() > static_cast<std::size_t>(NoteTextLimit))
        return std::nullopt;
    return StoredNote{std::move(*title), std::move(*text), std::move(*voicePath)};
}

namespace {

// The versions kept of each note, and of the joins into it.
constexpr std::size_t VersionsKept = 6;
constexpr std::size_t JoinsKept = 8;

template <typename T> void KeepLast(std::vector<T>& list, std::size_t most)
{
    if (list.size() > most)
        list.erase(list.begin(), list.begin() + static_cast<long>(list.size() - most));
}

} // namespace

void NoteHistory::Remember(const StoredNote& note)
{
    if (note.id.empty())
        return;
    std::vector<StoredNote>& contents = notes_[note.id].contents;
    for (const StoredNote& known : contents)
        if (known.version == note.version)
            return;
    contents.push_back(note);
    KeepLast(contents, VersionsKept);
}

void NoteHistory::RememberJoin(const std::string& id, const Version& taken)
{
    std::vector<Version>& joined = notes_[id].joined;
    if (std::find(joined.begin(), joined.end(), taken) == joined.end())
        joined.push_back(taken);
    KeepLast(joined, JoinsKept);
}

const StoredNote* NoteHistory::Find(const std::string& id, const Version& version) const
{
    auto note = notes_.find(id);
    if (note == notes_.end())
        return nullptr;
    for (const StoredNote& known : note->second.contents)
        if (known.version == version)
            return &known;
    return nullptr;
}

bool NoteHistory::Joined(const std::string& id, const Version& version) const
{
    auto note = notes_.find(id);
    return note != notes_.end() && std::find(note->second.joined.begin(), note->second.joined.end(),
                                             version) != note->second.joined.end();
}

void NoteHistory::KeepOnly(const std::unordered_set<std::string>& ids)
{
    for (auto note = notes_.begin(); note != notes_.end();)
        note = ids.count(note->first) ? std::next(note) : notes_.erase(note);
}

MergedStore Merge(const NoteHistory& base, RunSide& here, const Snapshot& disk,
                  const std::vector<Snapshot>& copies, long today, VersionStamps& stamps)
{
    MergedStore out;
    Deletions deletions = JoinedDeletions(here.deletions, disk.deletions);
    for (const Snapshot& copy : copies)
        deletions = JoinedDeletions(deletions, copy.deletions);
    out.here.resize(here.notes.size());
    out.copiesWait.assign(copies.size(), 0);
    Merger merger(base, disk, here.notes, deletions, today, stamps, out);
    for (std::size_t i = 0; i < here.notes.size(); ++i)
        merger.Merge(here.notes[i], out.here[i]);
    merger.MergeDiskOnly();
    merger.MergeCopies(here.notes, copies);
    merger.DropSplitOff(here.notes);
    deletions = JoinedDeletions(deletions, merger.gone());
    NotesToSave(disk.notes, here.notes, out);
    MergeSettings(here, disk, out);
    for (const auto& deleted : deletions)
        // A date ahead of this computer's counts as today.
        if (std::min(deleted.second.day, today) > today - DeletionDays)
            out.deletions.push_back(deleted);
    out.setAside = disk.damaged;
    return out;
}

MergedRecords RecordsAfterSave(const std::vector<NoteHere>& here, const MergedStore& merged,
                               const std::vector<int>* placeOf)
{
    MergedRecords records;
    records.here.resize(here.size());
    for (std::size_t i = 0; i < here.size(); ++i) {
        const MergedHere& result = merged.here[i];
        if (!here[i].now || result.action == ScreenAction::Close)
            continue;
        const int entry = merged.hereEntry[i];
        if (!placeOf || entry < 0) {
            records.here[i] = result.record;
            continue;
        }
        const StoredNote& shown = result.action == ScreenAction::Update ? *result.record.base : *here[i].now;
        const StoredNote& written = merged.save[static_cast<std::size_t>(entry)].now;
        // Written with its identity: read from the file from now on.
        records.here[i] = SameStored(shown, written) ? NoteRecord{(*placeOf)[static_cast<std::size_t>(entry)],
                                                                  written, IdentityFrom::File}
                                                     : NoteRecord{(*placeOf)[static_cast<std::size_t>(entry)],
                                                                  result.record.base, result.record.how};
    }
    records.added.resize(merged.added.size());
    for (std::size_t k = 0; k < merged.added.size(); ++k) {
        const MergedNew& added = merged.added[k];
        if (placeOf)
            records.added[k] = NoteRecord{(*placeOf)[static_cast<std::size_t>(merged.addedEntry[k])],
                                          added.note, IdentityFrom::File};
        else if (added.place >= 0)
            records.added[k] = NoteRecord{added.place, added.note, added.how};
    }
    return records;
}
