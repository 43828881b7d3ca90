#include "store/note_store.h"

#include <algorithm>
#include <utility>

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
// How many versions of notes, and of whole stores, the run remembers having seen.
constexpr std::size_t SeenVersionsKept = 4096;
constexpr std::size_t SeenFilesKept = 64;

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
    return VersionOf(StoredNote{bytes, std::string(), std::string(), std::string(), Version()});
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

// Of two settings made apart, the one that stands: the same on every copy.
bool FirstStands(const StoredSettings& a, const Version& va, const StoredSettings& b, const Version& vb)
{
    const std::string fa = FormatVersion(va), fb = FormatVersion(vb);
    if (fa != fb)
        return fa < fb;
    if (a.width != b.width)
        return a.width < b.width;
    return a.height != b.height ? a.height < b.height : a.color <= b.color;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    // "C:" alone would name the drive's current folder.
    return slash > 0 && path[slash - 1] != ':' ? path.substr(0, slash) : path.substr(0, slash + 1);
}

// A file of deleted notes brought back: each note's version goes above the
// one it was deleted at, by a count of its own named after the file's bytes.
void AboveItsDeletion(std::vector<StoredNote>& notes, const std::string& bytes)
{
    const std::string restore = "r" + DerivedIdentity({bytes}).substr(0, 8);
    for (StoredNote& note : notes)
        if (!note.id.empty())
            note.version = SteppedVersion(note.version, restore);
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

struct StoreSession::FileState {
    FileLook look;
    bool same = false;  // the bytes this run last read or wrote
    bool stale = false; // the bytes of an older store this run read or wrote
    std::string bytes;
    IniDocument document;
    StoreEncoding encoding = StoreEncoding::Ansi;
    StoredRun notes;
    bool identified = false;
    Deletions deletions;
    bool cut = false;
};

bool StoreSession::Load(const char* path, StoredSettings& settings,
                        std::vector<std::pair<int, StoredNote>>& notes)
{
    notes.clear();
    settings = settings_;
    std::string bytes;
    const FileRead read = disk_->Read(path, bytes);
    if (read == FileRead::Failed)
        return false;
    look_ = disk_->Look(path);
    // The document is parsed again at the first save: until then it would
    // only take memory.
    IniDocument document;
    encoding_ = Parse(bytes, document);
    run_ = StoredNotes(document, CharsetOf(encoding_));
    settings = settings_ = ReadSettings(document);
    settingsVersion_ = ReadSettingsVersion(document).value_or(Version());
    deletions_ = ReadDeletions(document);
    known_ = true;
    foundKnown_ = foundIsBytes_ = read == FileRead::Read;
    RememberFile(HashOf(bytes));
    bytes_ = std::move(bytes);
    // Notes without an identity are named from the file alone, as every
    // copy reading it names them.
    std::vector<char> seenAt;
    const std::vector<NoteHere> none;
    IdentifyDisk(run_, StoredRun(), none, SeenVersions(), seenAt);
    for (std::size_t place = 0; place < run_.size(); ++place)
        if (run_[place])
            notes.emplace_back(static_cast<int>(place), *run_[place]);
    return true;
}

void StoreSession::AdoptLoaded(int place, NoteKey key)
{
    const StoredNote& note = *run_[static_cast<std::size_t>(place)];
    records_[key] = NoteRecord{place, note};
    RememberVersion(note);
}

namespace {

// Adds the hash to those seen, forgetting the oldest beyond `most`.
void KeepSeen(std::unordered_set<std::uint64_t>& seen, std::vector<std::uint64_t>& order, std::uint64_t hash,
              std::size_t most)
{
    if (!seen.insert(hash).second)
        return;
    order.push_back(hash);
    if (order.size() > most) {
        seen.erase(order.front());
        order.erase(order.begin());
    }
}

} // namespace

void StoreSession::RememberVersion(const StoredNote& note)
{
    KeepSeen(seen_, seenOrder_, VersionOf(note), SeenVersionsKept);
}

void StoreSession::RememberFile(std::uint64_t hash)
{
    KeepSeen(seenFiles_, seenFilesOrder_, hash, SeenFilesKept);
}

bool StoreSession::ChangedOnDisk(const char* path, bool listFolder)
{
    if (waiting_ || !known_ || !takeIn_.empty() || disk_->Look(path) != look_)
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
    if (!changing_ || look != changingLook_) {
        if (!changing_)
            firstChange_ = now;
        changing_ = true;
        changingLook_ = look;
        changingSince_ = now;
        return now - firstChange_ >= LongestWaitForStill;
    }
    return now - changingSince_ >= HoldStill || now - firstChange_ >= LongestWaitForStill;
}

// Copies that have held still for a moment, read whole; the others wait. A
// copy written a moment ago or dated ahead (another computer's clock) must
// look the same at two looks a moment apart. Their deletions join the run's.
std::vector<StoredNote> StoreSession::ReadConflictCopies(const std::vector<std::string>& files,
                                                         std::vector<std::string>& read, Deletions& deletions,
                                                         bool restored)
{
    std::vector<StoredNote> notes;
    const unsigned long long moment = disk_->FileTimeNow();
    const unsigned long now = disk_->Ticks();
    std::vector<CopyLook> looks;
    for (const std::string& copy : files) {
        const FileLook look = disk_->Look(copy);
        if (TakenCopy* taken = TakenIn(copy, look)) {
            if (taken->deleteTries < MostDeleteTries)
                read.push_back(copy); // deleted again once the store is written
            continue;
        }
        if (look.written + HoldStill * 10000ull > moment) {
            auto seen = std::find_if(copyLooks_.begin(), copyLooks_.end(),
                                     [&](const CopyLook& c) { return c.path == copy && c.look == look; });
            looks.push_back(seen != copyLooks_.end() ? *seen : CopyLook{copy, look, now});
            if (now - looks.back().since < HoldStill)
                continue;
        }
        std::string bytes;
        if (disk_->Read(copy, bytes) != FileRead::Read)
            continue;
        const std::uint64_t hash = HashOf(bytes);
        auto same = std::find_if(takenCopies_.begin(), takenCopies_.end(),
                                 [&](const TakenCopy& c) { return c.path == copy; });
        if (same != takenCopies_.end()) {
            if (same->hash == hash) { // touched, not changed
                same->look = look;
                continue;
            }
            takenCopies_.erase(same);
        }
        IniDocument document;
        const StoreEncoding encoding = Parse(bytes, document);
        std::vector<StoredNote> fromFile;
        for (const auto& note : StoredNotes(document, CharsetOf(encoding)))
            if (note)
                fromFile.push_back(*note);
        if (restored)
            AboveItsDeletion(fromFile, bytes);
        notes.insert(notes.end(), fromFile.begin(), fromFile.end());
        deletions = JoinedDeletions(deletions, ReadDeletions(document));
        read.push_back(copy);
        justRead_.push_back(TakenCopy{copy, look, hash, 0});
    }
    // The looks of these files are replaced; those of others stay.
    copyLooks_.erase(std::remove_if(copyLooks_.begin(), copyLooks_.end(),
                                    [&](const CopyLook& c) {
                                        return std::find(files.begin(), files.end(), c.path) != files.end();
                                    }),
                     copyLooks_.end());
    copyLooks_.insert(copyLooks_.end(), looks.begin(), looks.end());
    return notes;
}

// A copy that cannot be deleted is remembered as taken in, so that it is
// neither merged again nor looked at again at every look.
void StoreSession::DeleteConflictCopies(const std::vector<std::string>& copies)
{
    for (const std::string& copy : copies) {
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
        auto read = std::find_if(justRead_.begin(), justRead_.end(),
                                 [&](const TakenCopy& c) { return c.path == copy; });
        if (deleted || read == justRead_.end())
            continue;
        if (takenCopies_.size() >= MostTakenCopies)
            takenCopies_.erase(takenCopies_.begin());
        takenCopies_.push_back(*read);
        takenCopies_.back().deleteTries = 1;
    }
    justRead_.clear();
    listed_ = false; // the folder is listed again at the next look
}

// The read: the file as it is now, unless it is being written (Later).
bool StoreSession::ReadFile(const std::string& path, FileState& file, SyncResult& result)
{
    file.look = disk_->Look(path);
    file.same = known_ && file.look == look_;
    if (!file.same) {
        if (disk_->Read(path, file.bytes) == FileRead::Failed) {
            result = SyncResult::Failed; // never written over: tried again later
            return false;
        }
        file.same = known_ && file.bytes == bytes_;
    }
    if (file.same) {
        file.bytes = bytes_;
        file.notes = run_;
        if (documentCurrent_)
            file.document = std::move(document_);
        else
            Parse(file.bytes, file.document);
        documentCurrent_ = false;
        file.encoding = encoding_;
    } else {
        std::string text;
        file.encoding = Parse(file.bytes, file.document, &text);
        file.notes = StoredNotes(file.document, CharsetOf(file.encoding));
        // A file that ends inside a note is being written, or was cut off:
        // it waits, and if it stays so it deletes and cuts nothing.
        file.cut = EndsMidNote(text, file.document);
        if (file.cut && !(disk_->Ticks() - firstChange_ >= LongestWaitForStill)) {
            result = SyncResult::Later;
            return false;
        }
        if (file.cut) {
            while (!file.notes.empty() && !file.notes.back())
                file.notes.pop_back();
            if (!file.notes.empty())
                file.notes.pop_back();
        }
        if (!known_ && file.look.exists) {
            found_ = file.bytes; // the first store this run could read
            foundKnown_ = true;
        }
        file.stale = known_ && seenFiles_.count(HashOf(file.bytes)) > 0;
    }
    file.identified = HasIdentities(file.document);
    file.deletions = ReadDeletions(file.document);
    return true;
}

// The run's notes, then those deleted here since the last sync; each note
// now with its identity and version (a changed one's made from its record's).
std::vector<NoteHere> StoreSession::NotesHere(const std::vector<NoteNow>& notes, std::vector<NoteKey>& keys)
{
    std::vector<NoteHere> here;
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
            stamped.id = note.record.base->id;
            stamped.origin = note.record.base->origin;
            stamped.version = SameContent(stamped, *note.record.base) ? note.record.base->version
                                                                      : Stamped(note.record.base->version);
        } else {
            std::string& id = newIds_[now.key];
            if (id.empty())
                id = DerivedIdentity({disk_->Computer(), std::to_string(disk_->CountFloor()),
                                      std::to_string(++serial_), std::to_string(disk_->Ticks())});
            stamped.id = id;
            stamped.version = Stamped(Version());
            ids.insert(id);
        }
        here.push_back(std::move(note));
        present.insert(now.key);
        keys.push_back(now.key);
    }
    for (const auto& record : records_)
        if (!present.count(record.first) && record.second.base) {
            here.push_back(NoteHere{record.second, std::nullopt, false});
            keys.push_back(record.first);
        }
    return here;
}

