#include "app/notes_io.h"

#include <string>
#include <vector>

#include "app/controller_run.h"
#include "base/captions.h"
#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "store/store_session.h"
#include "store/text_merge.h"
#include "voice/voice.h"

namespace {

std::string NoteText(HWND edit)
{
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

HWND NoteOf(NoteKey key)
{
    HWND note = reinterpret_cast<HWND>(key);
    return FindNote(note) ? note : nullptr;
}

// The note's text replaced by another made from it (another writer's change,
// or both sides' joined): the caret and the selection stay where they were in
// the text, moved past what was inserted before them, and the keyboard stays
// where it is.
bool SetTextKeepingCaret(HWND edit, const std::string& text)
{
    const std::string before = NoteText(edit);
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (!SetWindowTextA(edit, text.c_str()))
        return false;
    SendMessageA(edit, EM_SETSEL, MovedPosition(before, text, start), MovedPosition(before, text, end));
    if (GetFocus() == edit)
        SendMessageA(edit, EM_SCROLLCARET, 0, 0);
    return true;
}

// Gives a note a stored title, text and voice path; false when it could not
// take them whole.
bool Fill(HWND note, const StoredNote& stored)
{
    const NoteNode* node = FindNote(note);
    if (!node)
        return false;
    char title[TitleCapacity] = "";
    GetWindowTextA(note, title, sizeof title);
    // Unchanged texts are left alone: their caret and selection stay.
    if (stored.title != title && !SetWindowTextA(note, stored.title.c_str()))
        return false;
    if (NoteText(node->edit) != stored.text && !SetTextKeepingCaret(node->edit, stored.text))
        return false;
    const char* voicePath = NoteVoicePath(note);
    return (voicePath && stored.voicePath == voicePath) || SetNoteVoicePath(note, stored.voicePath.c_str());
}

// A new note with a stored title, text and voice path; nullptr when it could
// not be made whole.
HWND RecreateNote(const StoredNote& stored, NoteActivation activation)
{
    HWND note = CreateNoteWindow(stored.title.c_str(), activation);
    const NoteNode* node = note ? FindNote(note) : nullptr;
    if (!node)
        return nullptr;
    // A new note's text and voice path are empty: only others are set.
    if ((!stored.text.empty() && !SetWindowTextA(node->edit, stored.text.c_str())) ||
        (!stored.voicePath.empty() && !SetNoteVoicePath(note, stored.voicePath.c_str()))) {
        DestroyWindow(note);
        return nullptr;
    }
    return note;
}

// Another writer's notes and settings on screen. Nothing here is a change of
// the user's: the notes it touches are saved as the store now holds them.
void ShowMerged(ControllerRun& run, const ScreenChanges& changes, const StoredSettings& settings)
{
    const RunPhase phase = run.phase;
    run.phase = RunPhase::Merging;
    for (const auto& update : changes.update)
        if (HWND note = NoteOf(update.first))
            Fill(note, update.second);
    for (NoteKey key : changes.close)
        if (HWND note = NoteOf(key))
            DestroyWindow(note); // its voice file stays on disk
    for (std::size_t i = 0; i < changes.show.size(); ++i)
        if (HWND note = RecreateNote(changes.show[i], NoteActivation::Quiet))
            run.store.Adopt(i, KeyOf(note));
    if (changes.settingsChanged) {
        NoteWidth = settings.width;
        NoteHeight = settings.height;
        if (NoteColor != settings.color) {
            NoteColor = settings.color;
            if (HBRUSH brush = CreateSolidBrush(NoteColor))
                NoteBrush.reset(brush);
            ForEachNote([](const NoteNode& node) { InvalidateRect(node.edit, nullptr, TRUE); });
        }
    }
    run.phase = phase;
}

void TellUnreadable()
{
    const std::string message = std::string("Impossibile leggere gli appunti dal file\n") + StorePath;
    MessageBoxA(ControllerWindow, message.c_str(), WarningCaption, MB_OK | MB_ICONWARNING);
}

} // namespace

NoteKey KeyOf(HWND note)
{
    return reinterpret_cast<NoteKey>(note);
}

void LoadNotes(ControllerRun& run)
{
    // An unreadable store starts the run empty; the save will not replace it.
    StoredSettings settings{DefaultNoteWidth, DefaultNoteHeight, DefaultNoteColor};
    std::vector<std::pair<int, StoredNote>> notes;
    if (StorePath[0] != '\0' && !run.store.Load(StorePath, settings, notes))
        TellUnreadable();
    NoteWidth = settings.width;
    NoteHeight = settings.height;
    NoteColor = settings.color;
    NoteBrush.reset(CreateSolidBrush(NoteColor));

    for (const auto& stored : notes) {
        // None takes the keyboard now: the newest does once all are made.
        HWND note = RecreateNote(stored.second, NoteActivation::Quiet);
        if (!note)
            return; // the notes from here on stay in the file as they are
        run.store.AdoptLoaded(stored.first, KeyOf(note));
        // On screen and painted before its voice message holds the thread.
        UpdateWindow(note);
        // Nothing in a store handed over by someone else may make the program
        // contact a server or a device before the user acts: only files on
        // local drives play by themselves, the others when the user asks.
        if (!stored.second.voicePath.empty() && NamesLocalFile(stored.second.voicePath.c_str()))
            PlayVoiceMessage(note, NoteVoicePath(note));
    }
}

StoredNote ReadNoteWindow(const NoteNode& note)
{
    char title[TitleCapacity] = "";
    GetWindowTextA(note.window, title, sizeof title);
    const char* voicePath = NoteVoicePath(note.window);
    return StoredNote{title, NoteText(note.edit), voicePath ? voicePath : ""};
}

SyncResult SaveAllNotes(ControllerRun& run, bool create)
{
    if (StorePath[0] == '\0')
        return SyncResult::Done;
    // Oldest first, so that order, cascade and ids come back the same. Only
    // the registry's notes: a window of the same class may belong to another
    // program.
    std::vector<NoteNow> notes;
    ForEachNoteOldestFirst([&](NoteNode& node) {
        notes.push_back(NoteNow{KeyOf(node.window), ReadNoteWindow(node), NoteIsBusy(node.window)});
    });
    StoredSettings settings{NoteWidth, NoteHeight, NoteColor};
    ScreenChanges changes;
    const SyncResult result = run.store.Sync(StorePath, settings, notes, create, changes);
    // Also at the close, which may yet be abandoned: the run now stands
    // against what the merge brought.
    ShowMerged(run, changes, settings);
    return result;
}

bool StoreChangedOnDisk(ControllerRun& run, bool told)
{
    return StorePath[0] != '\0' && run.store.ChangedOnDisk(StorePath, told);
}

bool AskToQuitUnsaved()
{
    const std::string message = std::string("Impossibile salvare gli appunti nel file\n") + StorePath +
                                "\n\nUscire senza salvare le modifiche?";
    return MessageBoxA(ControllerWindow, message.c_str(), WarningCaption,
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
}
