// Replacing a file whole, in one step: its name holds either the whole old
// file or the whole new one, whatever ends the program or the system meanwhile.
// The store, the copies kept beside it and the recorder's WAVE files are
// written this way.
#ifndef APPUNTELLO_BASE_FILE_REPLACE_H
#define APPUNTELLO_BASE_FILE_REPLACE_H

#include <cstddef>
#include <initializer_list>
#include <string>

// Bytes to write, one piece after the other.
struct FilePiece {
    const char* data;
    std::size_t size;
};

// The steps of a replacement, in order. TempWritten comes after each write,
// of at most 64 KiB.
enum class ReplaceStep { TempCreated, TempWritten, TempFlushed, Replaced };

// For tests: told of each step of every replacement (the crash tests end the
// process at one of them), and a step answered with false fails there, as a
// full disk would.
extern bool (*ReplaceStepHook)(const std::string& target, ReplaceStep step);

// Writes the pieces to a temporary file of this process's own beside the
// target (so on the same volume, and apart from another copy of the program
// saving the same file), flushes it to the disk and puts it in the target's
// place with one rename. False when the target could not be replaced: it is
// then as it was, and no temporary file is left.
bool ReplaceFileInOneStep(const std::string& target, std::initializer_list<FilePiece> pieces);

// The temporary files of replacements of the target that a crash left
// behind: files named exactly as a replacement names its temporary file (a
// user's own file of a like name stays) whose last write is older than `age`
// milliseconds (a save in progress elsewhere writes its own now).
void RemoveLeftoverTemporaryFiles(const std::string& target, unsigned long age);

#endif