// The settings by their versions: changed here, a version made from this
// run's; a file without one merges by value.
void StoreSession::StampSettings(const StoredSettings& settings, const FileState& file,
                                 StoredSettings& merged, Version& version)
{
    const bool changedHere = !SameSettings(settings, settings_);
    Version here = changedHere ? Stamped(settingsVersion_) : settingsVersion_;
    const std::optional<Version> there = ReadSettingsVersion(file.document);
    merged = settings;
    version = here;
    if (!there) {
        StoredSettings base = settings_;
        MergeSettings(base, merged, ReadSettingsOnDisk(file.document), file.stale);
        return;
    }
    const StoredSettings onDisk = ReadSettings(file.document);
    switch (CompareVersions(here, *there)) {
    case VersionOrder::Same:
        if (!SameSettings(onDisk, settings) && !changedHere) // changed by hand
            merged = onDisk;
        break;
    case VersionOrder::Before:
        merged = onDisk;
        version = *there;
        break;
    case VersionOrder::After:
        break;
    case VersionOrder::Apart:
        if (!FirstStands(settings, here, onDisk, *there))
            merged = onDisk;
        version = JoinedVersion(here, *there);
        break;
    }
}

// What another writer takes away from this run's saved notes is kept first;
// so is a file that would have closed most notes. False when a copy that had
// to come first could not be written.
bool StoreSession::KeepCopies(const std::string& path, const MergeOutcome& merge, const FileState& file)
{
    if (merge.takesAwaySaved && wroteAny_ && !file.same && !disk_->Replace(path + MineSuffix, LastWritten()))
        return false;
    if ((merge.guarded || file.cut) && file.look.exists && !disk_->Replace(path + SetAsideSuffix, file.bytes))
        return false;
    return true;
}

