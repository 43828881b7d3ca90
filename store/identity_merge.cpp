#include "store/identity_merge.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

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

std::string Hex8(const StoredNote& note)
{
    return DerivedIdentity({note.title, note.text, note.voicePath}).substr(0, 8);
}

// An identity for a note of the file that has none: from its content and how
// many notes before it in the same file hold the same, so that every copy
// reading that file names it alike.
std::string IdentityFromContent(std::string_view source, const StoredNote& note, int occurrence)
{
    return DerivedIdentity({source, note.title, note.text, note.voicePath, std::to_string(occurrence)});
}

// Identities given to the notes of a conflict copy without identities start
// so: such a note is matched by content.
const char CopyIdentityMark[] = "k";

// Two versions made apart: both stay, this window keeps its text and the
// file's version keeps its place beside it; the first by a fixed order keeps
// the identity and the other takes one derived from it. A version whose
// derived identity was deleted since (on a copy that settled this conflict
// before) is gone: the window then shows the one that stays.
void KeepBoth(NoteHere& note, MergedHere& merged, const StoredNote& there, int place,
              const Deletions& deletions, MergeOutcome& out)
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
    const Deletion* otherDeleted = other.id != id ? Find(deletions, other.id) : nullptr;
    const Deletion* nowDeleted = now.id != id ? Find(deletions, now.id) : nullptr;
    if (otherDeleted && AtOrBefore(other.version, otherDeleted->version)) {
        merged.record = NoteRecord{place, there}; // this window's version is written in its place
        return;
    }
    if (nowDeleted && AtOrBefore(now.version, nowDeleted->version)) {
        now.id = id;
        if (note.busy) {
            merged.record = NoteRecord{place, *note.record.base};
            out.waiting = true;
        } else {
            merged.action = ScreenAction::Update;
            merged.record = NoteRecord{place, there};
        }
        return;
    }
    merged.record = NoteRecord{-1, std::nullopt}; // written at the end
    out.added.push_back(MergedNew{std::move(other), place});
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

std::string ApartIdentity(const StoredNote& note)
{
    return DerivedIdentity(
        {"apart", note.id, FormatVersion(note.version), note.title, note.text, note.voicePath});
}

bool KeepsIdentity(const StoredNote& first, const StoredNote& second)
{
    const std::string a = FormatVersion(first.version), b = FormatVersion(second.version);
    if (a != b)
        return a < b;
    if (first.title != second.title)
        return first.title < second.title;
    if (first.text != second.text)
        return first.text < second.text;
    return first.voicePath <= second.voicePath;
}

namespace {

// For each note of the file without an identity, the place of the base's note
// it is: matched by content with those of the base that the file lacks, as a
// file without identities is. A note a copy of this version stamped is
// matched only as it is: a file that dropped the keys of a changed one shows
// both versions rather than pair it with another note of the same title.
std::vector<int> MatchUnidentified(const StoredRun& disk, const StoredRun& base,
                                   const std::vector<NoteHere>& here, const SeenVersions& seen,
                                   const std::unordered_map<std::string, int>& inFile)
{
    StoredRun unmatchedBase(base.size()), unidentified(disk.size());
    std::unordered_map<NoteVersion, std::vector<int>> stamped;
    for (std::size_t p = base.size(); p-- > 0;)
        if (base[p] && (base[p]->id.empty() || !inFile.count(base[p]->id))) {
            if (base[p]->version.counts.empty())
                unmatchedBase[p] = base[p];
            else
                stamped[VersionOf(*base[p])].push_back(static_cast<int>(p));
        }
    std::vector<int> stampedOf(disk.size(), -1);
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && disk[j]->id.empty()) {
            auto same = stamped.find(VersionOf(*disk[j]));
            if (same != stamped.end() && !same->second.empty()) {
                stampedOf[j] = same->second.back();
                same->second.pop_back();
            } else {
                unidentified[j] = disk[j];
            }
        }
    std::vector<int> baseOf = MatchRuns(unmatchedBase, unidentified, here, seen);
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (stampedOf[j] >= 0)
            baseOf[j] = stampedOf[j];
    return baseOf;
}

