#include "store/note_store.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/file_replace.h"

const char BackupSuffix[] = ".bak";
const char MineSuffix[] = ".mine";
const char SetAsideSuffix[] = ".set-aside";

namespace {

// A look at a changed file that stays the same this long: its writer is done.
constexpr DWORD HoldStill = 1000;
// A file that never holds still this long is read all the same: the guard
// against damaged files then protects the notes.
constexpr DWORD LongestWaitForStill = 10000;
// A temporary file older than this is no save in progress.
constexpr unsigned long LeftoverAge = 60000;
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

StoreEncoding Parse(const std::string& bytes, IniDocument& store)
{
    std::string text;
    const StoreEncoding encoding = DecodeStoreBytes(bytes, text);
    store = IniDocument::Parse(text);
    return encoding;
}

std::uint64_t HashOf(const std::string& bytes)
{
    return VersionOf(StoredNote{bytes, std::string(), std::string()});
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

// Notes of deleted notes' files come back unless the screen shows them after
// the merge: a version this run saw does not stop them, as it does a conflict
// copy's, since the run saw them before they were deleted.
void BringBack(const std::vector<StoredNote>& restored, const std::vector<NoteNow>& notes,
               MergeOutcome& merge)
{
    std::unordered_set<NoteVersion> shown;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const MergedHere& here = merge.here[i];
        if (here.action == ScreenAction::Update)
            shown.insert(VersionOf(*here.record.base));
        else if (here.action == ScreenAction::Keep)
            shown.insert(VersionOf(notes[i].note));
    }
    for (const MergedNew& added : merge.added)
        shown.insert(VersionOf(added.note));
    for (const StoredNote& note : restored)
        if (shown.insert(VersionOf(note)).second)
            merge.added.push_back(MergedNew{note, -1});
}

bool Keep(const std::string& path, const std::string& bytes)
{
    return ReplaceFileInOneStep(path, {{bytes.data(), bytes.size()}});
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    // "C:" alone would name the drive's current folder.
    return slash > 0 && path[slash - 1] != ':' ? path.substr(0, slash) : path.substr(0, slash + 1);
}

unsigned long long FileTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

} // namespace

bool StoreSession::Load(const char* path, StoredSettings& settings,
                        std::vector<std::pair<int, StoredNote>>& notes)
{
    *this = StoreSession();
    notes.clear();
    settings = settings_;
    std::string bytes;
    const FileRead read = ReadWholeFile(path, bytes);
    if (read == FileRead::Failed)
        return false;
    look_ = LookAt(path);
    // The document is parsed again at the first save: until then it would
    // only take memory.
    IniDocument document;
    encoding_ = Parse(bytes, document);
    run_ = StoredNotes(document, CharsetOf(encoding_));
    settings = settings_ = ReadSettings(document);
    known_ = true;
    foundKnown_ = foundIsBytes_ = read == FileRead::Read;
    seenFiles_.insert(HashOf(bytes));
    bytes_ = std::move(bytes);
    for (std::size_t place = 0; place < run_.size(); ++place)
        if (run_[place]) {
            Remember(VersionOf(*run_[place]), 0, false);
            notes.emplace_back(static_cast<int>(place), *run_[place]);
        }
    return true;
}

void StoreSession::AdoptLoaded(int place, NoteKey key)
{
    const StoredNote& note = *run_[static_cast<std::size_t>(place)];
    records_[key] = NoteRecord{place, note};
    seen_[VersionOf(note)].key = key;
}

void StoreSession::Remember(NoteVersion version, NoteKey key, bool written)
{
    Seen& seen = seen_[version];
    if (key)
        seen.key = key;
    seen.written = seen.written || written;
}

