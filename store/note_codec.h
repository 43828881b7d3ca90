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
std::vector<StoredNote> StoredNotes(const IniDocument& store);

// Replaces the first `loadedSections` note sections with `notes`, as sections
// "0" up to notes.size() - 1. Numbered sections that loading did not reach
// keep their numbers, or move up together past the new notes when those need
// their numbers, so that they are neither taken for notes nor written over.
void PutNotes(IniDocument& store, const std::vector<StoredNote>& notes, unsigned loadedSections);

// A note's text for the store: one line, every line break as "#@" (a lone CR
// or LF counts as the line break it shows as).
std::string EncodeText(std::string_view text);
// A stored text with its line breaks back, cut to what a note can show.
std::string DecodeText(std::string text);

#endif
