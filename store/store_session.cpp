#include "store/store_session.h"

#include <algorithm>
#include <utility>

#include "base/fnv1a.h"
#include "base/path_parts.h"

const char BackupSuffix[] = ".bak";
const char MineSuffix[] = ".mine";
const char SetAsideSuffix[] = ".set-aside";

namespace {

// A look at a changed file that stays the same this long: its writer is done.
// A sync client that pauses longer in the middle of a note leaves a file that
// ends inside it, which waits (EndsMidNote); one that pauses between notes
// leaves notes missing, which deletes none of them.
constexpr unsigned long HoldStill = 1000;
// A file that never holds still this long, or stays cut off, is read all the
// same: a file cut off then deletes and cuts nothing.
constexpr unsigned long LongestWaitForStill = 12000;
// Conflict copies remembered as taken in, and tries to delete each.
constexpr std::size_t MostTakenCopies = 16;
constexpr unsigned MostDeleteTries = 3;

template <StoreEncoding encoding> std::string ToNote(std::string_view stored)
{
    return StoreToNoteText(stored, encoding);
}

template <StoreEncoding encoding> std::string ToStore(std::string_view note)
{
    return NoteToStoreText(note, encoding);
}

const TextCharset& CharsetOf(StoreEncoding encoding)
{
    static const TextCharset charsets[] = {
        {ToNote<StoreEncoding::Ansi>, ToStore<StoreEncoding::Ansi>},
        {ToNote<StoreEncoding::Utf8Bom>, ToStore<StoreEncoding::Utf8Bom>},
        {ToNote<StoreEncoding::Utf16LeBom>, ToStore<StoreEncoding::Utf16LeBom>},
        {ToNote<StoreEncoding::Utf16BeBom>, ToStore<StoreEncoding::Utf16BeBom>},
    };
    return charsets[static_cast<int>(encoding)];
}

StoreEncoding Parse(const std::string& bytes, IniDocument& store, std::string* text = nullptr)
{
    std::string decoded;
    const StoreEncoding encoding = DecodeStoreBytes(bytes, decoded);
    store = IniDocument::Parse(decoded);
    if (text)
        *text = std::move(decoded);
    return encoding;
}

std::uint64_t HashOf(const std::string& bytes)
{
    Fnv1a64 hash;
    hash.Add(bytes);
    return hash.value();
}

bool SameSettings(const StoredSettings& a, const StoredSettings& b)
{
    return a.width == b.width && a.height == b.height && a.color == b.color;
}

// A setting the file lacks, or holds as another value, must be written.
bool SettingsDiffer(const StoredSettings& settings, const SettingsOnDisk& disk)
{
    return !disk.width || !disk.height || !disk.color || *disk.width != settings.width ||
           *disk.height != settings.height || *disk.color != settings.color;
}

class LockScope {
  public:
    LockScope(StoreDisk& disk, const std::string& store) : disk_(disk), taken_(disk.Lock(store)) {}
    ~LockScope()
    {
        if (taken_)
            disk_.Unlock();
    }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;
    bool taken() const { return taken_; }

  private:
    StoreDisk& disk_;
    bool taken_;
};

} // namespace

// The store as one sync read it.
struct StoreSession::FileState {
    FileLook look;
    bool same = false;  // the bytes this run last read or wrote
    bool stale = false; // the bytes of an older store this run read or wrote
    bool cut = false;   // it ends inside a note, and stayed so
    std::shared_ptr<const std::string> bytes;
    IniDocument document;
    StoreEncoding encoding = StoreEncoding::Ansi;
    Snapshot snapshot;
};

// The conflict copies and restored files one sync read.
struct StoreSession::Copies {
    std::vector<Snapshot> snapshots;
    std::vector<std::string> paths;  // of each snapshot
    std::vector<std::string> read;   // deleted once a store holding their notes is written
    std::vector<TakenCopy> justRead; // by this sync
};

void StoreSession::Recent::Add(std::uint64_t hash)
{
    if (!set_.insert(hash).second)
        return;
    order_.push_back(hash);
    if (order_.size() > most_) {
        set_.erase(order_.front());
        order_.erase(order_.begin());
    }
}

