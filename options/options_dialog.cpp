#include "options/options_dialog.h"

// Only OK and Cancel close the dialog for now; its controls come later.
INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && (wParam == IDOK || wParam == IDCANCEL)) {
        EndDialog(dialog, wParam == IDOK);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}
