#include "app/notes_io.h"

#include <string>
#include <vector>

#include "base/captions.h"
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

void TellUnreadable()
{
    const std::string message = std::string("Impossibile leggere gli appunti dal file\n") + StorePath;
    MessageBoxA(ControllerWindow, message.c_str(), WarningCaption, MB_OK | MB_ICONWARNING);
}

} // namespace

void LoadNotes()
{
    // An unreadable store starts the run empty; the save will not replace it.
    StoredSettings settings{DefaultNoteWidth, DefaultNoteHeight, DefaultNoteColor};
    StoredRun run;
    if (StorePath[0] != '\0' && !LoadStore(StorePath, settings, run))
        TellUnreadable();
    NoteWidth = settings.width;
    NoteHeight = settings.height;
    NoteColor = settings.color;
    NoteBrush.reset(CreateSolidBrush(NoteColor));

    for (unsigned place = 0; place < run.size(); ++place) {
        if (!run[place])
            continue; // no note there: the notes after it are loaded all the same
        const StoredNote& stored = *run[place];
        HWND note = RecreateNote(stored);
        if (!note) {
            StopLoadingAt(place);
            return;
        }
        NoteListHead->storedPlace = place + 1;
        NoteShownAs(place, SaveNote(*NoteListHead));
        // On screen and painted before its voice message holds the thread.
        UpdateWindow(note);
        // Nothing in a store handed over by someone else may make the program
        // contact a server or a device before the user acts: only files on
        // local drives play by themselves, the others when the user asks.
        if (!stored.voicePath.empty() && NamesLocalFile(stored.voicePath.c_str()))
            PlayVoiceMessage(note, NoteVoicePath(note));
    }
}

StoredNote SaveNote(const NoteNode& note)
{
    char title[TitleCapacity] = "";
    GetWindowTextA(note.window, title, sizeof title);
    const char* voicePath = NoteVoicePath(note.window);
    return StoredNote{title, NoteText(note.edit), voicePath ? voicePath : ""};
}

bool SaveAllNotes()
{
    if (StorePath[0] == '\0')
        return true;
    // Oldest first, so that order, cascade and ids come back the same. Only
    // the registry's notes: a window of the same class may belong to another
    // program.
    NoteNode* oldest = NoteListHead;
    for (NoteNode* node = NoteListHead; node; node = node->next)
        oldest = node;
    std::vector<NoteToSave> notes;
    for (NoteNode* node = oldest; node; node = node->prev)
        notes.push_back(NoteToSave{SaveNote(*node), static_cast<int>(node->storedPlace) - 1});

    // The stored settings stay as the file has them unless the user chose new ones.
    const StoredSettings settings{NoteWidth, NoteHeight, NoteColor};
    std::vector<unsigned> places;
    if (!SaveStore(StorePath, settings, AppearanceCommitted, notes, places))
        return false;
    std::size_t n = 0;
    for (NoteNode* node = oldest; node; node = node->prev)
        node->storedPlace = places[n++] + 1;
    return true;
}

bool AskToQuitUnsaved()
{
    const std::string message = std::string("Impossibile salvare gli appunti nel file\n") + StorePath +
                                "\n\nUscire senza salvare le modifiche?";
    return MessageBoxA(ControllerWindow, message.c_str(), WarningCaption,
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
}
