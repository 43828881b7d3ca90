// Files and processes for tests: scratch folders, the program beside the test
// program, and starting copies of it.
#ifndef APPUNTELLO_TESTS_FILES_H
#define APPUNTELLO_TESTS_FILES_H

#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"

namespace testfiles {

// A fresh folder under the temporary folder, removed with its content.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};

// ANSI text (code page 1252) to UTF-16.
std::wstring Widen(const std::string& text);
// The bytes of a text file as Notepad saves it in Unicode: the byte order
// mark, then the text in UTF-16 (little- or big-endian) or in UTF-8.
std::string Utf16(const std::wstring& text, bool littleEndian = true);
std::string Utf8(const std::wstring& text);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// The file held open for reading, as another program (a player, a virus
// scanner) holds it: while held it can be neither replaced nor deleted, and
// with no sharing not even read.
UniqueHandle HoldOpen(const std::string& path, DWORD share = FILE_SHARE_READ);
// Gives the file a last write some minutes ago, as a file left by a program
// that died then.
bool MakeOld(const std::string& path);
// Gives the file a last write this many seconds ago.
bool DateBack(const std::string& path, unsigned seconds);
// Gives the file a last write an hour ahead, as another computer whose clock
// is ahead leaves one.
bool DateAhead(const std::string& path);
// Files matching a pattern with wildcards ("<store>.*.tmp"), full paths.
std::vector<std::string> Matching(const std::string& pattern);

// While it lives, every replacement of a file whose name ends with `suffix`
// fails as on a full disk (the target is left as it was), and replacements
// put in place are counted.
class Writes {
  public:
    explicit Writes(std::string failing = "");
    ~Writes();
    Writes(const Writes&) = delete;
    Writes& operator=(const Writes&) = delete;
    // Files put in place whose names end with this.
    int Replaced(const std::string& suffix) const;
    void Fail(std::string suffix);
};

// Appuntello.exe, built beside the test programs.
std::string ProgramPath();
// This test program.
std::string SelfPath();

// A started program (a copy of Appuntello, or this test program again); ended
// (forcibly if need be) when destroyed. With an output file, what it writes
// to its standard output and error goes there.
class RunningProgram {
  public:
    explicit RunningProgram(const std::string& exePath, const std::string& arguments = "",
                            const std::string& outputPath = "");
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return process_.hProcess != nullptr; }
    // The controller window of this process, waiting for it to appear and for
    // the start to finish (the stored notes are made while the controller is
    // created, after it can already be found).
    HWND WaitForController(DWORD milliseconds = 20000);
    // Waits for the process to end; false on time-out. exitCode is set when it ended.
    bool WaitExit(DWORD milliseconds, DWORD* exitCode);
    // Its exit code, or STILL_ACTIVE when it still runs after the time.
    DWORD ExitCode(DWORD milliseconds);
    // Ends it at once, as a crash or a kill would.
    void Kill();
    DWORD id() const { return process_.dwProcessId; }
    // Its top-level windows of that class.
    std::vector<HWND> Windows(const char* className) const;

  private:
    PROCESS_INFORMATION process_{};
    HANDLE output_ = INVALID_HANDLE_VALUE;
};

// Top-level windows of that class, in the order the system lists them: of
// that title too unless it is nullptr, and of that process unless it is 0.
std::vector<HWND> FindWindows(const char* className, const char* title = nullptr, DWORD process = 0);

} // namespace testfiles

#endif
