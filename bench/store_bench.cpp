// How long the store takes to load and to save with 10 to 5,000 notes of
// 1,023 characters, beside what the per-key profile calls take on the same
// notes and what the note windows alone cost. Prints a table; judges nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/controller.h"
#include "app/controller_run.h"
#include "app/notes_io.h"
#include "app/startup.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "store/ini_document.h"
#include "store/line_breaks.h"
#include "store/merge.h"
#include "store/store_file.h"
#include "store/store_session.h"
#include "tests/support/store_builder.h"

namespace {

// Profile calls whose run would take longer than this are left out.
constexpr double ProfileLimitMs = 120000;

class Stopwatch {
  public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Ms() const
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

  private:
    LARGE_INTEGER start_;
};

// 1,023 characters of words with a few line breaks, different for every note.
std::string NoteText(int note)
{
    static const char* const words[] = {"appunto",   "volante", "domani", "telefonare", "spesa", "riunione",
                                        "ricordare", "pane",    "latte",  "ufficio",    "sera",  "libro"};
    std::string text;
    for (int i = note; text.size() < 1023; ++i) {
        text += (i % 23 == 22) ? "\r\n" : " ";
        text += words[(i * 7 + note) % 12];
    }
    text.resize(1023);
    if (text.back() == '\r') {
        text.back() = '.';
    }
    return text;
}

std::string StoreWithNotes(int count)
{
    StoredRun notes;
    for (int i = 0; i < count; ++i)
        notes.push_back(StoredNote{"Appuntello - nota " + std::to_string(i), NoteText(i), ""});
    return StoreText(notes, OptionsSection(160, 120, 65535));
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<HWND> OpenNotes()
{
    std::vector<HWND> notes;
    for (NoteNode* node = NoteListHead; node; node = node->next) {
        notes.push_back(node->window);
    }
    return notes;
}

// The floor under any loading: note-like windows of a bare class (caption,
// edit field, the text, painted at once) and nothing else.
double BareWindows(int count)
{
    const char className[] = "BenchNote";
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    std::vector<HWND> windows;
    Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        HWND window =
            CreateWindowExA(WS_EX_TOOLWINDOW, className, "Appuntello - nota",
                            WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_MINIMIZEBOX, (i * 20) % 1000,
                            (i * 20) % 700, 160, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
        HWND edit = CreateWindowExA(
            0, "edit", NoteText(i).c_str(), WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 160,
            100, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), windowClass.hInstance, nullptr);
        (void)edit;
        UpdateWindow(window);
        windows.push_back(window);
    }
    const double ms = watch.Ms();
    for (HWND window : windows) {
        DestroyWindow(window);
    }
    UnregisterClassA(className, windowClass.hInstance);
    return ms;
}

// The INI document alone: the bytes parsed, every note's section removed and
// written anew, and the whole serialized, no files and no windows. Linear
// work; a quadratic cost in the document shows here first.
double DocumentRewrite(const std::string& bytes, int expected)
{
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        Stopwatch watch;
        IniDocument doc = IniDocument::Parse(bytes);
        std::vector<std::string> sections;
        for (int n = 0; doc.Get(std::to_string(n), "TITOLO"); ++n)
            sections.push_back(std::to_string(n));
        std::vector<std::pair<std::string, std::string>> texts;
        for (const std::string& section : sections) {
            texts.emplace_back(doc.Get(section, "TITOLO").value_or(""),
                               doc.Get(section, "MESSAGE").value_or(""));
            doc.RemoveSection(section);
        }
        for (std::size_t i = 0; i < sections.size(); ++i) {
            doc.Set(sections[i], "TITOLO", texts[i].first);
            doc.Set(sections[i], "MESSAGE", texts[i].second);
        }
        const std::string written = doc.Serialize();
        const double ms = watch.Ms();
        if (static_cast<int>(sections.size()) != expected || written.empty())
            std::printf("the document rewrite found %d notes, not %d\n", static_cast<int>(sections.size()),
                        expected);
        best = std::min(best, ms);
    }
    return best;
}

// Reading the file and taking the notes and settings out of it, no windows.
double ParseOnly(const std::string& path, int expected)
{
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        Stopwatch watch;
        std::string bytes;
        ReadWholeFile(path.c_str(), bytes);
        const IniDocument store = IniDocument::Parse(bytes);
        const StoredRun notes = StoredNotes(store);
        const int width = store.GetInt("OPZIONI", "LARGHEZZA", 160);
        const double ms = watch.Ms();
        if (static_cast<int>(notes.size()) != expected || width != 160) {
            std::printf("parse found %d notes, not %d\n", static_cast<int>(notes.size()), expected);
        }
        best = std::min(best, ms);
    }
    return best;
}

