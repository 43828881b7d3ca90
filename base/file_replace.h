// Replacing a file whole, in one step: its name holds either the whole old
// file or the whole new one, whatever ends the program or the system meanwhile.
// The store and the recorder's WAVE files are written this way.
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

struct ReplaceHooks {
    // Told after each step when set.
    void (*afterStep)(ReplaceStep step) = nullptr;
    // Runs, when set, once the new content is safe on the disk and before it
    // takes the target's name: the target is still the old file.
    void (*beforeRename)(const std::string& target) = nullptr;
};

// Writes the pieces to a temporary file beside the target (so on the same
// volume), flushes it to the disk and puts it in the target's place with one
// rename. False when the target could not be replaced: it is then as it was,
// and no temporary file is left.
bool ReplaceFileInOneStep(const std::string& target, std::initializer_list<FilePiece> pieces,
                          const ReplaceHooks& hooks = ReplaceHooks{});

#endif