// What one sync carries from phase to phase.
struct StoreSession::SyncState {
    FileState file;
    std::vector<NoteKey> keys;
    std::vector<NoteHere> here;
    Deletions known; // this run's deletions, the file's and the copies'
    std::vector<std::string> copies;
    IdentityMerge merged;
    StoredSettings settings;
    Version settingsVersion;
    MergedSave save;
    SavedRun saved;
    bool written = false;
    bool failed = false;
};

SyncResult StoreSession::Sync(const char* path, StoredSettings& settings, const std::vector<NoteNow>& notes,
                              bool create, ScreenChanges& changes)
{
    changes = ScreenChanges();
    const FileLook firstLook = disk_->Look(path);
    if (!(known_ && firstLook == look_) && !HeldStill(firstLook))
        return SyncResult::Later;
    // The look and the write under the lock: no other writer changes the
    // file in between.
    LockScope lock(*disk_, path);
    if (!lock.taken())
        return SyncResult::Later;
    disk_->RemoveLeftovers(path);

    SyncState sync;
    SyncResult notRead = SyncResult::Later;
    if (!ReadFile(path, sync.file, notRead))
        return notRead;
    changing_ = false;
    MergeWithFile(path, settings, notes, sync);
    if (!KeepCopies(path, sync.merged.merge, sync.file))
        return SyncResult::Failed; // nothing is taken away without its copy: tried again
    changes.settingsChanged = !SameSettings(settings, sync.settings);
    settings = sync.settings;
    WriteMerged(path, create, sync);
    RememberSync(sync, notes, changes);
    return sync.failed ? SyncResult::Failed : SyncResult::Done;
}

