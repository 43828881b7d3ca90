#include "notes/note_registry.h"

#include <windows.h>

NoteNode* NoteListHead;

namespace {

NoteNode* AllocateNode()
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(NoteNode));
    if (!block)
        return nullptr;
    auto* node = static_cast<NoteNode*>(GlobalLock(block));
    if (!node)
        GlobalFree(block);
    return node;
}

void FreeNode(NoteNode* node)
{
    HGLOBAL block = GlobalHandle(node);
    GlobalUnlock(block);
    GlobalFree(block);
}

}  // namespace

bool AddNote(NoteWindow window)
{
    NoteNode* node = AllocateNode();
    if (!node)
        return false;
    node->window = window;
    if (NoteListHead) {
        node->NoteId = NoteListHead->NoteId + 1;
        node->next = NoteListHead;
        NoteListHead->prev = node;
    }
    NoteListHead = node;
    return true;
}

void RemoveNote(NoteWindow window)
{
    NoteNode* node = NoteListHead;
    while (node && node->window != window)
        node = node->next;
    if (!node)
        return;
    if (node->next)
        node->next->prev = node->prev;
    if (node->prev)
        node->prev->next = node->next;
    if (node == NoteListHead)
        NoteListHead = node->next;
    FreeNode(node);
}

void FreeNoteList()
{
    while (NoteListHead) {
        NoteNode* node = NoteListHead;
        NoteListHead = node->next;
        FreeNode(node);
    }
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
