#include "store/note_store.h"

#include <string>

#include "store/store_file.h"

namespace {

// Sections "0" up to this count were loaded as notes: the notes of the run
// replace them at the next save. Other numbered sections are the user's too,
// unreached.
unsigned LoadedNoteSections;

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
    const bool read = ReadStore(path, store);
    settings = ReadSettings(store);
    notes = StoredNotes(store);
    LoadedNoteSections = static_cast<unsigned>(notes.size());
    return read;
}

void StopLoadingAt(unsigned count)
{
    if (count < LoadedNoteSections)
        LoadedNoteSections = count;
}

bool SaveStore(const char* path, const StoredSettings& settings, const std::vector<StoredNote>& notes)
{
    // A store that is there but cannot be read is not replaced: what it holds
    // besides the notes would be lost.
    std::string old;
    if (ReadWholeFile(path, old) == FileRead::Failed)
        return false;
    IniDocument store = IniDocument::Parse(old);
    PutSettings(store, settings);
    PutNotes(store, notes, LoadedNoteSections);
    const std::string bytes = store.Serialize();
    // An unchanged store is left alone, and its backup keeps the last version
    // that differed.
    if (bytes != old && !WriteStoreFile(path, bytes))
        return false;
    LoadedNoteSections = static_cast<unsigned>(notes.size());
    return true;
}
