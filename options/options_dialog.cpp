#include "options/options_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <iterator>

#include "base/screen_scale.h"
#include "base/shared_state.h"
#include "base/system_library.h"
#include "notes/note_registry.h"
#include "res/resource.h"

namespace {

// The picker's custom colours: white, the default yellow, then the mixes of
// full and half intensity.
constexpr COLORREF CustomColorTable[16] = {
    0x00FFFFFF, 0x0000FFFF, 0x00FF7FFF, 0x00007FFF, 0x00FF00FF, 0x000000FF, 0x00FFFF7F, 0x0000FF7F,
    0x00FF7F7F, 0x00007F7F, 0x00FF007F, 0x0000007F, 0x00FFFF00, 0x0000FF00, 0x00FF7F00, 0x00FF0000,
};

static_assert(sizeof(void*) != 4 || sizeof(CHOOSECOLORA) == 36, "the 32-bit colour request is 36 bytes");

// The colour chosen while the dialog is open and not yet committed, kept with
// the dialog (its user word); set from NoteColor at every opening.
COLORREF PendingColor(HWND dialog)
{
    return static_cast<COLORREF>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void SetPendingColor(HWND dialog, COLORREF color)
{
    SetWindowLongPtrA(dialog, DWLP_USER, static_cast<LONG_PTR>(color));
}

LRESULT ToSlider(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

int SliderPosition(HWND dialog, int id)
{
    return static_cast<int>(ToSlider(dialog, id, TBM_GETPOS, 0, 0));
}

void OnInitDialog(HWND dialog)
{
    // The range first, so that a stored size outside it lands on the nearer end.
    const LPARAM range = MAKELPARAM(SmallestNoteSize, LargestNoteSize);
    ToSlider(dialog, IDC_WIDTH_SLIDER, TBM_SETRANGE, TRUE, range);
    ToSlider(dialog, IDC_HEIGHT_SLIDER, TBM_SETRANGE, TRUE, range);
    ToSlider(dialog, IDC_WIDTH_SLIDER, TBM_SETTICFREQ, NoteSizeTickStep, 0);
    ToSlider(dialog, IDC_HEIGHT_SLIDER, TBM_SETTICFREQ, NoteSizeTickStep, 0);
    ToSlider(dialog, IDC_WIDTH_SLIDER, TBM_SETPOS, TRUE, NoteWidth);
    ToSlider(dialog, IDC_HEIGHT_SLIDER, TBM_SETPOS, TRUE, NoteHeight);
    SetPendingColor(dialog, NoteColor);
}

void OnOk(HWND dialog)
{
    NoteWidth = SliderPosition(dialog, IDC_WIDTH_SLIDER);
    NoteHeight = SliderPosition(dialog, IDC_HEIGHT_SLIDER);
    NoteColor = PendingColor(dialog);
    NoteChanged();
    EndDialog(dialog, 1);
}

// Shows the chosen size and colour on every open note, committing nothing.
void OnApply(HWND dialog)
{
    // The sliders give 96-DPI pixels, as the store keeps them.
    int cx = ToScreenPixels(SliderPosition(dialog, IDC_WIDTH_SLIDER));
    int cy = ToScreenPixels(SliderPosition(dialog, IDC_HEIGHT_SLIDER));

    // The new brush before the old one goes: if it cannot be had, the notes
    // keep painting with a brush that still exists.
    if (HBRUSH brush = CreateSolidBrush(PendingColor(dialog)))
        NoteBrush.reset(brush);

    ForEachNote([cx, cy](const NoteNode& node) {
        // Invalidated first, so that the colour changes even where the size does not.
        InvalidateRect(node.window, nullptr, TRUE);
        // Without activating it: the note would cover the dialog, which keeps the keyboard.
        SetWindowPos(node.window, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateWindow(node.window);
    });
}

void OnChooseColor(HWND dialog)
{
    // A fresh copy at every press: what the picker does to it is not kept.
    COLORREF customColors[16];
    std::copy(std::begin(CustomColorTable), std::end(CustomColorTable), customColors);

    // Without the picker the press is one that chose nothing.
    const ComdlgFunctions* comdlg = Comdlg();
    GlobalRecord<CHOOSECOLORA> request;
    if (!request || !comdlg)
        return;
    request->lStructSize = sizeof(CHOOSECOLORA);
    request->hwndOwner = dialog;
    request->rgbResult = PendingColor(dialog);
    request->lpCustColors = customColors;
    request->Flags = CC_RGBINIT | CC_PREVENTFULLOPEN;
    if (comdlg->ChooseColorA(request.get()))
        SetPendingColor(dialog, request->rgbResult);
}

} // namespace

INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE; // the dialog manager focuses "&OK"
    case WM_COMMAND:
        // The whole wParam: only notification code 0 (a click, Enter, Esc) acts.
        switch (wParam) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_APPLY:
            OnApply(dialog);
            return TRUE;
        case IDC_CHOOSE_COLOR:
            OnChooseColor(dialog);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
