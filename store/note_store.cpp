#include "store/note_store.h"

#include <string>

#include "store/store_file.h"
#include "store/store_text.h"

namespace {

// The run's sections are First, First + 1, ...: what each one showed as a
// note when it was loaded or last written. First is 0 unless the store could
// not be read at start: the run's notes then go after the stored ones, which
// the first save counts.
StoredRun Shown;
unsigned First;
bool UnreadAtStart;
bool FirstCounted;
// The backup keeps the store as the run found it: only the run's first write
// makes one, so that it still holds the last session's notes after a mistake.
bool BackupMade;

// The encoding of the file last read: a store saved as Unicode is written
// back as Unicode.
StoreEncoding Encoding = StoreEncoding::Ansi;

std::string ToNote(std::string_view stored)
{
    return StoreToNoteText(stored, Encoding);
}

std::string ToStore(std::string_view note)
{
    return NoteToStoreText(note, Encoding);
}

const TextCharset FileCharset{ToNote, ToStore};

// The file's bytes as they are, and its document; false when it is there but
// cannot be read.
bool ReadStoreFile(const char* path, std::string& bytes, IniDocument& store)
{
    const FileRead result = ReadWholeFile(path, bytes);
    std::string text;
    Encoding = DecodeStoreBytes(bytes, text);
    store = IniDocument::Parse(text);
    return result != FileRead::Failed;
}

// The file as the run last wrote it, and its document: a save a moment after
// typing then needs no second parse of the whole store, which was most of its
// cost. Any other bytes in the file (another program changed it) are parsed.
std::string WrittenBytes;
IniDocument WrittenStore;
bool WrittenKnown;

bool ReadStoreForSave(const char* path, std::string& bytes, IniDocument& store)
{
    if (!WrittenKnown)
        return ReadStoreFile(path, bytes, store);
    WrittenKnown = false; // whatever happens next, the document is taken
    if (ReadWholeFile(path, bytes) == FileRead::Failed)
        return false;
    if (bytes != WrittenBytes) {
        std::string text;
        Encoding = DecodeStoreBytes(bytes, text);
        store = IniDocument::Parse(text);
    } else {
        store = std::move(WrittenStore);
    }
    return true;
}

} // namespace

bool ReadStore(const char* path, IniDocument& store)
{
    std::string bytes;
    return ReadStoreFile(path, bytes, store);
}

bool LoadStore(const char* path, StoredSettings& settings, StoredRun& run)
{
    IniDocument store;
    UnreadAtStart = !ReadStore(path, store);
    WrittenKnown = false;
    FirstCounted = !UnreadAtStart;
    First = 0;
    BackupMade = false;
    settings = ReadSettings(store);
    run = StoredNotes(store, FileCharset);
    Shown = run;
    return !UnreadAtStart;
}

void NoteShownAs(unsigned place, const StoredNote& shown)
{
    if (place < Shown.size() && Shown[place])
        Shown[place] = shown;
}

void StopLoadingAt(unsigned place)
{
    if (place < Shown.size())
        Shown.resize(place);
}

bool SaveStore(const char* path, const StoredSettings& settings, bool replaceSettings,
               const std::vector<NoteToSave>& notes, std::vector<unsigned>& places)
{
    // A store that is there but cannot be read is not replaced: what it holds
    // besides the notes would be lost.
    std::string old;
    IniDocument store;
    if (!ReadStoreForSave(path, old, store))
        return false;
    const unsigned first = FirstCounted ? First : static_cast<unsigned>(StoredNotes(store).size());
    PutSettings(store, settings, replaceSettings);
    SavedRun saved = PutNotes(store, notes, Shown, first, FileCharset);
    const std::string bytes = EncodeStoreBytes(store.Serialize(), Encoding);
    // An unchanged store is left alone, and its backup keeps the last version
    // that differed.
    if (bytes != old) {
        if (!WriteStoreFile(path, bytes, !BackupMade))
            return false;
        BackupMade = true;
    }
    WrittenBytes = bytes;
    WrittenStore = std::move(store);
    WrittenKnown = true;
    First = first;
    FirstCounted = true;
    Shown = std::move(saved.shown);
    places = std::move(saved.placeOf);
    return true;
}