// A save with one note changed, so that the whole file is written anew.
double Save(ControllerRun& run, int runs)
{
    HWND edit = NoteEditOf(NoteListHead->window);
    std::vector<double> times;
    for (int attempt = 0; attempt < runs; ++attempt) {
        SetWindowTextA(edit, ("cambiata " + std::to_string(attempt)).c_str());
        Stopwatch watch;
        if (SaveAllNotes(run) != SyncResult::Done) {
            std::printf("the save failed\n");
        }
        times.push_back(watch.Ms());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The merge alone, no files and no windows: the store as last written, the
// same notes unchanged here, and another writer's store (one note changed,
// one deleted, one added, renumbered), read, merged and written into the
// document.
double MergeAlone(const IniDocument& ours, const IniDocument& theirs)
{
    const StoredSettings settings{160, 120, 65535};
    const Version none;
    const SeenContents noneSeen;
    const std::vector<NoteHere> loading;
    const Snapshot base = ReadStore(
        ours, AnsiCharset, RunKnows{StoredRun(), settings, none, loading, noneSeen, 20000}, false, false);
    RunSide here{{}, base.settings, base.settingsVersion, base.deletions};
    SeenContents seen;
    for (std::size_t p = 0; p < base.notes.size(); ++p) {
        here.notes.push_back(
            NoteHere{NoteRecord{static_cast<int>(p), base.notes[p], base.how[p]}, base.notes[p], false});
        seen.insert(HashOfContent(*base.notes[p]));
    }
    IniDocument result = theirs;
    Stopwatch watch;
    const Snapshot disk = ReadStore(
        theirs, AnsiCharset,
        RunKnows{base.notes, base.settings, base.settingsVersion, here.notes, seen, 20000}, false, false);
    VersionStamps stamps("banco", 1);
    const MergedStore merged = Merge(NoteHistory(), here, disk, {}, 20000, stamps);
    PutNotes(result, merged.save, disk.notes, 0);
    const double ms = watch.Ms();
    if (merged.added.size() != 1)
        std::printf("the merge brought %d notes, not 1\n", static_cast<int>(merged.added.size()));
    return ms;
}

struct MergeTimes {
    double alone;
    double save;
};

// Another writer's store merged: one note changed, one deleted and one added
// there, written over the store as a sync client does; then the save that
// finds it, once it has held still (the wait is not timed), reads it, merges
// it with the notes here, shows the change and the new note, and writes the
// result.
MergeTimes Merge(ControllerRun& run, const std::string& path, int runs)
{
    std::vector<double> alone, saves;
    for (int attempt = 0; attempt < runs; ++attempt) {
        std::string bytes;
        ReadWholeFile(path.c_str(), bytes);
        const IniDocument ours = IniDocument::Parse(bytes);
        IniDocument theirs = ours;
        const std::string last = std::to_string(StoredNotes(theirs).size() - 1);
        theirs.Set("1", "MESSAGE", "cambiata altrove " + std::to_string(attempt));
        theirs.RemoveSection("2");
        theirs.RenameSection(last, "2"); // the other copy renumbers: the last note fills the gap
        theirs.Set(last, "TITOLO", "nuova altrove " + std::to_string(attempt));
        theirs.Set(last, "MESSAGE", NoteText(attempt));
        theirs.Set(last, "AUDIO", "");
        alone.push_back(MergeAlone(ours, theirs));
        const std::string temp = path + ".altrove";
        WriteWholeFile(temp, theirs.Serialize());
        MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
        for (;;) {
            Stopwatch watch;
            const SyncResult result = SaveAllNotes(run);
            if (result != SyncResult::Later) {
                saves.push_back(watch.Ms());
                if (result != SyncResult::Done)
                    std::printf("the merge failed\n");
                break;
            }
            Sleep(100); // a look only: the file has not held still yet
        }
    }
    std::sort(alone.begin(), alone.end());
    std::sort(saves.begin(), saves.end());
    return MergeTimes{alone[alone.size() / 2], saves[saves.size() / 2]};
}

// The old store's save: delete pass, then one profile call per key.
double ProfileSave(const std::string& path)
{
    Stopwatch watch;
    char title[64];
    for (int i = 0;; ++i) {
        const std::string section = std::to_string(i);
        GetPrivateProfileStringA(section.c_str(), "TITOLO", "nf", title, sizeof title, path.c_str());
        if (lstrcmpiA(title, "nf") == 0) {
            break;
        }
        WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, path.c_str());
    }
    std::vector<HWND> notes = OpenNotes();
    std::vector<char> text(1024);
    for (size_t i = 0; i < notes.size(); ++i) {
        const std::string section = std::to_string(i);
        GetWindowTextA(notes[i], title, sizeof title);
        GetWindowTextA(NoteEditOf(notes[i]), text.data(), static_cast<int>(text.size()));
        ConvertLineBreaks(text.data(), 1);
        WritePrivateProfileStringA(section.c_str(), "TITOLO", title, path.c_str());
        WritePrivateProfileStringA(section.c_str(), "MESSAGE", text.data(), path.c_str());
        WritePrivateProfileStringA(section.c_str(), "AUDIO", NoteVoicePath(notes[i]), path.c_str());
    }
    WritePrivateProfileStringA("OPZIONI", "LARGHEZZA", "160", path.c_str());
    WritePrivateProfileStringA("OPZIONI", "ALTEZZA", "120", path.c_str());
    WritePrivateProfileStringA("OPZIONI", "COLORE", "65535", path.c_str());
    return watch.Ms();
}

// The old store's load without windows: one profile call per key.
double ProfileLoad(const std::string& path, int expected)
{
    Stopwatch watch;
    const char* file = path.c_str();
    volatile int settings = GetPrivateProfileIntA("OPZIONI", "LARGHEZZA", 160, file) +
                            GetPrivateProfileIntA("OPZIONI", "ALTEZZA", 120, file) +
                            GetPrivateProfileIntA("OPZIONI", "COLORE", 65535, file);
    (void)settings;
    char title[64];
    std::vector<char> text(1024);
    int loaded = 0;
    for (;; ++loaded) {
        const std::string section = std::to_string(loaded);
        GetPrivateProfileStringA(section.c_str(), "TITOLO", "nf", title, sizeof title, file);
        if (lstrcmpiA(title, "nf") == 0) {
            break;
        }
        GetPrivateProfileStringA(section.c_str(), "MESSAGE", "nf", text.data(), 1024, file);
        ConvertLineBreaks(text.data(), 0);
        GetPrivateProfileStringA(section.c_str(), "AUDIO", "nf", text.data(), 1024, file);
    }
    const double ms = watch.Ms();
    if (loaded != expected) {
        std::printf("the profile calls found %d notes, not %d\n", loaded, expected);
    }
    return ms;
}

// A quadratic cost from the last measured count, to skip runs beyond the limit.
double Expected(double lastMs, int lastCount, int count)
{
    const double ratio = static_cast<double>(count) / lastCount;
    return lastMs * ratio * ratio;
}

std::string Cell(double ms)
{
    char cell[32];
    std::snprintf(cell, sizeof cell, ms < 10 ? "%.2f" : "%.0f", ms);
    return cell;
}

// What each column times, and the table's head.
void PrintLegend()
{
    std::printf("Notes of 1,023 characters, no voice messages; times in milliseconds.\n");
    std::printf("load = one run: the controller window's creation, which adds the tray icon, reads and\n"
                "  parses the store and creates and paints every note window;\n");
    std::printf("windows = one run: as many windows of a bare class with an edit field and the same texts,\n"
                "  each painted, nothing else;\n");
    std::printf("parse = best of 5: reading and parsing the store, no windows;\n");
    std::printf("rewrite = best of 5: the INI document alone, parsed, every note's section removed and\n"
                "  written anew, and serialized, no files, no windows;\n");
    std::printf("save = median of 7 (3 from 5,000 notes on): one note's text changed, then every note read\n"
                "  from its window and the whole file written anew and put in place, what a save a moment\n"
                "  after typing costs;\n");
    std::printf(
        "merge = median of 5 (3 from 5,000 notes on): another writer's store (one note changed,\n"
        "  one deleted, one added, renumbered) matched and merged with the notes here and written into\n"
        "  the document, no files, no windows;\n");
    std::printf(
        "merge save = the same store put in place; then the save that reads it, merges it with the\n"
        "  notes here, shows the change, closes one note and shows the new one, and writes the result\n"
        "  (the wait for the file to hold still is not timed);\n");
    std::printf("profile load, profile save = one run each of the per-key GetPrivateProfileStringA and\n"
                "  WritePrivateProfileStringA calls on the same notes (the save first deletes each stored\n"
                "  section).\n\n");
    std::printf("%6s | %9s | %9s | %8s | %8s | %8s | %8s | %10s | %13s | %13s\n", "notes", "load", "windows",
                "parse", "rewrite", "save", "merge", "merge save", "profile load", "profile save");
    std::printf("-------+-----------+-----------+----------+----------+----------+----------+------------+"
                "---------------+--------------\n");
    std::fflush(stdout);
}

// The counts whose per-key calls were left out, and why.
void PrintSkipped(const std::vector<int>& skipped)
{
    if (skipped.empty())
        return;
    std::string counts;
    for (int count : skipped) {
        counts += (counts.empty() ? "" : ", ") + std::to_string(count);
    }
    std::printf("\nskipped: the per-key calls with %s notes, foreseen from the last count that ran and "
                "the square of the notes to take over %.0f s.\n",
                counts.c_str(), ProfileLimitMs / 1000);
}

} // namespace

