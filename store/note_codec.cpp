#include "store/note_codec.h"

#include <algorithm>
#include <optional>

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
    return std::clamp(StoredNumber(store, key).value_or(defaultSize), SmallestNoteSize, LargestNoteSize);
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

StoredSettings ReadSettings(const IniDocument& store)
{
    StoredSettings settings;
    settings.width = StoredNoteSize(store, WidthKey, DefaultNoteWidth);
    settings.height = StoredNoteSize(store, HeightKey, DefaultNoteHeight);
    const int color = StoredNumber(store, ColorKey).value_or(static_cast<int>(DefaultNoteColor));
    settings.color = static_cast<unsigned long>(static_cast<unsigned>(color)) & 0x00FFFFFFul;
    return settings;
}

void PutSettings(IniDocument& store, const StoredSettings& settings)
{
    store.Set(OptionsSection, WidthKey, std::to_string(settings.width));
    store.Set(OptionsSection, HeightKey, std::to_string(settings.height));
    // The colour taken as one signed 32-bit number, as it has always been stored.
    const auto color = static_cast<unsigned>(settings.color);
    const long long asSigned =
        color <= 0x7fffffffu ? static_cast<long long>(color) : static_cast<long long>(color) - 0x100000000ll;
    store.Set(OptionsSection, ColorKey, std::to_string(asSigned));
}

std::vector<StoredNote> StoredNotes(const IniDocument& store, const TextCharset& charset)
{
    std::vector<StoredNote> notes;
    for (unsigned i = 0;; ++i) {
        // Only a missing TITOLO (or section) ends the list: a title "nf" is a title.
        const std::string section = std::to_string(i);
        const std::optional<std::string> stored = store.Get(section, TitleKey);
        if (!stored)
            break;
        std::string title = charset.toNote(*stored);
        title.resize(std::min(title.size(), static_cast<std::size_t>(TitleCapacity - 1)));
        // "nf" in any letter case stands for no voice message.
        std::string voicePath = charset.toNote(store.Get(section, AudioKey).value_or(""));
        if (IsAudioSentinel(voicePath))
            voicePath.clear();
        notes.push_back(StoredNote{std::move(title),
                                   DecodeText(charset.toNote(store.Get(section, MessageKey).value_or(""))),
                                   std::move(voicePath)});
    }
    return notes;
}

void PutNotes(IniDocument& store, const std::vector<NoteToSave>& notes, const std::vector<StoredNote>& shown,
              unsigned first, const TextCharset& charset)
{
    std::vector<bool> kept(shown.size(), false);
    for (const NoteToSave& note : notes)
        if (note.from >= 0 && static_cast<std::size_t>(note.from) < shown.size())
            kept[static_cast<std::size_t>(note.from)] = true;
    std::vector<std::string> waiting(shown.size());
    for (std::size_t s = 0; s < shown.size(); ++s) {
        const std::string name = std::to_string(first + s);
        if (kept[s]) {
            waiting[s] = WaitingName(store, s);
            store.RenameSection(name, waiting[s]);
        } else {
            store.RemoveSection(name);
        }
    }
    MoveUnreachedSections(store, first, static_cast<unsigned>(notes.size()));

    unsigned index = first;
    for (const NoteToSave& note : notes) {
        const std::string section = std::to_string(index++);
        const StoredNote* was = nullptr;
        if (note.from >= 0 && static_cast<std::size_t>(note.from) < shown.size()) {
            was = &shown[static_cast<std::size_t>(note.from)];
            store.RenameSection(waiting[static_cast<std::size_t>(note.from)], section);
        }
        // Written where the user changed it, or where the key is missing:
        // without a TITOLO the list of notes would end here.
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
    }
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
