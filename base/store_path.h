#ifndef APPUNTELLO_STORE_PATH_H
#define APPUNTELLO_STORE_PATH_H

#include <cstddef>
#include <string_view>

// The store sits beside the program: the module path with its last three
// characters replaced by "ini" (notes.exe gives notes.ini, notes.ex gives
// notesini). Returns false, leaving out untouched, when the path is shorter
// than three characters or the result does not fit in capacity.
bool DeriveStorePath(std::string_view modulePath, char* out, std::size_t capacity);

#endif