// The merge: this run's notes and settings, the file's, the conflict copies'
// and the files of deleted notes brought back.
void StoreSession::MergeWithFile(const std::string& path, const StoredSettings& settings,
                                 const std::vector<NoteNow>& notes, SyncState& sync)
{
    sync.here = NotesHere(notes, sync.keys);
    sync.known = JoinedDeletions(deletions_, sync.file.deletions);
    for (const NoteHere& note : sync.here)
        if (!note.now)
            sync.known = JoinedDeletions(
                sync.known,
                Deletions{{note.record.base->id, Deletion{note.record.base->version, disk_->Today()}}});
    justRead_.clear();
    std::vector<StoredNote> fromCopies =
        ReadConflictCopies(disk_->ConflictCopies(path), sync.copies, sync.known);
    const std::vector<StoredNote> restored = ReadConflictCopies(takeIn_, sync.copies, sync.known, true);
    fromCopies.insert(fromCopies.end(), restored.begin(), restored.end());
    SeenVersions seen;
    for (NoteVersion version : seen_)
        seen.emplace(version, SeenVersion{});
    const StoredRun none;
    FileState& file = sync.file;
    sync.merged = MergeStore(StoreMergeInput{known_ ? run_ : none, file.notes, file.identified || file.cut,
                                             file.stale, seen, sync.known, fromCopies, disk_->Today()},
                             sync.here);
    StampSettings(settings, file, sync.settings, sync.settingsVersion);
    sync.save = NotesToSave(file.notes, sync.here, sync.merged.merge);
}

// The write: only where the merged store differs from the file (or, with
// `create`, where there is none); the backup first, once.
void StoreSession::WriteMerged(const std::string& path, bool create, SyncState& sync)
{
    FileState& file = sync.file;
    IniDocument& document = file.document;
    const bool settingsDiffer = SettingsDiffer(sync.settings, ReadSettingsOnDisk(document)) ||
                                ReadSettingsVersion(document).value_or(Version()) != sync.settingsVersion;
    if (!sync.save.changes && !settingsDiffer && ReadDeletions(document) == sync.merged.deletions &&
        !(create && !file.look.exists))
        return;
    PutSettings(document, sync.settings);
    PutSettingsVersion(document, sync.settingsVersion);
    sync.saved = PutNotes(document, sync.save.notes, file.notes, 0, CharsetOf(file.encoding));
    PutDeletions(document, sync.merged.deletions);
    std::string newBytes = EncodeStoreBytes(document.Serialize(), file.encoding);
    if (newBytes == file.bytes && file.look.exists)
        return;
    if (foundKnown_ && !backupMade_ && disk_->Replace(path + std::string(BackupSuffix), Found())) {
        backupMade_ = true;
        foundIsBytes_ = false;
        std::string().swap(found_);
    }
    sync.written = disk_->Replace(path, newBytes);
    sync.failed = !sync.written;
    if (sync.written) {
        RememberFile(HashOf(newBytes));
        wroteAny_ = true;
        file.bytes = std::move(newBytes);
        file.look = disk_->Look(path);
    }
}

