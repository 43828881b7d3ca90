// The native build's store text: ANSI files only, as the simulated copies of
// the program write them. The Windows build converts through the system's
// code pages (store/store_text.cpp), which this machine's build cannot reach.
#include "store/store_text.h"

StoreEncoding DecodeStoreBytes(std::string_view fileBytes, std::string& text)
{
    text.assign(fileBytes.begin(), fileBytes.end());
    return StoreEncoding::Ansi;
}

std::string EncodeStoreBytes(std::string_view text, StoreEncoding)
{
    return std::string(text);
}

std::string StoreToNoteText(std::string_view text, StoreEncoding)
{
    return std::string(text);
}

std::string NoteToStoreText(std::string_view text, StoreEncoding)
{
    return std::string(text);
}