bool StoreSession::Load(const char* path, StoredSettings& settings,
                        std::vector<std::pair<int, StoredNote>>& notes)
{
    notes.clear();
    settings = synced_.snapshot.settings;
    std::string bytes;
    const FileRead read = disk_->Read(path, bytes);
    if (read == FileRead::Failed)
        return false;
    synced_.look = disk_->Look(path);
    // The document is parsed again at the first save: until then it would
    // only take memory.
    IniDocument document;
    synced_.encoding = Parse(bytes, document);
    const StoredRun none;
    const Version noVersion;
    const std::vector<NoteHere> noNotes;
    synced_.snapshot = ReadStore(
        document, CharsetOf(synced_.encoding),
        RunKnows{none, synced_.snapshot.settings, noVersion, noNotes, seenContents_.set(), disk_->Today()},
        false, false);
    settings = synced_.snapshot.settings;
    deletions_ = synced_.snapshot.deletions;
    synced_.known = true;
    seenFiles_.Add(HashOf(bytes));
    synced_.bytes = std::make_shared<const std::string>(std::move(bytes));
    if (read == FileRead::Read)
        found_ = synced_.bytes;
    RememberVersions(synced_.snapshot);
    const StoredRun& run = synced_.snapshot.notes;
    for (std::size_t place = 0; place < run.size(); ++place)
        if (run[place])
            notes.emplace_back(static_cast<int>(place), *run[place]);
    return true;
}

void StoreSession::AdoptLoaded(int place, NoteKey key)
{
    const std::size_t p = static_cast<std::size_t>(place);
    const StoredNote& note = *synced_.snapshot.notes[p];
    records_[key] = NoteRecord{place, note, synced_.snapshot.how[p]};
    seenContents_.Add(HashOfContent(note));
}

bool StoreSession::ChangedOnDisk(const char* path, bool listFolder)
{
    if (waiting_ || !synced_.known || !takeIn_.empty() || disk_->Look(path) != synced_.look)
        return true;
    const FileLook folder = disk_->Look(FolderOf(path));
    if (listFolder || !listed_ || folder != folderLook_) {
        // Taken before the listing: a copy made meanwhile changes it again.
        folderLook_ = folder;
        listed_ = true;
        copiesBeside_ = false;
        for (const std::string& copy : disk_->ConflictCopies(path))
            copiesBeside_ = copiesBeside_ || !TakenIn(copy, disk_->Look(copy));
    }
    return copiesBeside_;
}

void StoreSession::TakeIn(std::vector<std::string> files)
{
    for (std::string& file : files)
        if (std::find(takeIn_.begin(), takeIn_.end(), file) == takeIn_.end())
            takeIn_.push_back(std::move(file));
}

StoreSession::TakenCopy* StoreSession::TakenIn(const std::string& copy, const FileLook& look)
{
    for (TakenCopy& taken : takenCopies_)
        if (taken.path == copy && taken.look == look)
            return &taken;
    return nullptr;
}

bool StoreSession::HeldStill(const FileLook& look)
{
    const unsigned long now = disk_->Ticks();
    if (!settling_.on || look != settling_.look) {
        if (!settling_.on)
            settling_.first = now;
        settling_.on = true;
        settling_.look = look;
        settling_.since = now;
        return now - settling_.first >= LongestWaitForStill;
    }
    return now - settling_.since >= HoldStill || now - settling_.first >= LongestWaitForStill;
}

