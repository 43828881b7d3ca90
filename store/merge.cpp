#include "store/merge.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

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
    Merger(const Snapshot& disk, const std::vector<NoteHere>& here, const Deletions& deletions,
           MergedStore& out)
        : disk_(disk), deletions_(deletions), out_(out), claimed_(disk.notes.size(), 0)
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
        const int m = PlaceOf(note);
        const std::string& id = note.now ? note.now->id : note.record.base->id;
        const StoredNote* there = m >= 0 ? &*disk_.notes[static_cast<std::size_t>(m)] : nullptr;
        if (m >= 0)
            claimed_[static_cast<std::size_t>(m)] = 1;
        const bool diskSeen = m >= 0 && disk_.seen[static_cast<std::size_t>(m)] != 0;
        Apply(DecideNote(note.now ? &*note.now : nullptr, note.record.base.has_value(), there, diskSeen,
                         Find(deletions_, id)),
              note, merged, there, m);
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

    // A copy's notes, against the notes the merge keeps: it only adds.
    void MergeCopies(const std::vector<NoteHere>& here, const std::vector<Snapshot>& copies)
    {
        std::unordered_map<std::string, StoredNote> kept;
        for (std::size_t i = 0; i < here.size(); ++i)
            if (here[i].now && out_.here[i].action != ScreenAction::Close)
                kept[here[i].now->id] =
                    out_.here[i].action == ScreenAction::Update ? *out_.here[i].record.base : *here[i].now;
        for (const MergedNew& added : out_.added)
            kept[added.note.id] = added.note;
        // And what the file keeps at its places.
        std::vector<char> removed(disk_.notes.size(), 0);
        for (int place : out_.removed)
            removed[static_cast<std::size_t>(place)] = 1;
        for (std::size_t j = 0; j < disk_.notes.size(); ++j)
            if (disk_.notes[j] && !removed[j])
                kept.emplace(disk_.notes[j]->id, *disk_.notes[j]);
        std::unordered_set<ContentHash> contents;
        for (const auto& note : kept)
            contents.insert(HashOfContent(note.second));
        for (const Snapshot& copy : copies)
            for (std::size_t j = 0; j < copy.notes.size(); ++j) {
                if (!copy.notes[j])
                    continue;
                const StoredNote& copied = *copy.notes[j];
                // Named after its content: a note here by content is that note.
                if (copy.how[j] == IdentityFrom::Derived && contents.count(HashOfContent(copied)))
                    continue;
                auto same = kept.find(copied.id);
                StoredNote note = copied;
                switch (DecideNote(same != kept.end() ? &same->second : nullptr, true, &copied, false,
                                   Find(deletions_, copied.id))) {
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
                kept.emplace(note.id, note);
                out_.added.push_back(MergedNew{std::move(note), -1, copy.how[j]});
            }
    }

  private:
    // The note's place in the file: by its identity, or, for a version of a
    // branch that another copy split off already, the branch's.
    int PlaceOf(NoteHere& note)
    {
        const std::string id = note.now ? note.now->id : note.record.base->id;
        auto at = place_.find(id);
        const int m = at != place_.end() ? at->second : -1;
        if (!note.now || m < 0 ||
            CompareVersions(note.now->version, disk_.notes[static_cast<std::size_t>(m)]->version) !=
                VersionOrder::Apart)
            return m;
        for (int branch : splitFrom_) {
            const StoredNote& split = *disk_.notes[static_cast<std::size_t>(branch)];
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

    void Apply(NoteRule rule, NoteHere& note, MergedHere& merged, const StoredNote* there, int m)
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

    const Snapshot& disk_;
    const Deletions& deletions_;
    MergedStore& out_;
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
                    const Deletion* deleted)
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
        return NoteRule::Apart;
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

MergedStore Merge(RunSide& here, const Snapshot& disk, const std::vector<Snapshot>& copies, long today)
{
    MergedStore out;
    Deletions deletions = JoinedDeletions(here.deletions, disk.deletions);
    for (const Snapshot& copy : copies)
        deletions = JoinedDeletions(deletions, copy.deletions);
    out.here.resize(here.notes.size());
    Merger merger(disk, here.notes, deletions, out);
    for (std::size_t i = 0; i < here.notes.size(); ++i)
        merger.Merge(here.notes[i], out.here[i]);
    merger.MergeDiskOnly();
    merger.MergeCopies(here.notes, copies);
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
