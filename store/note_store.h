// The note store: every note and the appearance settings, in the INI file
// at StorePath, read whole at start and written whole at exit.
//
// [OPZIONI] holds LARGHEZZA, ALTEZZA and COLORE as decimal text; the notes are
// the sections "0", "1", ... up to the first number without a TITOLO key, each
// with TITOLO, MESSAGE (line breaks as "#@") and AUDIO. Whatever else the file
// holds is carried over unchanged, and so are note sections that loading did
// not reach (beyond a gap in the numbering).
#ifndef APPUNTELLO_NOTE_STORE_H
#define APPUNTELLO_NOTE_STORE_H

#include <windows.h>

#include <string>
#include <vector>

#include "store/ini_document.h"

// Reads the settings, creates NoteBrush and recreates every stored note,
// playing each voice message to its end once its note is painted.
void LoadNotes();

// Writes every registered note (oldest first) and the settings; the notes stay
// open (the caller destroys them once they are safe). The new file replaces
// the old one in one step, and the old one is kept as "<store>.bak". Returns
// false when the store could not be written, the old file being left as it
// was; with askOnFailure the user is told so first.
// With no StorePath at all (a controller made without one) nothing is kept.
bool SaveAllNotes(bool askOnFailure);

struct NoteNode;

// Puts one registered note into the store document as section `index`.
void SaveNote(IniDocument& store, const NoteNode& note, unsigned index);

// A note as the store holds it, its text with real line breaks.
struct StoredNote {
    std::string title;
    std::string text;
    std::string voicePath;
};

// The notes that loading recreates from a store, in order: the run of
// sections from "0" that have a TITOLO.
std::vector<StoredNote> StoredNotes(const IniDocument& store);

// The store file as it is now: an empty document when there is none yet.
// False when a file is there but cannot be read.
bool ReadStore(const char* path, IniDocument& store);

// The steps of writing the store file, in order. TempWritten comes once per
// piece of the file written.
enum class SaveStep { TempCreated, TempWritten, TempFlushed, BackupRemoved, BackupMade, Replaced };

// Called after each step when set: the crash tests end the process here to
// show that every moment of a save leaves a whole store behind.
extern void (*SaveStepHook)(SaveStep step);

#endif
