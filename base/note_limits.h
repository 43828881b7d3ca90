// What a note holds and how notes look: the limits and defaults that the note
// window, the store and the Options dialog share, written once.
#ifndef APPUNTELLO_BASE_NOTE_LIMITS_H
#define APPUNTELLO_BASE_NOTE_LIMITS_H

// A title is what a caption keeps: 63 characters and the terminating NUL.
constexpr int TitleCapacity = 64;
// What the user can type into a note.
constexpr int NoteTextLimit = 1024;
// The usual voice path buffer; a longer stored path gets a larger one.
constexpr int VoicePathCapacity = 260;

// Outer size of a note in pixels, frame and caption included.
constexpr int DefaultNoteWidth = 160;
constexpr int DefaultNoteHeight = 120;
// The Options dialog's sliders offer this range. A stored size outside it is
// used as it is (a hand-set 600 gives 600-pixel notes) unless it is no size at
// all: 0 or less gives the smallest size offered, and one beyond what window
// coordinates hold gives the largest they hold.
constexpr int SmallestNoteSize = 40;
constexpr int LargestNoteSize = 480;
constexpr int LargestWindowExtent = 32767;
constexpr int NoteSizeTickStep = 40;

// 0x00BBGGRR: yellow.
constexpr unsigned long DefaultNoteColor = 0x0000FFFF;

#endif