SyncResult StoreSession::Sync(const char* path, StoredSettings& settings, const std::vector<NoteNow>& notes,
                              bool create, ScreenChanges& changes)
{
    changes = ScreenChanges();
    const FileLook firstLook = disk_->Look(path);
    if (!(synced_.known && firstLook == synced_.look) && !HeldStill(firstLook))
        return SyncResult::Later;
    // The look and the write under the lock: no other writer changes the
    // file in between.
    LockScope lock(*disk_, path);
    if (!lock.taken())
        return SyncResult::Later;
    disk_->RemoveLeftovers(path);

    // Read.
    FileState file;
    SyncResult notRead = SyncResult::Later;
    if (!ReadFile(path, file, notRead))
        return notRead;
    settling_.on = false;
    std::vector<NoteKey> keys;
    RunSide here = NotesHere(notes, settings, keys);
    const StoredRun none;
    if (!file.same)
        file.snapshot = ReadStore(file.document, CharsetOf(file.encoding),
                                  RunKnows{synced_.known ? synced_.snapshot.notes : none,
                                           synced_.snapshot.settings, synced_.snapshot.settingsVersion,
                                           here.notes, seenContents_.set(), disk_->Today()},
                                  file.stale, file.cut);
    Copies copies;
    ReadCopies(disk_->ConflictCopies(path), false, copies);
    ReadCopies(takeIn_, true, copies);

    // Merge.
    const MergedStore merged =
        Merge(history_, here, file.snapshot, copies.snapshots, disk_->Today(), stamps_);

    // Write: nothing is taken away without its copy; tried again.
    if (!KeepCopies(path, merged, file))
        return SyncResult::Failed;
    changes.settingsChanged = !SameSettings(settings, merged.settings);
    settings = merged.settings;
    SavedRun saved;
    const Written written = Write(path, create, merged, file, saved);
    Remember(file, here, keys, notes.size(), merged, written == Written::Yes ? &saved : nullptr,
             written == Written::Failed, changes);
    // A copy a busy note will join stays beside the store, to be read again.
    for (std::size_t k = 0; k < copies.paths.size(); ++k)
        if (merged.copiesWait[k])
            copies.read.erase(std::remove(copies.read.begin(), copies.read.end(), copies.paths[k]),
                              copies.read.end());
    RememberCopies(copies, written == Written::Failed);
    return written == Written::Failed ? SyncResult::Failed : SyncResult::Done;
}

// The read: the file as it is now, unless it is being written (Later).
bool StoreSession::ReadFile(const std::string& path, FileState& file, SyncResult& notRead)
{
    file.look = disk_->Look(path);
    file.same = synced_.known && file.look == synced_.look;
    std::string bytes;
    if (!file.same) {
        if (disk_->Read(path, bytes) == FileRead::Failed) {
            notRead = SyncResult::Failed; // never written over: tried again later
            return false;
        }
        file.same = synced_.known && bytes == *synced_.bytes;
    }
    if (file.same) {
        file.bytes = synced_.bytes;
        file.snapshot = synced_.snapshot;
        if (synced_.documentCurrent)
            file.document = std::move(synced_.document);
        else
            Parse(*file.bytes, file.document);
        synced_.documentCurrent = false;
        file.encoding = synced_.encoding;
        return true;
    }
    std::string text;
    file.encoding = Parse(bytes, file.document, &text);
    // A file that ends inside a note is being written, or was cut off: it
    // waits, and if it stays so it deletes and cuts nothing.
    file.cut = EndsMidNote(text, file.document);
    if (file.cut && disk_->Ticks() - settling_.first < LongestWaitForStill) {
        notRead = SyncResult::Later;
        return false;
    }
    if (!synced_.known && file.look.exists)
        found_ = std::make_shared<const std::string>(bytes); // the first store this run could read
    file.stale = synced_.known && seenFiles_.Has(HashOf(bytes));
    file.bytes = std::make_shared<const std::string>(std::move(bytes));
    return true;
}

