// Captions of the program's own message boxes, written once for every floor.
#ifndef APPUNTELLO_BASE_CAPTIONS_H
#define APPUNTELLO_BASE_CAPTIONS_H

// Every warning the user must act on: the recorder's, the voice file's and the store's.
inline constexpr char WarningCaption[] = "Attenzione";

#endif
