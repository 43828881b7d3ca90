// The store's content to and from its INI document: the settings in
// [OPZIONI] (LARGHEZZA, ALTEZZA, COLORE as decimal text) and the notes in the
// sections "0", "1", ... up to the first number without a TITOLO key, each
// with TITOLO, MESSAGE (line breaks as "#@") and AUDIO. Whatever else the
// document holds is left as it is. No windows here: tested natively.
#ifndef APPUNTELLO_STORE_NOTE_CODEC_H
#define APPUNTELLO_STORE_NOTE_CODEC_H

#include <string>
#include <string_view>
#include <vector>

#include "store/ini_document.h"

// How the document's text maps to the notes' ANSI text and back; a store
// saved as Unicode holds UTF-8 text. Identity for an ANSI store.
struct TextCharset {
    std::string (*toNote)(std::string_view stored);
    std::string (*toStore)(std::string_view note);
};
extern const TextCharset AnsiCharset;

struct StoredSettings {
    int width;
    int height;
    unsigned long color; // 0x00BBGGRR
};

// A note as the store holds it, its text with real line breaks.
struct StoredNote {
    std::string title;
    std::string text;
    std::string voicePath;
};

// The settings, each missing or unreadable one at its default; sizes are kept
// within what the Options dialog offers, the colour within 24 bits.
StoredSettings ReadSettings(const IniDocument& store);
void PutSettings(IniDocument& store, const StoredSettings& settings);

// The notes that loading recreates, in order: the run of sections from "0"
// that have a TITOLO.
std::vector<StoredNote> StoredNotes(const IniDocument& store, const TextCharset& charset = AnsiCharset);

// A note to write: what it holds now, and the place in the run's sections
// (see PutNotes) it was loaded from or last written to; -1 for a new note.
struct NoteToSave {
    StoredNote now;
    int from = -1;
};

// Writes the notes as the sections first, first + 1, ... in order. The run's
// sections before the call are first, first + 1, ... first + shown.size() - 1,
// and shown[s] is what the note of section first + s showed when it was loaded
// or last written. Each note keeps its old section's other lines (under its
// new number); its title, text and voice path are written only where they
// differ from what the section showed or are missing, so that a value the
// note could not show whole (cut at load) stays as it was stored. The run's
// sections that no note comes from are removed with all their lines. Numbered
// sections from `first` on that are not the run's keep their numbers, or move
// up together past the notes when those need their numbers, so that they are
// neither taken for notes nor written over.
void PutNotes(IniDocument& store, const std::vector<NoteToSave>& notes, const std::vector<StoredNote>& shown,
              unsigned first, const TextCharset& charset = AnsiCharset);

// A note's text for the store: one line, every line break as "#@" (a lone CR
// or LF counts as the line break it shows as).
std::string EncodeText(std::string_view text);
// A stored text with its line breaks back, cut to what a note's edit field holds.
std::string DecodeText(std::string text);

#endif
