// The Options dialog: note size and background colour, with a preview.
#ifndef APPUNTELLO_OPTIONS_DIALOG_H
#define APPUNTELLO_OPTIONS_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
