#include "store/note_store.h"

#include <string>

#include "store/store_file.h"

namespace {

// The run's note sections are First, First + 1, ...: what each one showed as
// a note when it was loaded or last written. First is 0 unless the store could
// not be read at start: the run's notes then go after the stored ones, which
// the first save counts.
std::vector<StoredNote> Shown;
unsigned First;
bool UnreadAtStart;
bool FirstCounted;
// The backup keeps the store as the run found it: only the run's first write
// makes one, so that it still holds the last session's notes after a mistake.
bool BackupMade;

} // namespace

bool ReadStore(const char* path, IniDocument& store)
{
    std::string bytes;
    const FileRead result = ReadWholeFile(path, bytes);
    store = IniDocument::Parse(bytes);
    return result != FileRead::Failed;
}

bool LoadStore(const char* path, StoredSettings& settings, std::vector<StoredNote>& notes)
{
    IniDocument store;
    UnreadAtStart = !ReadStore(path, store);
    FirstCounted = !UnreadAtStart;
    First = 0;
    BackupMade = false;
    settings = ReadSettings(store);
    notes = StoredNotes(store);
    Shown = notes;
    return !UnreadAtStart;
}

void NoteShownAs(unsigned index, const StoredNote& shown)
{
    if (index < Shown.size())
        Shown[index] = shown;
}

void StopLoadingAt(unsigned count)
{
    if (count < Shown.size())
        Shown.resize(count);
}

bool StoreUnreadAtStart()
{
    return UnreadAtStart;
}

bool SaveStore(const char* path, const StoredSettings* settings, const std::vector<NoteToSave>& notes)
{
    // A store that is there but cannot be read is not replaced: what it holds
    // besides the notes would be lost.
    std::string old;
    if (ReadWholeFile(path, old) == FileRead::Failed)
        return false;
    IniDocument store = IniDocument::Parse(old);
    const unsigned first = FirstCounted ? First : static_cast<unsigned>(StoredNotes(store).size());
    if (settings)
        PutSettings(store, *settings);
    PutNotes(store, notes, Shown, first);
    const std::string bytes = store.Serialize();
    // An unchanged store is left alone, and its backup keeps the last version
    // that differed.
    if (bytes != old) {
        if (!WriteStoreFile(path, bytes, !BackupMade))
            return false;
        BackupMade = true;
    }
    First = first;
    FirstCounted = true;
    Shown.clear();
    for (const NoteToSave& note : notes)
        Shown.push_back(note.now);
    return true;
}
