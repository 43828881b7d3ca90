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

// A text the program wrote is at most the edit's limit, each lone line break
// in it stored as a pair: twice the limit brings every such text back whole,
// and bounds what a value made by hand can put into a note.
constexpr std::size_t LongestLoadedText = 2 * NoteTextLimit;

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

// Numbered sections that loading did not reach keep their numbers, unless the
// `count` notes saved now need one of them: then they all move up together,
// gaps and order kept, so that the lowest lands above `count` and they stay
// beyond a gap, never to be taken for notes nor written over.
void MoveUnreachedSections(IniDocument& store, unsigned count)
{
    std::vector<unsigned long long> numbers;
    for (const std::string& name : store.SectionNames())
        if (std::optional<unsigned long long> number = SectionNumber(name))
            numbers.push_back(*number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty() || numbers.front() > count)
        return;
    const unsigned long long shift = count + 1 - numbers.front();
    // Highest first: each goes to a number that is free by then.
    for (auto number = numbers.rbegin(); number != numbers.rend(); ++number)
        store.RenameSection(std::to_string(*number), std::to_string(*number + shift));
}

} // namespace

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

std::vector<StoredNote> StoredNotes(const IniDocument& store)
{
    std::vector<StoredNote> notes;
    for (unsigned i = 0;; ++i) {
        // Only a missing TITOLO (or section) ends the list: a title "nf" is a title.
        const std::string section = std::to_string(i);
        std::optional<std::string> title = store.Get(section, TitleKey);
        if (!title)
            break;
        title->resize(std::min(title->size(), static_cast<std::size_t>(TitleCapacity - 1)));
        notes.push_back(StoredNote{std::move(*title), DecodeText(store.Get(section, MessageKey).value_or("")),
                                   store.Get(section, AudioKey).value_or("")});
    }
    return notes;
}

void PutNotes(IniDocument& store, const std::vector<StoredNote>& notes, unsigned loadedSections)
{
    for (unsigned i = 0; i < loadedSections; ++i)
        store.RemoveSection(std::to_string(i));
    MoveUnreachedSections(store, static_cast<unsigned>(notes.size()));
    unsigned index = 0;
    for (const StoredNote& note : notes) {
        const std::string section = std::to_string(index++);
        store.Set(section, TitleKey, note.title);
        store.Set(section, MessageKey, EncodeText(note.text));
        store.Set(section, AudioKey, note.voicePath);
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
