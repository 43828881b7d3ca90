// A note's voice path: window word 0 of the note holds its buffer ("" = no
// voice message). The note window allocates and frees it; the voice messages
// and the controller's loading and saving read and write it.
#ifndef APPUNTELLO_VOICE_VOICE_PATH_H
#define APPUNTELLO_VOICE_VOICE_PATH_H

#include <windows.h>

// A zeroed buffer for a note's voice path, freed with FreeGlobalBlock.
char* AllocateVoicePath(SIZE_T capacity);
char* NoteVoicePath(HWND note);
// Replaces the voice path, growing the buffer for a path that does not fit
// the usual 260 characters; the change is one the store keeps. False when no
// memory could be had.
bool SetNoteVoicePath(HWND note, const char* path);

#endif