// What the run now stands against, the file written or as read, and what the
// screen must show; the copies taken in go once a store holding their notes
// is on disk.
void StoreSession::RememberSync(SyncState& sync, const std::vector<NoteNow>& notes, ScreenChanges& changes)
{
    FileState& file = sync.file;
    if (!file.same)
        for (const auto& note : file.notes)
            if (note)
                RememberVersion(*note);
    if (sync.written) {
        run_ = sync.saved.shown;
        settings_ = sync.settings;
        settingsVersion_ = sync.settingsVersion;
        deletions_ = sync.merged.deletions;
    } else if (!sync.failed) {
        run_ = file.notes;
        settingsVersion_ = ReadSettingsVersion(file.document).value_or(sync.settingsVersion);
        settings_ = sync.settings;
        deletions_ = sync.merged.deletions;
    } else {
        run_ = file.notes;
        deletions_ = sync.known; // this run's deletions wait for the next save
    }
    document_ = std::move(file.document);
    documentCurrent_ = !sync.failed;
    if (sync.written)
        lastWrittenIsBytes_ = false; // the store written now takes its place
    if (file.bytes != bytes_)
        KeepWhatBytesHold();
    if (sync.written) {
        std::string().swap(lastWritten_);
        lastWrittenIsBytes_ = true;
    }
    bytes_ = std::move(file.bytes);
    look_ = file.look;
    encoding_ = file.encoding;
    known_ = true;
    RememberFile(HashOf(bytes_));
    Remember(sync.here, sync.keys, notes, sync.merged, sync.save, sync.written ? &sync.saved : nullptr,
             changes);
    if (!sync.failed)
        DeleteConflictCopies(sync.copies);
    // Files to take in wait until they are read, or gone.
    takeIn_.erase(std::remove_if(takeIn_.begin(), takeIn_.end(),
                                 [&](const std::string& taken) {
                                     return (!sync.failed &&
                                             std::count(sync.copies.begin(), sync.copies.end(), taken)) ||
                                            !disk_->Look(taken).exists;
                                 }),
                  takeIn_.end());
}

void StoreSession::Remember(const std::vector<NoteHere>& here, const std::vector<NoteKey>& keys,
                            const std::vector<NoteNow>& notes, const IdentityMerge& merged,
                            const MergedSave& save, const SavedRun* saved, ScreenChanges& changes)
{
    const MergeOutcome& merge = merged.merge;
    const MergedRecords records = RecordsAfterSave(here, merge, save, saved ? &saved->placeOf : nullptr);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const bool gone = i >= notes.size() || merge.here[i].action == ScreenAction::Close;
        if (gone) {
            records_.erase(keys[i]);
            newIds_.erase(keys[i]);
            continue;
        }
        if (records.here[i].base) {
            records_[keys[i]] = records.here[i];
            newIds_.erase(keys[i]);
            RememberVersion(*records.here[i].base);
        } else if (here[i].now) {
            // Not in the file yet (its write failed): it keeps its identity.
            newIds_[keys[i]] = here[i].now->id;
            records_.erase(keys[i]);
        }
        if (merge.here[i].action == ScreenAction::Update)
            changes.update.emplace_back(keys[i], *merge.here[i].record.base);
    }
    for (std::size_t i = 0; i < notes.size(); ++i)
        if (merge.here[i].action == ScreenAction::Close)
            changes.close.push_back(keys[i]);
    for (const MergedNew& added : merge.added)
        changes.show.push_back(added.note);
    toAdopt_ = records.added;
    toAdoptIds_.clear();
    for (const MergedNew& added : merge.added)
        toAdoptIds_.push_back(added.note.id);
    waiting_ = merge.waiting;
}

// Every change this run stamps takes a count of its own, above the counts of
// earlier runs (CountFloor): a count given to one version is never given to
// another, even of a note that came back after this computer deleted it.
Version StoreSession::Stamped(const Version& base)
{
    lastCount_ = std::max(lastCount_, disk_->CountFloor()) + 1;
    return SteppedVersion(base, disk_->Computer(), lastCount_);
}

void StoreSession::KeepWhatBytesHold()
{
    if (lastWrittenIsBytes_) {
        lastWritten_ = bytes_;
        lastWrittenIsBytes_ = false;
    }
    if (foundIsBytes_) {
        found_ = bytes_;
        foundIsBytes_ = false;
    }
}

StoredNote StoreSession::AsStored(NoteKey key, const StoredNote& now) const
{
    StoredNote stored = now;
    auto record = records_.find(key);
    if (record != records_.end() && record->second.base) {
        const StoredNote& base = *record->second.base;
        stored.id = base.id;
        stored.origin = base.origin;
        stored.version = SameContent(now, base)
                             ? base.version
                             : SteppedVersion(base.version, disk_->Computer(), lastCount_ + 1);
    } else if (auto id = newIds_.find(key); id != newIds_.end()) {
        stored.id = id->second;
        stored.version = SteppedVersion(Version(), disk_->Computer(), lastCount_ + 1);
    }
    return stored;
}

void StoreSession::Adopt(std::size_t index, NoteKey key)
{
    if (index >= toAdopt_.size())
        return;
    if (toAdopt_[index].base)
        records_[key] = toAdopt_[index];
    else // not in the file yet: it keeps the identity it came with
        newIds_[key] = toAdoptIds_[index];
}