// A version this run synced, found with other content and no new stamp: an
// editor's change made from it, unless it is content this run had before.
void StampHandEdits(StoredRun& disk, const StoredRun& base, const SeenVersions& seen,
                    std::vector<char>& seenAt)
{
    std::unordered_map<std::string, const StoredNote*> inBase;
    for (const auto& note : base)
        if (note && !note->id.empty())
            inBase.emplace(note->id, &*note);
    for (std::size_t j = 0; j < disk.size(); ++j) {
        if (!disk[j] || disk[j]->id.empty())
            continue;
        StoredNote& note = *disk[j];
        auto was = inBase.find(note.id);
        if (was == inBase.end() || note.version != was->second->version || SameContent(note, *was->second))
            continue;
        if (seen.count(VersionOf(note)))
            seenAt[j] = SeenBefore;
        else
            note.version = SteppedVersion(note.version, "~" + Hex8(note));
    }
}

} // namespace

void IdentifyDisk(StoredRun& disk, const StoredRun& base, const std::vector<NoteHere>& here,
                  const SeenVersions& seen, std::vector<char>& seenAt)
{
    seenAt.assign(disk.size(), 0);
    std::unordered_map<std::string, int> inFile;
    std::vector<char> unidentified(disk.size(), 0);
    for (std::size_t j = 0; j < disk.size(); ++j) {
        if (disk[j] && !disk[j]->id.empty() && !inFile.emplace(disk[j]->id, static_cast<int>(j)).second)
            disk[j]->id.clear(); // copied by hand: a note of its own
        unidentified[j] = disk[j] && disk[j]->id.empty();
    }
    const std::vector<int> baseOf = MatchUnidentified(disk, base, here, seen, inFile);
    std::unordered_map<std::string, int> occurrences;
    for (std::size_t j = 0; j < disk.size(); ++j) {
        if (!unidentified[j])
            continue;
        StoredNote& note = *disk[j];
        if (baseOf[j] >= 0 && !base[static_cast<std::size_t>(baseOf[j])]->id.empty()) {
            const StoredNote& was = *base[static_cast<std::size_t>(baseOf[j])];
            note.id = was.id;
            note.version = was.version;
        } else {
            note.id = IdentityFromContent(
                "file", note, occurrences[DerivedIdentity({note.title, note.text, note.voicePath})]++);
            if (seen.count(VersionOf(note)))
                seenAt[j] = OldCopy; // of a note this run has since deleted or changed
        }
    }
    StampHandEdits(disk, base, seen, seenAt);
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

namespace {

// One merge by identity: the file's notes by identity and by the branch they
// were split from, and what each rule makes of a note.
class IdentityMerger {
  public:
    IdentityMerger(const StoredRun& disk, const std::vector<char>& diskSeen, const Deletions& deletions,
                   bool guarded, MergeOutcome& out)
        : disk_(disk), diskSeen_(diskSeen), deletions_(deletions), guarded_(guarded), out_(out),
          claimed_(disk.size(), 0)
    {
        for (std::size_t j = 0; j < disk.size(); ++j)
            if (disk[j]) {
                place_.emplace(disk[j]->id, static_cast<int>(j));
                if (!disk[j]->origin.empty())
                    splitFrom_.push_back(static_cast<int>(j));
            }
    }

    void Merge(NoteHere& note, MergedHere& merged)
    {
        const int m = PlaceOf(note);
        const std::string& id = note.now ? note.now->id : note.record.base->id;
        const StoredNote* there = m >= 0 ? &*disk_[static_cast<std::size_t>(m)] : nullptr;
        if (m >= 0)
            claimed_[static_cast<std::size_t>(m)] = 1;
        Apply(DecideNote(note.now ? &*note.now : nullptr, note.record.base.has_value(), there,
                         m >= 0 && diskSeen_[static_cast<std::size_t>(m)] != 0, Find(deletions_, id)),
              note, merged, there, m);
    }

    // Notes only the file has.
    void MergeDiskOnly()
    {
        for (std::size_t j = 0; j < disk_.size(); ++j) {
            if (!disk_[j] || claimed_[j])
                continue;
            const StoredNote& there = *disk_[j];
            const NoteRule rule = diskSeen_[j] == OldCopy
                                      ? NoteRule::Gone
                                      : DecideNote(nullptr, false, &there, false, Find(deletions_, there.id));
            if (rule == NoteRule::Gone)
                out_.removed.push_back(static_cast<int>(j));
            else
                out_.added.push_back(MergedNew{there, static_cast<int>(j)});
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
            CompareVersions(note.now->version, disk_[static_cast<std::size_t>(m)]->version) !=
                VersionOrder::Apart)
            return m;
        for (int branch : splitFrom_) {
            const StoredNote& split = *disk_[static_cast<std::size_t>(branch)];
            if (split.origin == id && !claimed_[static_cast<std::size_t>(branch)] &&
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
            merged.record = NoteRecord{m, *there};
            break;
        case NoteRule::SameChange:
            now->version = JoinedVersion(now->version, there->version);
            if (now->origin.empty())
                now->origin = there->origin;
            merged.record = NoteRecord{m, *there};
            break;
        case NoteRule::TakeTheirs:
            if (guarded_) // a damaged file replaces nothing: both kept
                KeepBoth(note, merged, *there, m, deletions_, out_);
            else if (note.busy) // the next merge finds the change again
                Wait(merged, NoteRecord{m, *note.record.base});
            else
                Change(merged, ScreenAction::Update, NoteRecord{m, *there}, known);
            break;
        case NoteRule::Apart:
            KeepBoth(note, merged, *there, m, deletions_, out_);
            break;
        case NoteRule::DeletedThere:
            if (m >= 0)
                out_.removed.push_back(m);
            if (note.busy) // its deletion stays written meanwhile
                Wait(merged, NoteRecord{-1, note.record.base});
            else
                Change(merged, ScreenAction::Close, merged.record, known);
            break;
        case NoteRule::KeptAgainstDeletion:
            // Changed where the deletion had not arrived: it stays (written
            // over a deleted version in the file, if there is one there).
            merged.record = m >= 0 ? NoteRecord{m, *there} : NoteRecord{-1, std::nullopt};
            break;
        case NoteRule::NotInFile:
        case NoteRule::NewHere:
            merged.record = NoteRecord{-1, std::nullopt}; // written at the end
            break;
        case NoteRule::Gone:
            if (m >= 0)
                out_.removed.push_back(m);
            break;
        case NoteRule::NewThere:
            if (there)
                out_.added.push_back(MergedNew{*there, m});
            break;
        }
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

    const StoredRun& disk_;
    const std::vector<char>& diskSeen_;
    const Deletions& deletions_;
    const bool guarded_;
    MergeOutcome& out_;
    std::vector<char> claimed_;
    std::unordered_map<std::string, int> place_;
    std::vector<int> splitFrom_; // places of notes split off from another
};

// A conflict copy's notes: those newer than what stays, or unknown, come as
// notes of their own; older ones and deleted ones add nothing.
void AddFromCopies(const std::vector<NoteHere>& here, const std::vector<StoredNote>& fromCopies,
                   const Deletions& deletions, MergeOutcome& out)
{
    std::unordered_map<std::string, StoredNote> current;
    for (std::size_t i = 0; i < here.size(); ++i)
        if (here[i].now && out.here[i].action != ScreenAction::Close)
            current[here[i].now->id] = *here[i].now;
    for (const MergedNew& added : out.added)
        current[added.note.id] = added.note;
    std::unordered_map<NoteVersion, char> contents;
    for (const auto& note : current)
        contents[VersionOf(note.second)] = 1;
    for (const StoredNote& copied : fromCopies) {
        if (copied.id.rfind(CopyIdentityMark, 0) == 0 && contents.count(VersionOf(copied)))
            continue; // a copy without identities: a note present by content is that note
        auto same = current.find(copied.id);
        const Deletion* deleted = Find(deletions, copied.id);
        if ((same != current.end() &&
             (SameContent(same->second, copied) || AtOrBefore(copied.version, same->second.version))) ||
            (same == current.end() && deleted && AtOrBefore(copied.version, deleted->version)))
            continue;
        StoredNote note = copied;
        if (same != current.end())
            note.id = ApartIdentity(note);
        if (current.count(note.id))
            continue;
        current[note.id] = note;
        contents[VersionOf(note)] = 1;
        out.added.push_back(MergedNew{note, -1});
    }
}

} // namespace

IdentityMerge MergeByIdentity(std::vector<NoteHere>& here, const StoredRun& disk,
                              const std::vector<char>& diskSeen, const Deletions& deletions,
                              const std::vector<StoredNote>& fromCopies, long today, bool guarded)
{
    IdentityMerge result;
    MergeOutcome& out = result.merge;
    out.here.resize(here.size());
    IdentityMerger merger(disk, diskSeen, deletions, guarded, out);
    for (std::size_t i = 0; i < here.size(); ++i)
        merger.Merge(here[i], out.here[i]);
    merger.MergeDiskOnly();
    AddFromCopies(here, fromCopies, deletions, out);
    for (const auto& deleted : deletions)
        // A date ahead of this computer's counts as today.
        if (std::min(deleted.second.day, today) > today - DeletionDays)
            result.deletions.push_back(deleted);
    return result;
}

namespace {

// A file that knows no identities (empty, of an earlier version, in the
// original format) deletes as it always did: a note it lacks that is
// unchanged here was deleted there, unless that would close most notes here
// (a cut-off or emptied file: `guarded`). A note a copy of this version
// stamped went through a writer that keeps identities: a file without them
// that lacks it is an old copy, or one that dropped the keys, and deletes
// nothing.
Deletions DeletedByAnEarlierStore(const StoredRun& disk, const std::vector<NoteHere>& here, long today,
                                  bool& guarded)
{
    std::unordered_map<std::string, char> inFile;
    for (const auto& note : disk)
        if (note)
            inFile[note->id] = 1;
    Deletions absent;
    std::size_t notesHere = 0;
    for (const NoteHere& note : here) {
        if (!note.now)
            continue;
        ++notesHere;
        if (note.record.base && note.record.place >= 0 && !inFile.count(note.now->id) &&
            note.record.base->version.counts.empty() && SameContent(*note.now, *note.record.base))
            absent.emplace_back(note.now->id, Deletion{note.record.base->version, today});
    }
    std::sort(absent.begin(), absent.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    guarded = ClosesTooMany(absent.size(), notesHere);
    return guarded ? Deletions() : absent;
}

// Copies of the store without identities name their notes alike everywhere.
std::vector<StoredNote> NamedCopies(std::vector<StoredNote> copies)
{
    std::unordered_map<std::string, int> occurrences;
    for (StoredNote& copied : copies)
        if (copied.id.empty())
            copied.id = CopyIdentityMark +
                        IdentityFromContent(
                            "copy", copied,
                            occurrences[DerivedIdentity({copied.title, copied.text, copied.voicePath})]++)
                            .substr(1);
    return copies;
}

// In a file without identities, a note new here that the file holds too,
// with text or a voice message (another copy took it from the same conflict
// copy), is that note; two empty notes of the same minute stay two.
void PairNewNotes(const StoredRun& disk, const std::vector<char>& seenAt, std::vector<NoteHere>& here)
{
    std::unordered_map<std::string, char> ids;
    for (const NoteHere& note : here)
        ids[note.now ? note.now->id : note.record.base->id] = 1;
    std::unordered_map<NoteVersion, std::size_t> unclaimed;
    for (std::size_t j = 0; j < disk.size(); ++j)
        if (disk[j] && !ids.count(disk[j]->id) && !seenAt[j])
            unclaimed.emplace(VersionOf(*disk[j]), j);
    for (NoteHere& note : here) {
        if (note.record.base || !note.now || (note.now->text.empty() && note.now->voicePath.empty()))
            continue;
        auto same = unclaimed.find(VersionOf(*note.now));
        if (same == unclaimed.end())
            continue;
        note.now->id = disk[same->second]->id;
        note.now->version = disk[same->second]->version;
        unclaimed.erase(same);
    }
}

} // namespace

IdentityMerge MergeStore(const StoreMergeInput& input, std::vector<NoteHere>& here)
{
    StoredRun& disk = input.disk;
    std::vector<char> seenAt;
    IdentifyDisk(disk, input.base, here, input.seen, seenAt);
    Deletions deletions = input.deletions;
    bool guarded = false;
    if (!input.identified && !input.diskIsStale)
        deletions = JoinedDeletions(deletions, DeletedByAnEarlierStore(disk, here, input.today, guarded));
    if (!input.identified)
        PairNewNotes(disk, seenAt, here);
    IdentityMerge result =
        MergeByIdentity(here, disk, seenAt, deletions, NamedCopies(input.fromCopies), input.today, guarded);
    result.merge.guarded = guarded;
    return result;
}
