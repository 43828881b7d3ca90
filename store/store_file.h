// The store file itself: read whole, and replaced whole in one step so that
// its name always holds a complete store.
#ifndef APPUNTELLO_STORE_STORE_FILE_H
#define APPUNTELLO_STORE_STORE_FILE_H

#include <string>

enum class FileRead { Read, Missing, Failed };

// The file's bytes; Missing when there is no file (bytes empty), Failed when
// it is there but cannot be read whole.
FileRead ReadWholeFile(const char* path, std::string& bytes);

// Writes the bytes to a temporary file beside the store, keeps the old store
// as "<store>.bak" when asked to, and puts the new file in its place with one
// rename. False when the store could not be replaced; the old file is then as
// it was.
bool WriteStoreFile(const std::string& path, const std::string& bytes, bool keepBackup = true);

// The steps of writing the store file, in order. TempWritten comes once per
// piece of the file written.
enum class SaveStep { TempCreated, TempWritten, TempFlushed, BackupRemoved, BackupMade, Replaced };

// Called after each step when set: the crash tests end the process here to
// show that every moment of a save leaves a whole store behind.
extern void (*SaveStepHook)(SaveStep step);

#endif