bool StoreSession::ChangedOnDisk(const char* path, bool listFolder)
{
    if (waiting_ || !known_ || !takeIn_.empty() || LookAt(path) != look_)
        return true;
    const FileLook folder = LookAt(FolderOf(path));
    if (listFolder || !listed_ || folder != folderLook_) {
        // Taken before the listing: a copy made meanwhile changes it again.
        folderLook_ = folder;
        listed_ = true;
        copiesBeside_ = false;
        for (const std::string& copy : FindConflictCopies(path))
            copiesBeside_ = copiesBeside_ || !TakenIn(copy, LookAt(copy));
    }
    return copiesBeside_;
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
    const DWORD now = GetTickCount();
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
// look the same at two looks a moment apart.
std::vector<StoredNote> StoreSession::ReadConflictCopies(const std::vector<std::string>& files,
                                                         std::vector<std::string>& read)
{
    std::vector<StoredNote> notes;
    const unsigned long long moment = FileTimeNow();
    const DWORD now = GetTickCount();
    std::vector<CopyLook> looks;
    for (const std::string& copy : files) {
        const FileLook look = LookAt(copy);
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
        if (ReadWholeFile(copy.c_str(), bytes) != FileRead::Read)
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
        for (const auto& note : StoredNotes(document, CharsetOf(encoding)))
            if (note)
                notes.push_back(*note);
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
        const bool deleted = DeleteFileA(copy.c_str()) != FALSE;
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

SyncResult StoreSession::Sync(const char* path, StoredSettings& settings, const std::vector<NoteNow>& notes,
                              bool create, ScreenChanges& changes)
{
    changes = ScreenChanges();
    FileLook look = LookAt(path);
    if (!(known_ && look == look_) && !HeldStill(look))
        return SyncResult::Later;
    // The look and the write under the lock: no other writer changes the
    // file in between.
    StoreLock lock(path);
    if (lock.taken())
        return SyncResult::Later;
    changing_ = false;
    RemoveLeftoverTemporaryFiles(path, LeftoverAge);

    look = LookAt(path);
    bool same = known_ && look == look_;
    std::string bytes;
    StoredRun disk;
    IniDocument document;
    StoreEncoding encoding = encoding_;
    if (!same) {
        if (ReadWholeFile(path, bytes) == FileRead::Failed)
            return SyncResult::Failed; // never written over: tried again later
        same = known_ && bytes == bytes_;
    }
    if (same) {
        bytes = bytes_;
        disk = run_;
        if (documentCurrent_)
            document = std::move(document_);
        else
            Parse(bytes, document);
        documentCurrent_ = false;
    } else {
        encoding = Parse(bytes, document);
        disk = StoredNotes(document, CharsetOf(encoding));
        if (!known_ && look.exists) {
            found_ = bytes; // the first store this run could read
            foundKnown_ = true;
        }
    }
    const bool stale = !same && known_ && seenFiles_.count(HashOf(bytes)) > 0;

    // The run's notes, then those deleted here since the last sync.
    std::vector<NoteHere> here;
    std::vector<NoteKey> keys;
    std::unordered_map<NoteKey, int> indexOf;
    for (const NoteNow& now : notes) {
        auto record = records_.find(now.key);
        here.push_back(
            NoteHere{record != records_.end() ? record->second : NoteRecord{}, now.note, now.busy});
        indexOf[now.key] = static_cast<int>(keys.size());
        keys.push_back(now.key);
    }
    for (const auto& record : records_)
        if (!indexOf.count(record.first)) {
            here.push_back(NoteHere{record.second, std::nullopt, false});
            indexOf[record.first] = static_cast<int>(keys.size());
            keys.push_back(record.first);
        }
    SeenVersions seen;
    seen.reserve(seen_.size());
    for (const auto& version : seen_) {
        auto index = version.second.key ? indexOf.find(version.second.key) : indexOf.end();
        seen[version.first] =
            SeenVersion{index != indexOf.end() ? index->second : -1, version.second.written};
    }
    std::vector<std::string> copies;
    justRead_.clear();
    const std::vector<StoredNote> fromCopies = ReadConflictCopies(FindConflictCopies(path), copies);
    const std::vector<StoredNote> restored = ReadConflictCopies(takeIn_, copies);

    const StoredRun none;
    MergeOutcome merge =
        MergeNotes(MergeInput{known_ ? run_ : none, disk, same, stale, here, seen, fromCopies});
    BringBack(restored, notes, merge);
    const StoredSettings before = settings;
    MergeSettings(settings_, settings, ReadSettingsOnDisk(document), stale);
    changes.settingsChanged = !SameSettings(before, settings);
    const MergedSave save = NotesToSave(disk, here, merge);
    // Read now: found again later, a version of these is stale.
    for (const auto& note : disk)
        if (note)
            Remember(VersionOf(*note), 0, false);

    // What another writer takes away from this run's saved notes is kept
    // first; so is a file that would have closed most notes.
    if (merge.takesAwaySaved && wroteAny_)
        Keep(path + std::string(MineSuffix), LastWritten());
    if (merge.guarded && look.exists)
        Keep(path + std::string(SetAsideSuffix), bytes);

    bool written = false, failed = false;
    SavedRun saved;
    if (save.changes || SettingsDiffer(settings, ReadSettingsOnDisk(document)) || (create && !look.exists)) {
        PutSettings(document, settings);
        saved = PutNotes(document, save.notes, disk, 0, CharsetOf(encoding));
        std::string newBytes = EncodeStoreBytes(document.Serialize(), encoding);
        if (newBytes != bytes || !look.exists) {
            if (foundKnown_ && !backupMade_ && Keep(path + std::string(BackupSuffix), Found())) {
                backupMade_ = true;
                std::string().swap(found_);
                foundIsBytes_ = false;
            }
            written = WriteStoreFile(path, newBytes);
            failed = !written;
        }
        if (written) {
            for (const NoteToSave& note : save.notes)
                Remember(VersionOf(note.now), 0, true);
            seenFiles_.insert(HashOf(newBytes));
            wroteAny_ = true;
            bytes = std::move(newBytes);
            look = LookAt(path);
        }
    }
    // What the run now stands against: the file written, or as it was read.
    if (written) {
        run_ = std::move(saved.shown);
        document_ = std::move(document);
        documentCurrent_ = true;
    } else {
        run_ = std::move(disk);
        if (!failed) { // the document still holds the bytes read
            document_ = std::move(document);
            documentCurrent_ = true;
        }
    }
    if (written)
        settings_ = settings;
    if (bytes != bytes_)
        KeepWhatBytesHold();
    if (written) {
        std::string().swap(lastWritten_);
        lastWrittenIsBytes_ = true;
    }
    bytes_ = std::move(bytes);
    look_ = look;
    encoding_ = encoding;
    known_ = true;
    seenFiles_.insert(HashOf(bytes_));

    const MergedRecords records = RecordsAfterSave(here, merge, save, written ? &saved.placeOf : nullptr);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const bool gone = i >= notes.size() || merge.here[i].action == ScreenAction::Close;
        if (gone) {
            records_.erase(keys[i]);
            continue;
        }
        records_[keys[i]] = records.here[i];
        if (records.here[i].base)
            Remember(VersionOf(*records.here[i].base), keys[i], false);
        if (merge.here[i].action == ScreenAction::Update)
            changes.update.emplace_back(keys[i], *merge.here[i].record.base);
    }
    for (std::size_t i = 0; i < notes.size(); ++i)
        if (merge.here[i].action == ScreenAction::Close)
            changes.close.push_back(keys[i]);
    for (const MergedNew& added : merge.added)
        changes.show.push_back(added.note);
    toAdopt_ = records.added;
    waiting_ = merge.waiting;
    // A conflict copy goes once a store holding its notes is on disk.
    if (!failed)
        DeleteConflictCopies(copies);
    // Files to take in wait until they are read, or gone.
    takeIn_.erase(std::remove_if(takeIn_.begin(), takeIn_.end(),
                                 [&](const std::string& file) {
                                     return (!failed && std::count(copies.begin(), copies.end(), file)) ||
                                            !LookAt(file).exists;
                                 }),
                  takeIn_.end());
    return failed ? SyncResult::Failed : SyncResult::Done;
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

void StoreSession::Adopt(std::size_t index, NoteKey key)
{
    if (index < toAdopt_.size())
        records_[key] = toAdopt_[index];
}

StoredNote StoreSession::AsStored(NoteKey, const StoredNote& now) const
{
    return now;
}

void StoreSession::TakeIn(std::vector<std::string> files)
{
    for (std::string& file : files)
        if (std::find(takeIn_.begin(), takeIn_.end(), file) == takeIn_.end())
            takeIn_.push_back(std::move(file));
}
