#include "store/note_store.h"

#include <utility>

#include "store/store_file.h"

namespace {

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

} // namespace

bool ReadStore(const char* path, IniDocument& store)
{
    std::string bytes;
    const FileRead result = ReadWholeFile(path, bytes);
    Parse(bytes, store);
    return result != FileRead::Failed;
}

bool StoreSession::ReadFile(const char* path, std::string& bytes, IniDocument& store)
{
    const FileRead result = ReadWholeFile(path, bytes);
    encoding_ = Parse(bytes, store);
    return result != FileRead::Failed;
}

bool StoreSession::ReadForSave(const char* path, std::string& bytes, IniDocument& store)
{
    if (!writtenKnown_)
        return ReadFile(path, bytes, store);
    writtenKnown_ = false; // whatever happens next, the document is taken
    if (ReadWholeFile(path, bytes) == FileRead::Failed)
        return false;
    if (bytes != writtenBytes_)
        encoding_ = Parse(bytes, store);
    else
        store = std::move(writtenStore_);
    return true;
}

bool StoreSession::Load(const char* path, StoredSettings& settings, std::vector<LoadedNote>& notes)
{
    *this = StoreSession();
    std::string bytes;
    IniDocument store;
    const bool read = ReadFile(path, bytes, store);
    firstCounted_ = read;
    settings = ReadSettings(store);
    shown_ = StoredNotes(store, CharsetOf(encoding_));
    notes.clear();
    for (std::size_t place = 0; place < shown_.size(); ++place)
        if (shown_[place])
            notes.push_back(LoadedNote{static_cast<int>(place), *shown_[place]});
    return read;
}

void StoreSession::NotLoadedFrom(int place)
{
    if (place >= 0 && static_cast<std::size_t>(place) < shown_.size())
        shown_.resize(static_cast<std::size_t>(place));
}

bool StoreSession::Save(const char* path, const StoredSettings& settings, bool replaceSettings,
                        const std::vector<NoteToSave>& notes, std::vector<int>& places)
{
    // A store that is there but cannot be read is not replaced: what it holds
    // besides the notes would be lost.
    std::string old;
    IniDocument store;
    if (!ReadForSave(path, old, store))
        return false;
    const unsigned first = firstCounted_ ? first_ : static_cast<unsigned>(StoredNotes(store).size());
    PutSettings(store, settings, replaceSettings);
    SavedRun saved = PutNotes(store, notes, shown_, first, CharsetOf(encoding_));
    const std::string bytes = EncodeStoreBytes(store.Serialize(), encoding_);
    // An unchanged store is left alone, and its backup keeps the last version
    // that differed.
    if (bytes != old) {
        if (!WriteStoreFile(path, bytes, !backupMade_))
            return false;
        backupMade_ = true;
    }
    writtenBytes_ = bytes;
    writtenStore_ = std::move(store);
    writtenKnown_ = true;
    first_ = first;
    firstCounted_ = true;
    shown_ = std::move(saved.shown);
    places = std::move(saved.placeOf);
    return true;
}
