// The names sync clients give the conflict copies of a file they could not
// bring together: the copy of one computer is put beside the file under a
// name of its own, and the program takes its notes in. Pure: no files.
#ifndef APPUNTELLO_STORE_CONFLICT_COPIES_H
#define APPUNTELLO_STORE_CONFLICT_COPIES_H

#include <string_view>

// Whether a file beside the store is a sync client's conflict copy of it, for
// the store "Appuntello.ini": Dropbox's "Appuntello (Mario's conflicted copy
// 2026-12-09).ini" and the Italian "Appuntello (copia in conflitto di Mario
// 2026-12-09).ini", Syncthing's "Appuntello.sync-conflict-20261209-101500-
// ABCDEF1.ini", OneDrive's "Appuntello-PORTATILE.ini" (the computer's name)
// and Google Drive's "Appuntello (1).ini". Only copies of this store's exact
// name: "Appuntello (vecchio) (conflicted copy).ini" is a copy of another
// store. Letter case does not count, except in OneDrive's computer name,
// which Windows writes in capitals ("Appuntello-vecchio.ini" is a user's).
bool IsConflictCopyName(std::string_view storeName, std::string_view fileName);

#endif