// The run's notes, then those deleted here since the last sync; each note
// now with its identity and version (a changed one's made from its
// record's), and the settings with theirs.
RunSide StoreSession::NotesHere(const std::vector<NoteNow>& notes, const StoredSettings& settings,
                                std::vector<NoteKey>& keys)
{
    RunSide here;
    std::unordered_set<NoteKey> present;
    std::unordered_set<std::string> ids;
    for (const NoteNow& now : notes) {
        auto record = records_.find(now.key);
        // Two windows of one identity (both took the same note in): the
        // later is a note of its own.
        if (record != records_.end() && record->second.base && !ids.insert(record->second.base->id).second) {
            records_.erase(record);
            record = records_.end();
        }
        NoteHere note{record != records_.end() ? record->second : NoteRecord{}, now.note, now.busy};
        StoredNote& stamped = *note.now;
        if (note.record.base) {
            const StoredNote& base = *note.record.base;
            stamped.id = base.id;
            stamped.origin = base.origin;
            stamped.version = SameContent(stamped, base) ? base.version : stamps_.Next(base.version);
        } else {
            std::string& id = newIds_[now.key];
            if (id.empty())
                id = DerivedIdentity({disk_->Computer(), std::to_string(disk_->CountFloor()),
                                      std::to_string(++newIdSerial_), std::to_string(disk_->Ticks())});
            stamped.id = id;
            stamped.version = stamps_.Next(Version());
            ids.insert(id);
        }
        here.notes.push_back(std::move(note));
        present.insert(now.key);
        keys.push_back(now.key);
    }
    here.deletions = deletions_;
    for (const auto& record : records_)
        if (!present.count(record.first) && record.second.base) {
            here.notes.push_back(NoteHere{record.second, std::nullopt, false});
            keys.push_back(record.first);
            // Only a version some store held is told as deleted.
            const StoredNote& base = *record.second.base;
            if (!base.version.counts.empty())
                here.deletions = JoinedDeletions(
                    here.deletions, Deletions{{base.id, Deletion{base.version, disk_->Today()}}});
        }
    const Snapshot& synced = synced_.snapshot;
    here.settings = settings;
    here.settingsVersion = SameSettings(settings, synced.settings) ? synced.settingsVersion
                                                                   : stamps_.Next(synced.settingsVersion);
    return here;
}

// Copies that have held still for a moment, read whole; the others wait. A
// copy written a moment ago or dated ahead (another computer's clock) must
// look the same at two looks a moment apart.
void StoreSession::ReadCopies(const std::vector<std::string>& files, bool restored, Copies& copies)
{
    const unsigned long long moment = disk_->FileTimeNow();
    const unsigned long now = disk_->Ticks();
    std::vector<CopyLook> looks;
    for (const std::string& path : files) {
        const FileLook look = disk_->Look(path);
        if (TakenCopy* taken = TakenIn(path, look)) {
            if (taken->deleteTries < MostDeleteTries)
                copies.read.push_back(path); // deleted again once the store is written
            continue;
        }
        if (look.written + HoldStill * 10000ull > moment) {
            auto seen = std::find_if(copyLooks_.begin(), copyLooks_.end(),
                                     [&](const CopyLook& c) { return c.path == path && c.look == look; });
            looks.push_back(seen != copyLooks_.end() ? *seen : CopyLook{path, look, now});
            if (now - looks.back().since < HoldStill)
                continue;
        }
        std::string bytes;
        if (disk_->Read(path, bytes) != FileRead::Read)
            continue;
        const std::uint64_t hash = HashOf(bytes);
        auto same = std::find_if(takenCopies_.begin(), takenCopies_.end(),
                                 [&](const TakenCopy& c) { return c.path == path; });
        if (same != takenCopies_.end()) {
            if (same->hash == hash) { // touched, not changed
                same->look = look;
                continue;
            }
            takenCopies_.erase(same);
        }
        IniDocument document;
        const TextCharset& charset = CharsetOf(Parse(bytes, document));
        copies.snapshots.push_back(restored ? ReadRestored(document, charset, bytes)
                                            : ReadCopy(document, charset));
        copies.paths.push_back(path);
        copies.read.push_back(path);
        copies.justRead.push_back(TakenCopy{path, look, hash, 0});
    }
    // The looks of these files are replaced; those of others stay.
    copyLooks_.erase(std::remove_if(copyLooks_.begin(), copyLooks_.end(),
                                    [&](const CopyLook& c) {
                                        return std::find(files.begin(), files.end(), c.path) != files.end();
                                    }),
                     copyLooks_.end());
    copyLooks_.insert(copyLooks_.end(), looks.begin(), looks.end());
}

