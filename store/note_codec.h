// The store's content to and from its INI document: the settings in
// [OPZIONI] (LARGHEZZA, ALTEZZA, COLORE as decimal text) and the notes in the
// sections "0", "1", ... up to the first number that has no section, each
// with TITOLO, MESSAGE (line breaks as "#@") and AUDIO, and, since notes
// merge by who they are, IDENTITA and VERSIONE; the settings' own VERSIONE;
// and the notes deleted, in [ELIMINATI]. Every earlier version of the program
// reads such a file: it knows the three keys, keeps the lines it does not
// know, and may drop them. Whatever else the document holds is left as it
// is. No windows here: tested natively.
#ifndef APPUNTELLO_STORE_NOTE_CODEC_H
#define APPUNTELLO_STORE_NOTE_CODEC_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/note_limits.h"
#include "store/ini_document.h"
#include "store/note_version.h"

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

// A note as the store holds it, its text with real line breaks; its identity
// and version, where it has them (a note of an earlier version, or written
// by hand, has none).
struct StoredNote {
    std::string title;
    std::string text;
    std::string voicePath;
    std::string id = std::string();
    Version version = Version();
    // The second of two versions made apart takes an identity of its own and
    // keeps the first's here (ORIGINE), so that a copy holding a later
    // version of the same branch joins it.
    std::string origin = std::string();
};

// Title, text and voice path alike.
bool SameContent(const StoredNote& a, const StoredNote& b);
// Alike, and with the same identity and version.
bool SameStored(const StoredNote& a, const StoredNote& b);

// A note deleted: the version it had, and the day it was deleted (days since
// 1970-01-01), in [ELIMINATI] as "identity=2026-12-09 version".
struct Deletion {
    Version version;
    long day = 0;
    bool operator==(const Deletion& other) const { return version == other.version && day == other.day; }
};
using Deletions = std::vector<std::pair<std::string, Deletion>>; // ordered by identity

// Whether the file knows who its notes are: a note with an identity, the
// settings' version or the deleted notes' section. A file that does not
// (empty, of an earlier version, in the original format) merges by content.
bool HasIdentities(const IniDocument& store);
Deletions ReadDeletions(const IniDocument& store);
// Rewrites the section where it does not hold exactly these; removes it when
// there are none.
void PutDeletions(IniDocument& store, const Deletions& deletions);
// The settings' version; none when the file has none.
std::optional<Version> ReadSettingsVersion(const IniDocument& store);
void PutSettingsVersion(IniDocument& store, const Version& version);
// The last note section lacks a key every note section of the file has (its
// AUDIO, or its IDENTITA and VERSIONE where the others have them), or a file
// that knows identities, whose every line this program ends with a line
// break, ends without one inside its last note: a file cut off, or still
// being written.
bool EndsMidNote(std::string_view text, const IniDocument& store);

// The settings, each missing or unreadable one at its default. Sizes are used
// as stored; only one of 0 or less, or one no screen could show, is brought
// to the nearest size a note can have. The colour is kept within 24 bits.
StoredSettings ReadSettings(const IniDocument& store);
// The settings as a file holds them: a key it lacks is none.
struct SettingsOnDisk {
    std::optional<int> width;
    std::optional<int> height;
    std::optional<unsigned long> color;
};
SettingsOnDisk ReadSettingsOnDisk(const IniDocument& store);
// Writes the settings where the file lacks them or reads them as other
// values: a setting that reads as its value stays as it was written there (a
// hand-set "COLORE=-1" for white).
void PutSettings(IniDocument& store, const StoredSettings& settings);

// The run of numbered sections, from "0" up to the first number that has no
// section: place i is section first + i (first is 0 at load). A place whose
// section has no TITOLO (emptied or damaged by hand) holds no note: loading
// skips it and goes on, and saves keep it where it stands among the notes.
using StoredRun = std::vector<std::optional<StoredNote>>;

// The places of the run as loading finds them.
StoredRun StoredNotes(const IniDocument& store, const TextCharset& charset = AnsiCharset);

// A note's place among the store's notes before it has one.
constexpr int NotInStore = -1;

// A note to write: what it holds now, and its place in the run (see PutNotes)
// where it was loaded from or last written to; NotInStore for a new note.
struct NoteToSave {
    StoredNote now;
    int place = NotInStore;
};

// The run after a save: what each place shows, and where each note went.
struct SavedRun {
    StoredRun shown;
    std::vector<int> placeOf; // placeOf[n]: the place of notes[n]
};

// Writes the notes into the run that starts at section `first`. `shown` is the
// run before the call: shown[s] is what the note of section first + s showed
// when it was loaded or last written (nothing for a place that holds no note).
// The places keep their order: a note stays after the places before it, a
// place that holds no note stays where it is among the notes (renumbered only
// when notes before it went), the sections of notes no longer written are
// removed with all their lines, and new notes follow at the end. Each note
// keeps its old section's other lines; its title, text and voice path are
// written only where they differ from what the section showed or are missing,
// so that a value the note could not show whole (cut at load) stays as it was
// stored. Numbered sections from `first` on that are not the run's keep their
// numbers, or move up together past the run when it needs their numbers, so
// that they are neither taken for notes nor written over.
SavedRun PutNotes(IniDocument& store, const std::vector<NoteToSave>& notes, const StoredRun& shown,
                  unsigned first, const TextCharset& charset = AnsiCharset);

// A note's text for the store: one line, every line break as "#@" (a lone CR
// or LF counts as the line break it shows as).
std::string EncodeText(std::string_view text);
// A stored text with its line breaks back, cut to what a note's edit field holds.
std::string DecodeText(std::string text);

#endif
