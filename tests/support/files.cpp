#include "tests/support/files.h"

#include <shellapi.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/file_replace.h"
#include "base/path_parts.h"

namespace testfiles {

namespace {

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

struct WindowSearch {
    const char* className;
    const char* title;
    DWORD process;
    std::vector<HWND> found;
};

// A named callback: a lambda cannot become the 32-bit build's stdcall procedure.
BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    char className[256], title[256];
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (lstrcmpA(className, search->className) == 0 &&
        (!search->title || lstrcmpA(title, search->title) == 0) &&
        (!search->process || process == search->process))
        search->found.push_back(window);
    return TRUE;
}

std::string FailingSuffix;
std::vector<std::string> ReplacedFiles;

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool WatchReplacement(const std::string& target, ReplaceStep step)
{
    if (step == ReplaceStep::Replaced)
        ReplacedFiles.push_back(target);
    return FailingSuffix.empty() || !EndsWith(target, FailingSuffix);
}

} // namespace

namespace {

// Moves the file's last write this many 100-ns units from now.
bool DateFromNow(const std::string& path, long long offset)
{
    UniqueHandle file(
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER then{{now.dwLowDateTime, now.dwHighDateTime}};
    then.QuadPart += static_cast<unsigned long long>(offset);
    const FILETIME time{then.LowPart, then.HighPart};
    return file.valid() && SetFileTime(file.get(), nullptr, nullptr, &time);
}

} // namespace

bool MakeOld(const std::string& path)
{
    return DateFromNow(path, -(1ll << 32)); // seven minutes ago
}

bool DateBack(const std::string& path, unsigned seconds)
{
    return DateFromNow(path, -10000000ll * seconds);
}

bool DateAhead(const std::string& path)
{
    return DateFromNow(path, 36000000000ll); // an hour
}

std::vector<std::string> Matching(const std::string& pattern)
{
    std::vector<std::string> files;
    const std::string folder = FolderOf(pattern);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    // The folder's own entries ("." and "..") are no files of it.
    do
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            files.push_back(InFolder(folder, found.cFileName));
    while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

Writes::Writes(std::string failing)
{
    FailingSuffix = std::move(failing);
    ReplacedFiles.clear();
    ReplaceStepHook = WatchReplacement;
}

Writes::~Writes()
{
    ReplaceStepHook = nullptr;
    FailingSuffix.clear();
}

void Writes::Fail(std::string suffix)
{
    FailingSuffix = std::move(suffix);
}

int Writes::Replaced(const std::string& suffix) const
{
    int count = 0;
    for (const std::string& file : ReplacedFiles)
        count += EndsWith(file, suffix) ? 1 : 0;
    return count;
}

std::wstring Widen(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                     static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(length));
    return wide;
}

std::string Utf16(const std::wstring& text, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xff\xfe" : "\xfe\xff";
    for (const wchar_t unit : text) {
        const char low = static_cast<char>(unit & 0xff), high = static_cast<char>(unit >> 8);
        bytes += littleEndian ? low : high;
        bytes += littleEndian ? high : low;
    }
    return bytes;
}

std::string Utf8(const std::wstring& text)
{
    std::string utf8(3 * text.size(), '\0');
    utf8.resize(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr)));
    return "\xef\xbb\xbf" + utf8;
}

ScratchFolder::ScratchFolder()
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static unsigned counter;
    std::ostringstream name;
    name << base << "appuntello-test-" << GetCurrentProcessId() << "-" << GetTickCount() << "-" << ++counter;
    path_ = name.str();
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

UniqueHandle HoldOpen(const std::string& path, DWORD share)
{
    return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::string SelfPath()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    return self;
}

std::string ProgramPath()
{
    std::string path = SelfPath();
    return InFolder(FolderOf(path), "Appuntello.exe");
}

RunningProgram::RunningProgram(const std::string& exePath, const std::string& arguments,
                               const std::string& outputPath)
{
    // Wide, so that paths longer than MAX_PATH ("\\?\" paths) can be started too.
    std::wstring path = Widen(exePath);
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!arguments.empty())
        commandLine += L" " + Widen(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!outputPath.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        output_ = CreateFileW(Widen(outputPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output_;
        startup.hStdError = output_;
    }
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, output_ != INVALID_HANDLE_VALUE, 0,
                        nullptr, nullptr, &startup, &process_))
        process_ = PROCESS_INFORMATION{};
}

RunningProgram::~RunningProgram()
{
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            Kill();
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    if (output_ != INVALID_HANDLE_VALUE)
        CloseHandle(output_);
}

DWORD RunningProgram::ExitCode(DWORD milliseconds)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

void RunningProgram::Kill()
{
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 10000);
}

HWND RunningProgram::WaitForController(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        std::vector<HWND> found = FindWindows("Class_Appuntello", "Appuntello", process_.dwProcessId);
        if (!found.empty()) {
            WaitForInputIdle(process_.hProcess, milliseconds);
            return found.back();
        }
        if (WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0)
            return nullptr;
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

std::vector<HWND> RunningProgram::Windows(const char* className) const
{
    return FindWindows(className, nullptr, process_.dwProcessId);
}

bool RunningProgram::WaitExit(DWORD milliseconds, DWORD* exitCode)
{
    if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process_.hProcess, exitCode);
    return true;
}

std::vector<HWND> FindWindows(const char* className, const char* title, DWORD process)
{
    WindowSearch search{className, title, process, {}};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace testfiles
