#include "store/note_store.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "app/controller.h"
#include "app/startup.h"
#include "app/win_handles.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "res/resource.h"
#include "store/line_breaks.h"
#include "voice/voice.h"

void (*SaveStepHook)(SaveStep step);

namespace {

const char OptionsSection[] = "OPZIONI";
const char WidthKey[] = "LARGHEZZA";
const char HeightKey[] = "ALTEZZA";
const char ColorKey[] = "COLORE";
const char TitleKey[] = "TITOLO";
const char MessageKey[] = "MESSAGE";
const char AudioKey[] = "AUDIO";

constexpr int DefaultWidth = 160;
constexpr int DefaultHeight = 120;
constexpr int DefaultColor = 0x0000FFFF;
constexpr int SmallestNoteSize = 40;
constexpr int LargestNoteSize = 480;

// A text the program wrote is at most the edit's limit, each lone line break
// in it stored as a pair: twice the limit brings every such text back whole,
// and bounds what a value made by hand can put into a note.
constexpr std::size_t LongestLoadedText = 2 * NoteTextLimit;

// Far beyond any store of notes; a larger file would only exhaust memory.
constexpr LONGLONG LargestStoreFile = 64 * 1024 * 1024;
constexpr std::size_t WritePiece = 64 * 1024;

// Sections "0" up to this count were loaded as notes: the notes now open
// replace them. Other numbered sections are the user's too, unreached.
unsigned LoadedNoteSections;

void Step(SaveStep step)
{
    if (SaveStepHook) {
        SaveStepHook(step);
    }
}

// ---- Settings ----

// The setting as the profile functions read it; nothing when it is missing or
// is no number at all (which they would read as 0).
std::optional<int> StoredNumber(const IniDocument& store, const char* key)
{
    const std::optional<std::string> value = store.Get(OptionsSection, key);
    if (!value) {
        return std::nullopt;
    }
    std::size_t digit = 0;
    while (digit < value->size() && static_cast<unsigned char>((*value)[digit]) <= ' ') {
        ++digit;
    }
    if (digit < value->size() && ((*value)[digit] == '-' || (*value)[digit] == '+')) {
        ++digit;
    }
    if (digit == value->size() || (*value)[digit] < '0' || (*value)[digit] > '9') {
        return std::nullopt;
    }
    return store.GetInt(OptionsSection, key, 0);
}

int StoredNoteSize(const IniDocument& store, const char* key, int defaultSize)
{
    return std::clamp(StoredNumber(store, key).value_or(defaultSize), SmallestNoteSize, LargestNoteSize);
}

COLORREF StoredColor(const IniDocument& store)
{
    return static_cast<COLORREF>(StoredNumber(store, ColorKey).value_or(DefaultColor)) & 0x00FFFFFF;
}

void PutSettings(IniDocument& store)
{
    store.Set(OptionsSection, WidthKey, std::to_string(NoteWidth));
    store.Set(OptionsSection, HeightKey, std::to_string(NoteHeight));
    // COLORREF taken as one signed 32-bit number, as it has always been stored.
    store.Set(OptionsSection, ColorKey, std::to_string(static_cast<LONG>(NoteColor)));
}

// ---- Notes ----

std::string DecodeText(std::string text)
{
    ConvertLineBreaks(text.data(), 0);
    if (text.size() > LongestLoadedText) {
        std::size_t cut = LongestLoadedText;
        if (text[cut - 1] == '\r' && text[cut] == '\n') {
            --cut; // a lone CR would come back as a second line break
        }
        text.resize(cut);
    }
    return text;
}

// No raw CR or LF may reach the file, where it would end the value (or start a
// section): a lone one is kept as the line break it shows as.
std::string EncodeText(std::string_view text)
{
    std::string encoded = PairLoneLineBreaks(text);
    ConvertLineBreaks(encoded.data(), 1);
    return encoded;
}

std::string NoteText(HWND edit)
{
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

// A new note with the stored title, text and voice path; nullptr when it could
// not be made whole (its section then stays in the file, unreached).
HWND RecreateNote(const StoredNote& stored)
{
    HWND note = CreateNoteWindow(stored.title.c_str());
    if (!note) {
        return nullptr;
    }
    // The note just made is the registry's newest.
    if (!SetWindowTextA(NoteListHead->edit, stored.text.c_str()) ||
        !SetNoteVoicePath(note, stored.voicePath.c_str())) {
        DestroyWindow(note);
        return nullptr;
    }
    return note;
}

// "0" or a number without leading zeros: the names loading asks for.
std::optional<unsigned long long> SectionNumber(std::string_view name)
{
    if (name.empty() || name.size() > 18 || (name[0] == '0' && name.size() > 1)) {
        return std::nullopt;
    }
    unsigned long long number = 0;
    for (char c : name) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

// Numbered sections that loading did not reach keep their numbers, unless the
// `count` notes saved now need one of them: then they all move up together,
// gaps and order kept, so that the lowest lands above `count` and they stay
// beyond a gap, never to be taken for notes nor written over.
void MoveUnreachedSections(IniDocument& store, unsigned count)
{
    std::vector<unsigned long long> numbers;
    for (const std::string& name : store.SectionNames()) {
        if (std::optional<unsigned long long> number = SectionNumber(name)) {
            numbers.push_back(*number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty() || numbers.front() > count) {
        return;
    }
    const unsigned long long shift = count + 1 - numbers.front();
    // Highest first: each goes to a number that is free by then.
    for (auto number = numbers.rbegin(); number != numbers.rend(); ++number) {
        store.RenameSection(std::to_string(*number), std::to_string(*number + shift));
    }
}

// Replaces the loaded note sections with the open notes, in the order they
// were created, so that order, cascade and ids come back the same. Only the
// registry's notes: a window of the same class may belong to another program.
unsigned PutNotes(IniDocument& store)
{
    for (unsigned i = 0; i < LoadedNoteSections; ++i) {
        store.RemoveSection(std::to_string(i));
    }
    NoteNode* oldest = NoteListHead;
    unsigned count = 0;
    for (NoteNode* node = NoteListHead; node; node = node->next) {
        oldest = node;
        ++count;
    }
    MoveUnreachedSections(store, count);
    unsigned index = 0;
    for (NoteNode* node = oldest; node; node = node->prev) {
        SaveNote(store, *node, index++);
    }
    return index;
}

// ---- The file ----

enum class FileRead { Read, Missing, Failed };

FileRead ReadWholeFile(const char* path, std::string& bytes)
{
    bytes.clear();
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                              : FileRead::Failed;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > LargestStoreFile) {
        return FileRead::Failed;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
            return FileRead::Failed;
        }
        if (read == 0) {
            break; // shorter than it said
        }
        done += read;
    }
    bytes.resize(done);
    return FileRead::Read;
}

bool WriteTempFile(const std::string& temp, const std::string& bytes)
{
    {
        UniqueHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            return false;
        }
        Step(SaveStep::TempCreated);
        for (std::size_t done = 0; done < bytes.size();) {
            const DWORD piece = static_cast<DWORD>(std::min(WritePiece, bytes.size() - done));
            DWORD written = 0;
            if (!WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written != piece) {
                return false; // a full disk
            }
            done += piece;
            Step(SaveStep::TempWritten);
        }
        // On the disk before it takes the store's name: after a crash of the
        // system the renamed file could otherwise be empty.
        if (!FlushFileBuffers(file.get())) {
            return false;
        }
    }
    Step(SaveStep::TempFlushed);
    return true;
}

// The old store gets a second name: a hard link costs nothing, and file
// systems without links (FAT) get a copy. The backup only helps: a save goes
// on without it.
void KeepBackup(const std::string& path, const std::string& backup)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return; // no store yet: an older backup stays as it is
    }
    DeleteFileA(backup.c_str());
    Step(SaveStep::BackupRemoved);
    if (!CreateHardLinkA(backup.c_str(), path.c_str(), nullptr)) {
        CopyFileA(path.c_str(), backup.c_str(), FALSE);
    }
    Step(SaveStep::BackupMade);
}

