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

// The run's store: made anew by every start (LoadNotes), used by every save.
StoreSession Store;

std::string NoteText(HWND edit)
{
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

// A new note with the stored title, text and voice path, at its place in the
// store; nullptr when it could not be made whole.
HWND RecreateNote(const LoadedNote& stored)
{
    HWND note = CreateNoteWindow(stored.note.title.c_str());
    NoteNode* node = note ? FindNote(note) : nullptr;
    if (!node)
        return nullptr;
    if (!SetWindowTextA(node->edit, stored.note.text.c_str()) ||
        !SetNoteVoicePath(note, stored.note.voicePath.c_str())) {
        DestroyWindow(note);
        return nullptr;
    }
    node->storedPlace = stored.place;
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
    std::vector<LoadedNote> notes;
    Store = StoreSession();
    if (StorePath[0] != '\0' && !Store.Load(StorePath, settings, notes))
        TellUnreadable();
    NoteWidth = settings.width;
    NoteHeight = settings.height;
    NoteColor = settings.color;
    NoteBrush.reset(CreateSolidBrush(NoteColor));

    for (const LoadedNote& stored : notes) {
        HWND note = RecreateNote(stored);
        if (!note) {
            Store.NotLoadedFrom(stored.place); // those sections stay in the file, unreached
            return;
        }
        // On screen and painted before its voice message holds the thread.
        UpdateWindow(note);
        // Nothing in a store handed over by someone else may make the program
        // contact a server or a device before the user acts: only files on
        // local drives play by themselves, the others when the user asks.
        if (!stored.note.voicePath.empty() && NamesLocalFile(stored.note.voicePath.c_str()))
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
    std::vector<NoteNode*> nodes;
    std::vector<NoteToSave> notes;
    ForEachNoteOldestFirst([&](NoteNode& node) {
        nodes.push_back(&node);
        notes.push_back(NoteToSave{SaveNote(node), node.storedPlace});
    });
    // The stored settings stay as the file has them unless the user chose new ones.
    const StoredSettings settings{NoteWidth, NoteHeight, NoteColor};
    std::vector<int> places;
    if (!Store.Save(StorePath, settings, AppearanceCommitted, notes, places))
        return false;
    for (std::size_t n = 0; n < nodes.size(); ++n)
        nodes[n]->storedPlace = places[n];
    return true;
}

bool AskToQuitUnsaved()
{
    const std::string message = std::string("Impossibile salvare gli appunti nel file\n") + StorePath +
                                "\n\nUscire senza salvare le modifiche?";
    return MessageBoxA(ControllerWindow, message.c_str(), WarningCaption,
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
}