// Counts of notes to time may be given as arguments; 10, 100, 1,000 and 5,000 otherwise.
int main(int argc, char** argv)
{
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::max(1, std::atoi(argv[i])));
    }
    if (counts.empty()) {
        counts = {10, 100, 1000, 5000};
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClasses(instance)) {
        std::printf("the window classes could not be registered\n");
        return 1;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder =
        std::string(temp) + "appuntello-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);

    PrintLegend();

    std::vector<int> skipped; // counts whose profile calls were left out
    // The last run of each kind of profile calls, to foresee the next one.
    double profileLoadMs = 0, profileSaveMs = 0;
    int profileLoadCount = 0, profileSaveCount = 0;
    for (int count : counts) {
        const std::string store = folder + "\\" + std::to_string(count) + ".ini";
        const std::string bytes = StoreWithNotes(count);
        WriteWholeFile(store, bytes);

        const double parse = ParseOnly(store, count);
        const double rewrite = DocumentRewrite(bytes, count);
        const double windows = BareWindows(count);

        std::strcpy(StorePath, store.c_str());
        NoteCount = 0;
        Stopwatch loadWatch;
        HWND controller = CreateControllerWindow(instance);
        const double load = loadWatch.Ms();
        if (!controller || static_cast<int>(OpenNotes().size()) != count) {
            std::printf("loading made %d notes, not %d\n", static_cast<int>(OpenNotes().size()), count);
            return 1;
        }
        const double save = Save(*RunOf(controller), count >= 5000 ? 3 : 7);
        const MergeTimes merge = Merge(*RunOf(controller), store, count >= 5000 ? 3 : 5);

        const std::string profileStore = folder + "\\" + std::to_string(count) + "-profile.ini";
        WriteWholeFile(profileStore, bytes);
        std::string profileLoad = "skipped", profileSave = "skipped";
        if (!profileLoadCount || Expected(profileLoadMs, profileLoadCount, count) < ProfileLimitMs) {
            profileLoadMs = ProfileLoad(profileStore, count);
            profileLoadCount = count;
            profileLoad = Cell(profileLoadMs);
        } else {
            skipped.push_back(count);
        }
        if (!profileSaveCount || Expected(profileSaveMs, profileSaveCount, count) < ProfileLimitMs) {
            profileSaveMs = ProfileSave(profileStore);
            profileSaveCount = count;
            profileSave = Cell(profileSaveMs);
        } else if (skipped.empty() || skipped.back() != count) {
            skipped.push_back(count);
        }

        std::printf("%6d | %9s | %9s | %8s | %8s | %8s | %8s | %10s | %13s | %13s\n", count,
                    Cell(load).c_str(), Cell(windows).c_str(), Cell(parse).c_str(), Cell(rewrite).c_str(),
                    Cell(save).c_str(), Cell(merge.alone).c_str(), Cell(merge.save).c_str(),
                    profileLoad.c_str(), profileSave.c_str());
        std::fflush(stdout);

        SendMessageA(controller, WM_CLOSE, 0, 0);
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        for (const std::string& file : {store, store + ".bak", profileStore}) {
            DeleteFileA(file.c_str());
        }
    }
    PrintSkipped(skipped);
    RemoveDirectoryA(folder.c_str());
    UnregisterWindowClasses(instance);
    return 0;
}
