#include "store/note_codec.h"

#include <algorithm>
#include <optional>

#include "base/ascii_case.h"
#include "base/note_limits.h"
#include "store/line_breaks.h"

namespace {

const char OptionsSection[] = "OPZIONI";
const char WidthKey[] = "LARGHEZZA";
const char HeightKey[] = "ALTEZZA";
const char ColorKey[] = "COLORE";
const char TitleKey[] = "TITOLO";
const char MessageKey[] = "MESSAGE";
const char AudioKey[] = "AUDIO";
const char IdentityKey[] = "IDENTITA";
const char VersionKey[] = "VERSIONE";
const char OriginKey[] = "ORIGINE";
const char DeletedSection[] = "ELIMINATI";

// What the edit field holds; a longer stored text stays whole in the file
// until the user changes the note.
constexpr std::size_t LongestLoadedText = NoteTextLimit;

// While the notes are renumbered, the sections they come from wait under a
// name that is no number and that the file does not use.
std::string WaitingName(const IniDocument& store, std::size_t s)
{
    std::string name = "~attesa~" + std::to_string(s);
    while (store.HasSection(name))
        name.insert(0, 1, '~');
    return name;
}

bool IsAudioSentinel(const std::string& value)
{
    return value.size() == 2 && (value[0] == 'n' || value[0] == 'N') && (value[1] == 'f' || value[1] == 'F');
}

// The setting as the profile functions read it; nothing when it is missing or
// is no number at all (which they would read as 0).
std::optional<int> StoredNumber(const IniDocument& store, const char* key)
{
    const std::optional<std::string> value = store.Get(OptionsSection, key);
    if (!value)
        return std::nullopt;
    std::size_t digit = 0;
    while (digit < value->size() && static_cast<unsigned char>((*value)[digit]) <= ' ')
        ++digit;
    if (digit < value->size() && ((*value)[digit] == '-' || (*value)[digit] == '+'))
        ++digit;
    if (digit == value->size() || (*value)[digit] < '0' || (*value)[digit] > '9')
        return std::nullopt;
    return store.GetInt(OptionsSection, key, 0);
}

int StoredNoteSize(const IniDocument& store, const char* key, int defaultSize)
{
    const int size = StoredNumber(store, key).value_or(defaultSize);
    return size <= 0 ? SmallestNoteSize : std::min(size, LargestWindowExtent);
}

// "0" or a number without leading zeros: the names loading asks for.
std::optional<unsigned long long> SectionNumber(std::string_view name)
{
    if (name.empty() || name.size() > 18 || (name[0] == '0' && name.size() > 1))
        return std::nullopt;
    unsigned long long number = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

// Numbered sections from `first` on that loading did not reach keep their
// numbers, unless the `count` notes saved now need one of them: then they all
// move up together, gaps and order kept, so that the lowest lands above
// first + count and they stay beyond a gap, never to be taken for notes nor
// written over.
void MoveUnreachedSections(IniDocument& store, unsigned first, unsigned count)
{
    std::vector<unsigned long long> numbers;
    for (const std::string& name : store.SectionNames())
        if (std::optional<unsigned long long> number = SectionNumber(name))
            if (*number >= first)
                numbers.push_back(*number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    const unsigned long long end = static_cast<unsigned long long>(first) + count;
    if (numbers.empty() || numbers.front() > end)
        return;
    const unsigned long long shift = end + 1 - numbers.front();
    // Highest first: each goes to a number that is free by then.
    for (auto number = numbers.rbegin(); number != numbers.rend(); ++number)
        store.RenameSection(std::to_string(*number), std::to_string(*number + shift));
}

std::string Unchanged(std::string_view text)
{
    return std::string(text);
}

} // namespace

const TextCharset AnsiCharset{Unchanged, Unchanged};

bool SameContent(const StoredNote& a, const StoredNote& b)
{
    return a.title == b.title && a.text == b.text && a.voicePath == b.voicePath;
}

bool SameStored(const StoredNote& a, const StoredNote& b)
{
    return SameContent(a, b) && a.id == b.id && a.version == b.version && a.origin == b.origin;
}

bool HasIdentities(const IniDocument& store)
{
    if (store.HasSection(DeletedSection) || store.Get(OptionsSection, VersionKey))
        return true;
    for (unsigned i = 0; store.HasSection(std::to_string(i)); ++i)
        if (store.Get(std::to_string(i), IdentityKey))
            return true;
    return false;
}

Deletions ReadDeletions(const IniDocument& store)
{
    Deletions deletions;
    for (const std::string& key : store.KeyNames(DeletedSection)) {
        const std::string id = LowerAscii(key);
        const std::string value = store.Get(DeletedSection, key).value_or("");
        const std::size_t blank = value.find(' ');
        const std::optional<long> day = ParseDay(std::string_view(value).substr(0, blank));
        const std::optional<Version> version = blank == std::string::npos
                                                   ? std::optional<Version>(Version())
                                                   : ParseVersion(value.substr(blank + 1));
        if (IsIdentity(id) && day && version)
            deletions.emplace_back(id, Deletion{*version, *day});
    }
    std::sort(deletions.begin(), deletions.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    deletions.erase(std::unique(deletions.begin(), deletions.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    deletions.end());
    return deletions;
}

void PutDeletions(IniDocument& store, const Deletions& deletions)
{
    if (ReadDeletions(store) == deletions && (!deletions.empty() || !store.HasSection(DeletedSection)))
        return;
    store.RemoveSection(DeletedSection);
    for (const auto& deleted : deletions)
        store.Set(DeletedSection, deleted.first,
                  FormatDay(deleted.second.day) + ' ' + FormatVersion(deleted.second.version));
}

std::optional<Version> ReadSettingsVersion(const IniDocument& store)
{
    const std::optional<std::string> text = store.Get(OptionsSection, VersionKey);
    return text ? ParseVersion(*text) : std::nullopt;
}

void PutSettingsVersion(IniDocument& store, const Version& version)
{
    if (ReadSettingsVersion(store).value_or(Version()) != version)
        store.Set(OptionsSection, VersionKey, FormatVersion(version));
}

bool EndsMidNote(std::string_view text, const IniDocument& store)
{
    // The last numbered section of the file holds its last note.
    std::string last;
    for (const std::string& name : store.SectionNames())
        if (SectionNumber(name))
            last = name;
    if (last.empty() || !store.Get(last, TitleKey))
        return false;
    if (!store.Get(last, AudioKey))
        return true;
    bool identified = false;
    for (unsigned i = 0; store.HasSection(std::to_string(i)) && !identified; ++i)
        identified = std::to_string(i) != last && store.Get(std::to_string(i), IdentityKey).has_value();
    if (identified && (!store.Get(last, IdentityKey) || !store.Get(last, VersionKey)))
        return true;
    if (text.empty() || text.back() == '\n' || text.back() == '\r' || !HasIdentities(store))
        return false;
    // The header the last line stands under: the last note's, or the file
    // ends in another section.
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t start = text.find_last_of("\r\n", end - 1);
        const std::size_t from = start == std::string_view::npos ? 0 : start + 1;
        std::string_view line = text.substr(from, end - from);
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        const std::size_t close = line.rfind(']');
        if (!line.empty() && line[0] == '[' && close != std::string_view::npos)
            return end != text.size() && line.substr(1, close - 1) == last;
        if (start == std::string_view::npos)
            break;
        end = start;
    }
    return false;
}

StoredSettings ReadSettings(const IniDocument& store)
{
    StoredSettings settings;
    settings.width = StoredNoteSize(store, WidthKey, DefaultNoteWidth);
    settings.height = StoredNoteSize(store, HeightKey, DefaultNoteHeight);
    const int color = StoredNumber(store, ColorKey).value_or(static_cast<int>(DefaultNoteColor));
    settings.color = static_cast<unsigned long>(static_cast<unsigned>(color)) & 0x00FFFFFFul;
    return settings;
}

SettingsOnDisk ReadSettingsOnDisk(const IniDocument& store)
{
    const StoredSettings read = ReadSettings(store);
    SettingsOnDisk disk;
    if (store.Get(OptionsSection, WidthKey))
        disk.width = read.width;
    if (store.Get(OptionsSection, HeightKey))
        disk.height = read.height;
    if (store.Get(OptionsSection, ColorKey))
        disk.color = read.color;
    return disk;
}

void PutSettings(IniDocument& store, const StoredSettings& settings)
{
    const StoredSettings stored = ReadSettings(store);
    auto put = [&](const char* key, long long value, bool same) {
        if (!same || !store.Get(OptionsSection, key))
            store.Set(OptionsSection, key, std::to_string(value));
    };
    put(WidthKey, settings.width, stored.width == settings.width);
    put(HeightKey, settings.height, stored.height == settings.height);
    // The colour taken as one signed 32-bit number, as it has always been stored.
    const auto color = static_cast<unsigned>(settings.color);
    put(ColorKey,
        color <= 0x7fffffffu ? static_cast<long long>(color) : static_cast<long long>(color) - 0x100000000ll,
        stored.color == settings.color);
}

StoredRun StoredNotes(const IniDocument& store, const TextCharset& charset)
{
    StoredRun run;
    for (unsigned i = 0;; ++i) {
        const std::string section = std::to_string(i);
        if (!store.HasSection(section))
            break;
        // A title "nf" is a title; a section without one (emptied or damaged
        // by hand) is no note, and the notes after it are still notes.
        const std::optional<std::string> stored = store.Get(section, TitleKey);
        if (!stored) {
            run.emplace_back();
            continue;
        }
        std::string title = charset.toNote(*stored);
        title.resize(std::min(title.size(), static_cast<std::size_t>(TitleCapacity - 1)));
        // "nf" in any letter case stands for no voice message.
        std::string voicePath = charset.toNote(store.Get(section, AudioKey).value_or(""));
        if (IsAudioSentinel(voicePath))
            voicePath.clear();
        StoredNote note{std::move(title),
                        DecodeText(charset.toNote(store.Get(section, MessageKey).value_or(""))),
                        std::move(voicePath), std::string(), Version()};
        // A damaged identity is none: the note is matched by its content.
        const std::string id = store.Get(section, IdentityKey).value_or("");
        if (IsIdentity(id)) {
            const std::optional<Version> version = ParseVersion(store.Get(section, VersionKey).value_or(""));
            if (version) {
                note.id = id;
                note.version = *version;
                const std::string origin = store.Get(section, OriginKey).value_or("");
                if (IsIdentity(origin))
                    note.origin = origin;
            }
        }
        run.emplace_back(std::move(note));
    }
    return run;
}

SavedRun PutNotes(IniDocument& store, const std::vector<NoteToSave>& notes, const StoredRun& shown,
                  unsigned first, const TextCharset& charset)
{
    // Which note comes from each place; the first that claims it.
    std::vector<int> noteAt(shown.size(), -1);
    std::vector<bool> placed(notes.size(), false);
    for (std::size_t n = 0; n < notes.size(); ++n) {
        const int from = notes[n].place;
        if (from >= 0 && static_cast<std::size_t>(from) < shown.size() &&
            shown[static_cast<std::size_t>(from)] && noteAt[static_cast<std::size_t>(from)] < 0) {
            noteAt[static_cast<std::size_t>(from)] = static_cast<int>(n);
            placed[n] = true;
        }
    }

    // The run afterwards, in order: each old place that stays (a place without
    // a note, or one whose note is written), then the new notes.
    struct Entry {
        int note; // index into notes; -1 for a place that holds no note
        int from; // its old place; -1 for a new note
        std::string waiting;
    };
    std::vector<Entry> entries;
    for (std::size_t s = 0; s < shown.size(); ++s) {
        const std::string name = std::to_string(first + s);
        if (shown[s] && noteAt[s] < 0) {
            store.RemoveSection(name); // its note is gone
            continue;
        }
        Entry entry{shown[s] ? noteAt[s] : -1, static_cast<int>(s), WaitingName(store, s)};
        store.RenameSection(name, entry.waiting);
        entries.push_back(std::move(entry));
    }
    for (std::size_t n = 0; n < notes.size(); ++n)
        if (!placed[n])
            entries.push_back(Entry{static_cast<int>(n), -1, std::string()});
    MoveUnreachedSections(store, first, static_cast<unsigned>(entries.size()));

    SavedRun saved;
    saved.placeOf.resize(notes.size());
    for (std::size_t place = 0; place < entries.size(); ++place) {
        const Entry& entry = entries[place];
        const std::string section = std::to_string(first + place);
        if (entry.from >= 0)
            store.RenameSection(entry.waiting, section);
        if (entry.note < 0) {
            saved.shown.emplace_back();
            continue;
        }
        const NoteToSave& note = notes[static_cast<std::size_t>(entry.note)];
        const StoredNote* was = entry.from >= 0 ? &*shown[static_cast<std::size_t>(entry.from)] : nullptr;
        // Written where the user changed it, or where the key is missing:
        // without a TITOLO the section would hold no note.
        auto put = [&](const char* key, const std::string& now, const std::string* before,
                       const std::string& stored) {
            if (!before || *before != now || !store.Get(section, key))
                store.Set(section, key, stored);
        };
        put(TitleKey, note.now.title, was ? &was->title : nullptr, charset.toStore(note.now.title));
        put(MessageKey, note.now.text, was ? &was->text : nullptr,
            charset.toStore(EncodeText(note.now.text)));
        put(AudioKey, note.now.voicePath, was ? &was->voicePath : nullptr,
            charset.toStore(note.now.voicePath));
        if (!note.now.id.empty()) {
            const std::string version = FormatVersion(note.now.version);
            if (store.Get(section, IdentityKey) != note.now.id)
                store.Set(section, IdentityKey, note.now.id);
            if (store.Get(section, VersionKey) != version)
                store.Set(section, VersionKey, version);
            if (!note.now.origin.empty() && store.Get(section, OriginKey) != note.now.origin)
                store.Set(section, OriginKey, note.now.origin);
        }
        saved.placeOf[static_cast<std::size_t>(entry.note)] = static_cast<int>(place);
        saved.shown.emplace_back(note.now);
    }
    return saved;
}

std::string DecodeText(std::string text)
{
    ConvertLineBreaks(text.data(), 0);
    if (text.size() > LongestLoadedText) {
        std::size_t cut = LongestLoadedText;
        if (text[cut - 1] == '\r' && text[cut] == '\n')
            --cut; // a lone CR would come back as a second line break
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
