// Notes the user deletes ("&Elimina Tutti", "&Elimina Memino") are not lost
// at once: what they held is written into one small file in the store's own
// format, named so that a person recognises it, and sent to the Recycle Bin.
// "Ripristina" puts it back where it was written, a folder of the program's
// own outside the store's folder (a file beside a synced store would travel
// to the other computers and undo the deletion there); the run finds it there
// and takes its notes in (StoreSession::TakeIn). Where the shell would delete
// the file instead of keeping it (a share, a drive without a bin, the bin
// turned off), the last files are kept in a folder beside the store, and one
// moved from there beside the store comes back the same way.
//
// The names and the bytes need no windows and are tested natively; the files
// themselves are in deleted_notes_files.cpp.
#ifndef APPUNTELLO_STORE_DELETED_NOTES_H
#define APPUNTELLO_STORE_DELETED_NOTES_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/note_codec.h"

// A moment of local time, as the clock shows it.
struct LocalMoment {
    int year, month, day, hour, minute, second;
};

// "<store name without extension> - 3 memini eliminati il 09-12-2026 alle
// 10.15.42.ini", or "- 1 memino eliminato il ..." for one note: a name valid
// in every folder and in code page 1252, unique to the second.
std::string DeletedNotesFileName(std::string_view storeFileName, std::size_t count, const LocalMoment& when);
// Whether a file's name is one DeletedNotesFileName gives for this store, at
// any count and moment, also with " (2)" and so on before its extension, as
// a file is named when its name is taken. Letter case does not count.
bool IsDeletedNotesFileName(std::string_view storeFileName, std::string_view fileName);

// The file's bytes: the notes in the store's own sections, oldest first.
std::string DeletedNotesBytes(const std::vector<StoredNote>& notes);

// The name of the program's own folder for one store: its name without
// extension and a short hash of its full path, so that two stores of the
// same name in different folders keep apart ("Appuntello (1a2b3c4d)").
std::string DeletedNotesFolderName(std::string_view storePath);

// Where the notes of one deletion went.
enum class DeletedNotesKept {
    RecycleBin,
    BesideStore, // in DeletedNotesFolderBeside: the bin would not have kept them
    Nowhere,     // no file could be written; the deletion goes on
};

// Writes the notes (oldest first) into their file and sends it to the
// Recycle Bin, or keeps it beside the store, the last KeptBesideStore there.
DeletedNotesKept KeepDeletedNotes(const std::string& storePath, const std::vector<StoredNote>& notes,
                                  const LocalMoment& when);

// How many files the folder beside the store keeps.
constexpr std::size_t KeptBesideStore = 20;

// "%LOCALAPPDATA%\Appuntello\<DeletedNotesFolderName>": where the files are
// written, and where "Ripristina" puts them back. Empty when the system has
// no such folder.
std::string OwnDeletedNotesFolder(const std::string& storePath);
// "<store's folder>\<store name without extension> - memini eliminati".
std::string DeletedNotesFolderBeside(const std::string& storePath);

// Files of deleted notes that came back: restored into the program's own
// folder, or moved beside the store. Full paths.
std::vector<std::string> FindRestoredDeletedNotes(const std::string& storePath);

// Whether the shell keeps a file of this folder in the Recycle Bin when it is
// deleted with undo, rather than deleting it. Tests put their own here.
extern bool (*RecycleBinKeeps)(const std::string& folder);
bool SystemRecycleBinKeeps(const std::string& folder);

#endif