// Replaces the store so that its name always holds either the whole old file
// or the whole new one, whatever ends the program or the system meanwhile:
// the new content is written and flushed to "<store>.tmp" in the same folder
// (so the same volume), the old store is linked as "<store>.bak", and one
// rename puts the new file in its place. ReplaceFileA is not used: Wine makes
// it two renames, the old file away and then the new one in, and between them
// there would be no store at all.
bool WriteStoreFile(const std::string& path, const std::string& bytes)
{
    const std::string temp = path + ".tmp";
    if (!WriteTempFile(temp, bytes)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    KeepBackup(path, path + ".bak");
    if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    Step(SaveStep::Replaced);
    return true;
}

void TellSaveFailed()
{
    const std::string message = std::string("Impossibile salvare gli appunti nel file\n") + StorePath;
    MessageBoxA(ControllerWindow, message.c_str(), "Attenzione", MB_OK | MB_ICONWARNING);
}

} // namespace

bool ReadStore(const char* path, IniDocument& store)
{
    std::string bytes;
    const FileRead result = ReadWholeFile(path, bytes);
    store = IniDocument::Parse(bytes);
    return result != FileRead::Failed;
}

std::vector<StoredNote> StoredNotes(const IniDocument& store)
{
    std::vector<StoredNote> notes;
    for (unsigned i = 0;; ++i) {
        // Only a missing TITOLO (or section) ends the list: a title "nf" is a title.
        const std::string section = std::to_string(i);
        std::optional<std::string> title = store.Get(section, TitleKey);
        if (!title) {
            break;
        }
        title->resize(std::min(title->size(), static_cast<std::size_t>(TitleCapacity - 1)));
        notes.push_back(StoredNote{std::move(*title), DecodeText(store.Get(section, MessageKey).value_or("")),
                                   store.Get(section, AudioKey).value_or("")});
    }
    return notes;
}