// What another writer takes away from this run's saved notes is kept first;
// so is a damaged file. False when a copy that had to come first could not
// be written.
bool StoreSession::KeepCopies(const std::string& path, const MergedStore& merged, const FileState& file)
{
    if (merged.takesAwaySaved && lastWritten_ && !file.same &&
        !disk_->Replace(path + MineSuffix, *lastWritten_))
        return false;
    if (merged.setAside && file.look.exists && !disk_->Replace(path + SetAsideSuffix, *file.bytes))
        return false;
    return true;
}

// The write: only where the merged store differs from the file (or, with
// `create`, where there is none); the backup first, once.
StoreSession::Written StoreSession::Write(const std::string& path, bool create, const MergedStore& merged,
                                          FileState& file, SavedRun& saved)
{
    IniDocument& document = file.document;
    const bool settingsDiffer =
        SettingsDiffer(merged.settings, ReadSettingsOnDisk(document)) ||
        ReadSettingsVersion(document).value_or(file.snapshot.settingsVersion) != merged.settingsVersion;
    if (!merged.notesChange && !settingsDiffer && ReadDeletions(document) == merged.deletions &&
        !(create && !file.look.exists))
        return Written::No;
    PutSettings(document, merged.settings);
    PutSettingsVersion(document, merged.settingsVersion);
    saved = PutNotes(document, merged.save, file.snapshot.notes, 0, CharsetOf(file.encoding));
    PutDeletions(document, merged.deletions);
    std::string bytes = EncodeStoreBytes(document.Serialize(), file.encoding);
    if (bytes == *file.bytes && file.look.exists)
        return Written::No;
    if (found_ && disk_->Replace(path + BackupSuffix, *found_))
        found_.reset();
    if (!disk_->Replace(path, bytes))
        return Written::Failed;
    seenFiles_.Add(HashOf(bytes));
    file.bytes = std::make_shared<const std::string>(std::move(bytes));
    file.look = disk_->Look(path);
    lastWritten_ = file.bytes;
    return Written::Yes;
}

// What the run now stands against, the file written or as read, and what the
// screen must show.
void StoreSession::Remember(FileState& file, const RunSide& here, const std::vector<NoteKey>& keys,
                            std::size_t shownNotes, const MergedStore& merged, const SavedRun* saved,
                            bool failed, ScreenChanges& changes)
{
    if (!file.same) {
        for (const auto& note : file.snapshot.notes)
            if (note)
                seenContents_.Add(HashOfContent(*note));
        RememberVersions(file.snapshot);
    }
    Snapshot& synced = file.snapshot;
    if (saved) {
        // The file written: its notes are those this run wrote, identities and all.
        synced.notes = saved->shown;
        synced.how.assign(synced.notes.size(), IdentityFrom::File);
        synced.seen.assign(synced.notes.size(), 0);
        synced.deletions = merged.deletions;
        synced.damaged = false;
        RememberVersions(synced);
    }
    for (const auto& join : merged.joins)
        history_.RememberJoin(join.first, join.second);
    if (!failed) {
        synced.settings = merged.settings;
        synced.settingsVersion = merged.settingsVersion;
        deletions_ = merged.deletions;
    } else {
        // This run's deletions, and the settings' base, wait for the next save.
        synced.settings = synced_.snapshot.settings;
        synced.settingsVersion = synced_.snapshot.settingsVersion;
        deletions_ = JoinedDeletions(here.deletions, file.snapshot.deletions);
    }
    synced_.known = true;
    synced_.look = file.look;
    synced_.bytes = file.bytes;
    synced_.encoding = file.encoding;
    synced_.document = std::move(file.document);
    synced_.documentCurrent = !failed;
    synced_.snapshot = std::move(synced);
    seenFiles_.Add(HashOf(*synced_.bytes));

    const MergedRecords records = RecordsAfterSave(here.notes, merged, saved ? &saved->placeOf : nullptr);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const bool gone = i >= shownNotes || merged.here[i].action == ScreenAction::Close;
        if (gone) {
            records_.erase(keys[i]);
            newIds_.erase(keys[i]);
            continue;
        }
        if (records.here[i].base) {
            records_[keys[i]] = records.here[i];
            newIds_.erase(keys[i]);
            seenContents_.Add(HashOfContent(*records.here[i].base));
        } else if (here.notes[i].now) {
            // Not in the file yet (its write failed): it keeps its identity.
            newIds_[keys[i]] = here.notes[i].now->id;
            records_.erase(keys[i]);
        }
        if (merged.here[i].action == ScreenAction::Update)
            changes.update.emplace_back(keys[i], *merged.here[i].record.base);
    }
    for (std::size_t i = 0; i < shownNotes; ++i)
        if (merged.here[i].action == ScreenAction::Close)
            changes.close.push_back(keys[i]);
    toAdopt_.clear();
    for (std::size_t k = 0; k < merged.added.size(); ++k) {
        changes.show.push_back(merged.added[k].note);
        toAdopt_.push_back(ToAdopt{records.added[k], merged.added[k].note.id});
    }
    waiting_ = merged.waiting;
    // The history keeps the notes still known.
    std::unordered_set<std::string> ids;
    for (const auto& note : synced_.snapshot.notes)
        if (note)
            ids.insert(note->id);
    for (const auto& record : records_)
        if (record.second.base)
            ids.insert(record.second.base->id);
    for (const ToAdopt& adopt : toAdopt_)
        ids.insert(adopt.id);
    history_.KeepOnly(ids);
}

