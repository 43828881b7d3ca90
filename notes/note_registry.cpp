#include "notes/note_registry.h"

#include <windows.h>

#include "base/handles.h"
#include "base/shared_state.h"

NoteNode* AddNote(NoteWindow window)
{
    auto* node = static_cast<NoteNode*>(AllocateGlobalBlock(sizeof(NoteNode)));
    if (!node)
        return nullptr;
    node->window = window;
    if (NoteListHead) {
        node->NoteId = NoteListHead->NoteId + 1;
        node->next = NoteListHead;
        NoteListHead->prev = node;
    }
    NoteListHead = node;
    return node;
}

void RemoveNote(NoteWindow window)
{
    NoteNode* node = FindNote(window);
    if (!node)
        return;
    if (node->next)
        node->next->prev = node->prev;
    if (node->prev)
        node->prev->next = node->next;
    if (node == NoteListHead)
        NoteListHead = node->next;
    FreeGlobalBlock(node);
}

void FreeNoteList()
{
    while (NoteListHead) {
        NoteNode* node = NoteListHead;
        NoteListHead = node->next;
        FreeGlobalBlock(node);
    }
}

NoteNode* FindNote(NoteWindow window)
{
    for (NoteNode* node = NoteListHead; node; node = node->next)
        if (node->window == window)
            return node;
    return nullptr;
}

NoteNode* FindNoteById(int id)
{
    for (NoteNode* node = NoteListHead; node; node = node->next)
        if (node->NoteId == id)
            return node;
    return nullptr;
}

void ShowNoteById(int id)
{
    if (NoteNode* node = FindNoteById(id))
        SetWindowPos(node->window, HWND_TOP, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
}

bool IsShownNote(NoteWindow window)
{
    return window && FindNote(window) && IsWindowVisible(window) && !IsIconic(window);
}

NoteWindow NoteToTakeKeyboardFrom(NoteWindow leaving)
{
    const NoteNode* node = FindNote(leaving);
    if (node && node->keyboardBefore != leaving && IsShownNote(node->keyboardBefore))
        return node->keyboardBefore;
    for (const NoteNode* other = NoteListHead; other; other = other->next)
        if (other->window != leaving && IsShownNote(other->window))
            return other->window;
    return nullptr;
}

void DestroyAllNotes()
{
    ForEachNote([](NoteNode& node) { DestroyWindow(node.window); });
}