void LoadNotes()
{
    // An unreadable store starts the run empty; SaveAllNotes will not replace it.
    IniDocument store;
    if (StorePath[0] != '\0') {
        ReadStore(StorePath, store);
    }
    NoteWidth = StoredNoteSize(store, WidthKey, DefaultWidth);
    NoteHeight = StoredNoteSize(store, HeightKey, DefaultHeight);
    NoteColor = StoredColor(store);
    NoteBrush = CreateSolidBrush(NoteColor);

    LoadedNoteSections = 0;
    for (const StoredNote& stored : StoredNotes(store)) {
        HWND note = RecreateNote(stored);
        if (!note) {
            break;
        }
        ++LoadedNoteSections;
        // On screen and painted before its voice message holds the thread.
        UpdateWindow(note);
        if (!stored.voicePath.empty()) {
            PlayVoiceMessage(note, NoteVoicePath(note));
        }
    }
}

void SaveNote(IniDocument& store, const NoteNode& note, unsigned index)
{
    char title[TitleCapacity] = "";
    GetWindowTextA(note.window, title, sizeof title);
    const char* voicePath = NoteVoicePath(note.window);
    const std::string section = std::to_string(index);
    store.Set(section, TitleKey, title);
    store.Set(section, MessageKey, EncodeText(NoteText(note.edit)));
    store.Set(section, AudioKey, voicePath ? voicePath : "");
}

bool SaveAllNotes(bool askOnFailure)
{
    if (StorePath[0] == '\0') {
        return true;
    }
    // A store that is there but cannot be read is not replaced: what it holds
    // besides the notes would be lost.
    std::string old;
    bool saved = ReadWholeFile(StorePath, old) != FileRead::Failed;
    if (saved) {
        IniDocument store = IniDocument::Parse(old);
        PutSettings(store);
        const unsigned count = PutNotes(store);
        const std::string bytes = store.Serialize();
        // An unchanged store is left alone, and its backup keeps the last
        // version that differed.
        saved = bytes == old || WriteStoreFile(StorePath, bytes);
        if (saved) {
            LoadedNoteSections = count;
        }
    }
    if (!saved && askOnFailure) {
        TellSaveFailed();
    }
    return saved;
}