// The versions of a snapshot whose identities the file holds: a version
// joined later may have been made from one of them.
void StoreSession::RememberVersions(const Snapshot& snapshot)
{
    for (std::size_t j = 0; j < snapshot.notes.size(); ++j)
        if (snapshot.notes[j] && snapshot.how[j] == IdentityFrom::File && !snapshot.seen[j])
            history_.Remember(*snapshot.notes[j]);
}

// The copies taken in go once a store holding their notes is on disk; a copy
// that cannot be deleted is remembered as taken in, so that it is neither
// merged again nor looked at again at every look.
void StoreSession::RememberCopies(const Copies& copies, bool failed)
{
    for (const Snapshot& copy : copies.snapshots)
        RememberVersions(copy);
    if (!failed) {
        for (const std::string& copy : copies.read) {
            const bool deleted = disk_->Remove(copy);
            auto known = std::find_if(takenCopies_.begin(), takenCopies_.end(),
                                      [&](const TakenCopy& c) { return c.path == copy; });
            if (known != takenCopies_.end()) {
                if (deleted)
                    takenCopies_.erase(known);
                else
                    ++known->deleteTries;
                continue;
            }
            auto read = std::find_if(copies.justRead.begin(), copies.justRead.end(),
                                     [&](const TakenCopy& c) { return c.path == copy; });
            if (deleted || read == copies.justRead.end())
                continue;
            if (takenCopies_.size() >= MostTakenCopies)
                takenCopies_.erase(takenCopies_.begin());
            takenCopies_.push_back(*read);
            takenCopies_.back().deleteTries = 1;
        }
        listed_ = false; // the folder is listed again at the next look
    }
    // Files to take in wait until they are read, or gone.
    takeIn_.erase(std::remove_if(takeIn_.begin(), takeIn_.end(),
                                 [&](const std::string& taken) {
                                     return (!failed &&
                                             std::count(copies.read.begin(), copies.read.end(), taken)) ||
                                            !disk_->Look(taken).exists;
                                 }),
                  takeIn_.end());
}

StoredNote StoreSession::AsStored(NoteKey key, const StoredNote& now) const
{
    StoredNote stored = now;
    auto record = records_.find(key);
    if (record != records_.end() && record->second.base) {
        const StoredNote& base = *record->second.base;
        stored.id = base.id;
        stored.origin = base.origin;
        stored.version = SameContent(now, base) ? base.version : stamps_.Peek(base.version);
    } else if (auto id = newIds_.find(key); id != newIds_.end()) {
        stored.id = id->second;
        stored.version = stamps_.Peek(Version());
    }
    return stored;
}

void StoreSession::Adopt(std::size_t index, NoteKey key)
{
    if (index >= toAdopt_.size())
        return;
    if (toAdopt_[index].record.base)
        records_[key] = toAdopt_[index].record;
    else // not in the file yet: it keeps the identity it came with
        newIds_[key] = toAdopt_[index].id;
}
