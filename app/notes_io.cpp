#include "app/notes_io.h"

#include <string>
#include <vector>

#include "base/shared_state.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "store/note_store.h"
#include "voice/voice.h"

namespace {

std::string NoteText(HWND edit)
{
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

// A new note with the stored title, text and voice path; nullptr when it could
// not be made whole (its section then stays in the file, unreached).
HWND RecreateNote(const StoredNote& stored)
{
    HWND note = CreateNoteWindow(stored.title.c_str());
    if (!note)
        return nullptr;
    // The note just made is the registry's newest.
    if (!SetWindowTextA(NoteListHead->edit, stored.text.c_str()) ||
        !SetNoteVoicePath(note, stored.voicePath.c_str())) {
        DestroyWindow(note);
        return nullptr;
    }
    return note;
}

void TellSaveFailed()
{
    const std::string message = std::string("Impossibile salvare gli appunti nel file\n") + StorePath;
    MessageBoxA(ControllerWindow, message.c_str(), "Attenzione", MB_OK | MB_ICONWARNING);
}

} // namespace

void LoadNotes()
{
    // An unreadable store starts the run empty; the save will not replace it.
    StoredSettings settings{DefaultNoteWidth, DefaultNoteHeight, DefaultNoteColor};
    std::vector<StoredNote> notes;
    if (StorePath[0] != '\0')
        LoadStore(StorePath, settings, notes);
    NoteWidth = settings.width;
    NoteHeight = settings.height;
    NoteColor = settings.color;
    NoteBrush.reset(CreateSolidBrush(NoteColor));

    unsigned created = 0;
    for (const StoredNote& stored : notes) {
        HWND note = RecreateNote(stored);
        if (!note)
            break;
        ++created;
        // On screen and painted before its voice message holds the thread.
        UpdateWindow(note);
        if (!stored.voicePath.empty())
            PlayVoiceMessage(note, NoteVoicePath(note));
    }
    StopLoadingAt(created);
}

StoredNote SaveNote(const NoteNode& note)
{
    char title[TitleCapacity] = "";
    GetWindowTextA(note.window, title, sizeof title);
    const char* voicePath = NoteVoicePath(note.window);
    return StoredNote{title, NoteText(note.edit), voicePath ? voicePath : ""};
}

bool SaveAllNotes(bool askOnFailure)
{
    if (StorePath[0] == '\0')
        return true;
    // Oldest first, so that order, cascade and ids come back the same. Only
    // the registry's notes: a window of the same class may belong to another
    // program.
    NoteNode* oldest = NoteListHead;
    for (NoteNode* node = NoteListHead; node; node = node->next)
        oldest = node;
    std::vector<StoredNote> notes;
    for (NoteNode* node = oldest; node; node = node->prev)
        notes.push_back(SaveNote(*node));

    const bool saved = SaveStore(StorePath, StoredSettings{NoteWidth, NoteHeight, NoteColor}, notes);
    if (!saved && askOnFailure)
        TellSaveFailed();
    return saved;
}
