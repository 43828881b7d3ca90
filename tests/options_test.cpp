// The Options dialog, opened from the tray command as the user opens it, with
// real notes on screen: the sliders, OK, Cancel, Apply and the colour picker,
// checked by what the user sees (sizes, visibility, pixels) and, for the
// picker, which is the system's, by the record the program hands it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/controller.h"
#include "app/startup.h"
#include "base/screen_scale.h"
#include "base/shared_state.h"
#include "base/system_library.h"
#include "notes/note_registry.h"
#include "notes/note_window.h"
#include "options/options_dialog.h"
#include "res/resource.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/program.h"
#include "voice/recorder.h"

using modal::HasOuterSize;
using modal::IsAt;
using modal::MoveSlider;
using modal::SliderPosition;

namespace {

constexpr COLORREF Yellow = 0x0000FFFF;
constexpr COLORREF Red = 0x000000FF;
constexpr COLORREF Green = 0x0000FF00;
constexpr COLORREF Blue = 0x00FF0000;

// The custom colours the colour button must offer, in order.
constexpr COLORREF OfferedCustomColours[16] = {
    0x00FFFFFF, 0x0000FFFF, 0x00FF7FFF, 0x00007FFF, 0x00FF00FF, 0x000000FF, 0x00FFFF7F, 0x0000FF7F,
    0x00FF7F7F, 0x00007F7F, 0x00FF007F, 0x0000007F, 0x00FFFF00, 0x0000FF00, 0x00FF7F00, 0x00FF0000,
};

// A pixel of the note's edit field, near its top-left corner but clear of the
// caret: an empty field shows only its background there.
COLORREF EditColour(HWND note, int x = 10, int y = 10)
{
    HWND edit = NoteEditOf(note);
    HDC dc = GetDC(edit);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(edit, dc);
    return colour;
}

// The pixel next to the field's bottom-right corner: shows the field's
// background only if the field was resized with its note.
COLORREF EditCornerColour(HWND note)
{
    RECT client = modal::ClientRect(NoteEditOf(note));
    return EditColour(note, client.right - 3, client.bottom - 3);
}

// Paints the note again from scratch, as after being uncovered.
void Repaint(HWND note)
{
    RedrawWindow(note, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// Presses a key in the dialog through its modal loop, where the dialog manager
// turns Enter and Esc into commands.
void PressKey(HWND dialog, WPARAM key)
{
    HWND focus = GetFocus();
    modal::PostKey(focus && IsChild(dialog, focus) ? focus : dialog, key);
}

// The colour picker, standing in for the system's in the program's table of
// common-dialog functions (base/system_library.h): it keeps a copy of each
// record the program hands it, scribbles over the custom colours as a user
// defining some would, and answers with the next colour given, or as Cancel
// for none.
struct PickerRequest {
    CHOOSECOLORA record;
    std::vector<COLORREF> custom;
};
std::vector<PickerRequest> PickerRequests;
std::deque<std::optional<COLORREF>> PickerAnswers;

BOOL WINAPI StandInPicker(LPCHOOSECOLORA record)
{
    PickerRequest request{*record, {}};
    if (record->lpCustColors) {
        request.custom.assign(record->lpCustColors, record->lpCustColors + 16);
        std::fill(record->lpCustColors, record->lpCustColors + 16, RGB(1, 2, 3));
    }
    PickerRequests.push_back(request);
    std::optional<COLORREF> answer;
    if (!PickerAnswers.empty()) {
        answer = PickerAnswers.front();
        PickerAnswers.pop_front();
    }
    if (answer)
        record->rgbResult = *answer;
    return answer.has_value();
}

class Picker {
  public:
    explicit Picker(std::initializer_list<std::optional<COLORREF>> answers)
        : table_(const_cast<ComdlgFunctions*>(Comdlg())) // resolved once, kept for the run
    {
        PickerRequests.clear();
        PickerAnswers.assign(answers);
        if (table_) {
            real_ = table_->ChooseColorA;
            table_->ChooseColorA = StandInPicker;
        }
    }
    ~Picker()
    {
        if (table_)
            table_->ChooseColorA = real_;
        EXPECT_TRUE(PickerAnswers.empty()) << "the picker was opened fewer times than expected";
    }
    Picker(const Picker&) = delete;
    Picker& operator=(const Picker&) = delete;

    const std::vector<PickerRequest>& Requests() const { return PickerRequests; }

  private:
    ComdlgFunctions* table_;
    decltype(ComdlgFunctions::ChooseColorA) real_ = nullptr;
};

// The record of one opening of the picker: owned by the Options dialog,
// opening on that colour with the sixteen custom colours, never fully open.
void ExpectPicker(const PickerRequest& request, HWND options, COLORREF opensOn, Where at = Here())
{
    TRACE_CALLER(at);
    EXPECT_EQ(request.record.lStructSize, sizeof(CHOOSECOLORA));
    EXPECT_EQ(request.record.hwndOwner, options) << "the picker belongs to the Options dialog";
    EXPECT_EQ(request.record.rgbResult, opensOn);
    EXPECT_EQ(request.record.Flags, static_cast<DWORD>(CC_RGBINIT | CC_PREVENTFULLOPEN))
        << "it opens on the colour, and custom colours cannot be defined";
    EXPECT_EQ(request.custom,
              std::vector<COLORREF>(std::begin(OfferedCustomColours), std::end(OfferedCustomColours)));
}

// The program inside the test process: both window classes, the controller
// window with its store in a scratch folder (missing, so no notes at start),
// and the default note size and colour.
class OptionsDialog : public ProgramTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        ASSERT_NE(NoteBrush.get(), nullptr);
        ASSERT_EQ(NoteListHead, nullptr);
    }

    // A note painted at once, as the user would see it.
    HWND NewNote(const char* title = "Nota", Where at = Here())
    {
        HWND note = ProgramTest::NewNote(title, at);
        UpdateWindow(note);
        return note;
    }
};

} // namespace

// Through the tray menu, as the user opens it: the dialog disables only the
// controller, so the notes take typing and their own menu while it is open,
// and Apply acts on the notes that are still there.
TEST_F(OptionsDialog, OpensFromTheTrayMenuAndLeavesTheNotesUsable)
{
    HWND kept = NewNote("Tenuta");
    HWND deleted = NewNote("Eliminata");
    HWND dialog = nullptr;

    modal::Script script;
    script.Menu(IDM_OPTIONS)
        .Dialog(OptionsCaption,
                [&](HWND options) {
                    dialog = options;
                    EXPECT_EQ(GetWindow(options, GW_OWNER), controller);
                    EXPECT_FALSE(IsWindowEnabled(controller));
                    EXPECT_TRUE(IsWindowEnabled(kept));
                    EXPECT_TRUE(IsWindowEnabled(deleted));

                    HWND edit = NoteEditOf(kept);
                    modal::TypeText(edit, "ciao");
                    EXPECT_EQ(modal::WindowText(edit), "ciao");

                    // The note's context menu, from the keyboard; its step follows.
                    SendMessageA(deleted, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(deleted), -1);
                    EXPECT_FALSE(IsWindow(deleted));

                    MoveSlider(options, IDC_WIDTH_SLIDER, 200);
                    modal::Click(options, IDC_APPLY);
                    EXPECT_TRUE(HasOuterSize(kept, 200, 120));
                    EXPECT_TRUE(IsWindow(options)) << "Apply closed the dialog";
                    modal::Click(options, IDCANCEL);
                })
        .Menu(IDM_DELETE_NOTE);
    SendTrayEvent(controller, WM_LBUTTONUP);
    EXPECT_TRUE(script.WaitDone(5000));
    EXPECT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(controller));
    EXPECT_EQ(NoteWidth, 160);
}

TEST_F(OptionsDialog, SlidersOpenOnTheNoteSizeWithATickEveryForty)
{
    NoteWidth = 200;
    NoteHeight = 360;
    HWND note = NewNote();
    Options([&](HWND dialog) {
        for (int id : {IDC_WIDTH_SLIDER, IDC_HEIGHT_SLIDER}) {
            HWND slider = GetDlgItem(dialog, id);
            EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 40) << id;
            EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 480) << id;
            // The two ends and the ten marks between them.
            ASSERT_EQ(SendMessageA(slider, TBM_GETNUMTICS, 0, 0), 12) << id;
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(SendMessageA(slider, TBM_GETTIC, i, 0), 80 + 40 * i) << id;
        }
        EXPECT_EQ(SliderPosition(dialog, IDC_WIDTH_SLIDER), 200);
        EXPECT_EQ(SliderPosition(dialog, IDC_HEIGHT_SLIDER), 360);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));

        // Moving the sliders alone changes neither the settings nor the notes.
        MoveSlider(dialog, IDC_WIDTH_SLIDER, 100);
        MoveSlider(dialog, IDC_HEIGHT_SLIDER, 420);
        EXPECT_EQ(NoteWidth, 200);
        EXPECT_EQ(NoteHeight, 360);
        EXPECT_TRUE(HasOuterSize(note, 200, 360));
        modal::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(NoteWidth, 200);
    EXPECT_EQ(NoteHeight, 360);
    EXPECT_TRUE(HasOuterSize(note, 200, 360));
}

TEST_F(OptionsDialog, SizesOutsideTheRangeOpenAtTheNearerEndWhichOkCommitsAndCancelDoesNot)
{
    NoteWidth = 600;
    NoteHeight = 0;
    Options([&](HWND dialog) {
        EXPECT_EQ(SliderPosition(dialog, IDC_WIDTH_SLIDER), 480);
        EXPECT_EQ(SliderPosition(dialog, IDC_HEIGHT_SLIDER), 40);
        modal::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(NoteWidth, 600);
    EXPECT_EQ(NoteHeight, 0);

    Options([&](HWND dialog) { modal::Click(dialog, IDOK); });
    EXPECT_EQ(NoteWidth, 480);
    EXPECT_EQ(NoteHeight, 40);
}

// OK commits size and colour for what comes later; the open notes keep their
// size, and the brush, hence their colour, stays.
TEST_F(OptionsDialog, OkCommitsSizeAndColourAndLeavesTheScreenAlone)
{
    HWND before = NewNote();
    HBRUSH brush = NoteBrush.get();
    ASSERT_EQ(EditColour(before), Yellow);

    {
        Picker picker({Red});
        Options([&](HWND dialog) {
            MoveSlider(dialog, IDC_WIDTH_SLIDER, 240);
            MoveSlider(dialog, IDC_HEIGHT_SLIDER, 180);
            modal::Click(dialog, IDC_CHOOSE_COLOR);
            modal::Click(dialog, IDOK);
        });
    }

    EXPECT_EQ(NoteWidth, 240);
    EXPECT_EQ(NoteHeight, 180);
    EXPECT_EQ(NoteColor, Red);
    EXPECT_EQ(NoteBrush.get(), brush);
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_TRUE(HasOuterSize(before, 160, 120));
    Repaint(before);
    EXPECT_EQ(EditColour(before), Yellow);

    HWND after = NewNote("Dopo");
    EXPECT_TRUE(HasOuterSize(after, 240, 180));
    EXPECT_EQ(EditColour(after), Yellow) << "the brush is rebuilt only by Apply or at the next start";
}

// Every note, hidden ones too, takes the outer size in place, even where it
// then reaches past the screen's edge, and repaints with the pending colour;
// the settings stay.
TEST_F(OptionsDialog, ApplyResizesEveryNoteInPlaceAndRepaintsItWithoutCommitting)
{
    HWND first = NewNote("Prima");
    HWND hidden = NewNote("Nascosta");
    HWND atEdge = NewNote("Sul bordo");
    ShowWindow(hidden, SW_HIDE);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(atEdge, nullptr, screenWidth - 100, screenHeight - 80, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(atEdge);
    const std::vector<HWND> notes{first, hidden, atEdge};
    std::vector<POINT> places;
    for (HWND note : notes)
        places.push_back(POINT{modal::WindowRect(note).left, modal::WindowRect(note).top});
    ASSERT_EQ(EditColour(first), Yellow);
    ASSERT_EQ(EditColour(atEdge), Yellow);

    NoteColor = Blue; // committed earlier without Apply: not on screen yet
    Options([&](HWND dialog) {
        MoveSlider(dialog, IDC_WIDTH_SLIDER, 280);
        MoveSlider(dialog, IDC_HEIGHT_SLIDER, 200);
        modal::Click(dialog, IDC_APPLY);
        // A note that took the keyboard would cover the dialog, which Esc then no longer reaches.
        EXPECT_EQ(GetActiveWindow(), dialog) << "Apply activated a note";
        EXPECT_TRUE(IsChild(dialog, GetFocus()));

        for (size_t i = 0; i < notes.size(); ++i) {
            EXPECT_TRUE(HasOuterSize(notes[i], 280, 200)) << "note " << i;
            EXPECT_TRUE(IsAt(notes[i], places[i])) << "note " << i;
            RECT noteClient = modal::ClientRect(notes[i]),
                 editClient = modal::ClientRect(NoteEditOf(notes[i]));
            EXPECT_EQ(editClient.right, noteClient.right) << "the field fills note " << i;
            EXPECT_EQ(editClient.bottom, noteClient.bottom) << "the field fills note " << i;
        }
        RECT edge = modal::WindowRect(atEdge);
        EXPECT_GT(edge.right, screenWidth);
        EXPECT_GT(edge.bottom, screenHeight);
        EXPECT_FALSE(IsWindowVisible(hidden));

        // Painted by Apply itself, before the dialog's loop runs again.
        EXPECT_EQ(EditColour(first), Blue);
        EXPECT_EQ(EditCornerColour(first), Blue);
        EXPECT_EQ(EditColour(atEdge), Blue);

        EXPECT_EQ(NoteWidth, 160);
        EXPECT_EQ(NoteHeight, 120);
        EXPECT_EQ(NoteColor, Blue);
        modal::Click(dialog, IDOK);
    });
    EXPECT_EQ(NoteWidth, 280);
    EXPECT_EQ(NoteHeight, 200);

    ShowWindow(hidden, SW_SHOWNOACTIVATE);
    UpdateWindow(hidden);
    EXPECT_TRUE(HasOuterSize(hidden, 280, 200));
    EXPECT_EQ(EditColour(hidden), Blue);
    EXPECT_EQ(EditCornerColour(hidden), Blue);
}

// The colour shows even where the size stays, and with no note open Apply
// only replaces the brush.
TEST_F(OptionsDialog, ApplyRepaintsWhereTheSizeStaysAndNeedsNoNotes)
{
    HBRUSH original = NoteBrush.get();
    NoteColor = Green;
    Options([&](HWND dialog) {
        modal::Click(dialog, IDC_APPLY);
        modal::Click(dialog, IDCANCEL);
    });
    EXPECT_NE(NoteBrush.get(), original);
    EXPECT_EQ(GetObjectType(original), 0u) << "the replaced brush was not deleted";
    LOGBRUSH brush{};
    ASSERT_TRUE(GetObjectA(NoteBrush.get(), sizeof brush, &brush));
    EXPECT_EQ(brush.lbColor, Green);

    HWND note = NewNote();
    ASSERT_EQ(EditColour(note), Green);
    NoteColor = Red;
    Options([&](HWND dialog) {
        modal::Click(dialog, IDC_APPLY);
        EXPECT_TRUE(HasOuterSize(note, 160, 120));
        EXPECT_EQ(EditColour(note), Red);
        modal::Click(dialog, IDCANCEL);
    });
}

// Apply then Cancel: the notes keep what was applied, the settings do not
// change, and the next opening starts from the settings, not from the screen.
TEST_F(OptionsDialog, ApplyThenCancelKeepsTheScreenAndTheNextOpeningStartsFromTheSettings)
{
    HWND open = NewNote("Aperta");
    {
        Picker picker({Green});
        Options([&](HWND dialog) {
            MoveSlider(dialog, IDC_WIDTH_SLIDER, 300);
            MoveSlider(dialog, IDC_HEIGHT_SLIDER, 220);
            modal::Click(dialog, IDC_CHOOSE_COLOR);
            modal::Click(dialog, IDC_APPLY);
            modal::Click(dialog, IDCANCEL);
        });
    }

    EXPECT_EQ(NoteWidth, 160);
    EXPECT_EQ(NoteHeight, 120);
    EXPECT_EQ(NoteColor, Yellow);
    EXPECT_TRUE(HasOuterSize(open, 300, 220));
    Repaint(open);
    EXPECT_EQ(EditColour(open), Green);

    HWND created = NewNote("Creata dopo");
    EXPECT_TRUE(HasOuterSize(created, 160, 120));
    EXPECT_EQ(EditColour(created), Green) << "all notes share the applied brush";

    HWND options = nullptr;
    Picker picker({std::nullopt});
    Options([&](HWND dialog) {
        options = dialog;
        EXPECT_EQ(SliderPosition(dialog, IDC_WIDTH_SLIDER), 160);
        EXPECT_EQ(SliderPosition(dialog, IDC_HEIGHT_SLIDER), 120);
        modal::Click(dialog, IDC_CHOOSE_COLOR);
        modal::Click(dialog, IDCANCEL);
    });
    ASSERT_EQ(picker.Requests().size(), 1u);
    ExpectPicker(picker.Requests()[0], options, Yellow);
    EXPECT_TRUE(HasOuterSize(open, 300, 220));
}

// Each press opens the picker on the pending colour with the same sixteen
// custom colours, whatever the last picker did to them; a confirmed colour
// becomes pending, a cancelled one does not.
TEST_F(OptionsDialog, ColourPickerOpensOnThePendingColourWithTheSixteenCustomColours)
{
    NoteColor = RGB(10, 20, 30);
    HWND note = NewNote();
    HWND options = nullptr;
    Picker picker({Blue, std::nullopt, std::nullopt});
    Options([&](HWND dialog) {
        options = dialog;
        modal::Click(dialog, IDC_CHOOSE_COLOR);
        modal::Click(dialog, IDC_CHOOSE_COLOR);
        modal::Click(dialog, IDC_CHOOSE_COLOR);
        modal::Click(dialog, IDC_APPLY);
        EXPECT_EQ(EditColour(note), Blue);
        modal::Click(dialog, IDOK);
    });
    EXPECT_EQ(NoteColor, Blue);
    ASSERT_EQ(picker.Requests().size(), 3u);
    ExpectPicker(picker.Requests()[0], options, RGB(10, 20, 30));
    ExpectPicker(picker.Requests()[1], options, Blue);
    ExpectPicker(picker.Requests()[2], options, Blue);
}

// A colour chosen and then Cancel leaves no trace: the next opening starts
// from the committed colour.
TEST_F(OptionsDialog, ChosenColourIsForgottenOnCancel)
{
    HWND note = NewNote();
    HWND options = nullptr;
    Picker picker({Red, std::nullopt});
    modal::Script script;
    script
        .Dialog(OptionsCaption,
                [&](HWND dialog) {
                    modal::Click(dialog, IDC_CHOOSE_COLOR);
                    modal::Click(dialog, IDCANCEL);
                })
        .Dialog(OptionsCaption, [&](HWND dialog) {
            options = dialog;
            modal::Click(dialog, IDC_CHOOSE_COLOR);
            modal::Click(dialog, IDC_APPLY);
            modal::Click(dialog, IDCANCEL);
        });
    SendMessageA(controller, WM_COMMAND, IDM_OPTIONS, 0);
    SendMessageA(controller, WM_COMMAND, IDM_OPTIONS, 0);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(NoteColor, Yellow);
    EXPECT_EQ(EditColour(note), Yellow);
    ASSERT_EQ(picker.Requests().size(), 2u);
    ExpectPicker(picker.Requests()[1], options, Yellow);
}

// Enter is the default button, OK; Esc and the caption's close box are Cancel.
// The dialog ends with 1 after OK and 0 otherwise.
TEST_F(OptionsDialog, EnterIsOkEscAndTheCloseBoxAreCancel)
{
    auto run = [&](std::function<void(HWND)> close) {
        modal::Script script;
        script.Dialog(OptionsCaption, [&](HWND dialog) {
            MoveSlider(dialog, IDC_WIDTH_SLIDER, 320);
            close(dialog);
        });
        INT_PTR result =
            DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_OPTIONS), controller, OptionsDlgProc, 0);
        EXPECT_TRUE(script.Done());
        return result;
    };
    EXPECT_EQ(run([](HWND dialog) { PressKey(dialog, VK_ESCAPE); }), 0);
    EXPECT_EQ(NoteWidth, 160);
    EXPECT_EQ(run([](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }), 0);
    EXPECT_EQ(NoteWidth, 160);
    EXPECT_EQ(run([](HWND dialog) { PressKey(dialog, VK_RETURN); }), 1);
    EXPECT_EQ(NoteWidth, 320);
}

// Each Apply replaces the brush: after a hundred presses only the last one
// exists.
TEST_F(OptionsDialog, HundredAppliesLeakNoBrush)
{
    NewNote("Una");
    NewNote("Due");
    Options([](HWND dialog) {
        modal::Click(dialog, IDC_APPLY);
        modal::Click(dialog, IDCANCEL);
    });
    std::vector<HBRUSH> brushes{NoteBrush.get()};
    Options([&](HWND dialog) {
        for (int i = 0; i < 100; ++i) {
            modal::Click(dialog, IDC_APPLY);
            brushes.push_back(NoteBrush.get());
        }
        modal::Click(dialog, IDCANCEL);
    });
    for (size_t i = 0; i + 1 < brushes.size(); ++i)
        ASSERT_EQ(GetObjectType(brushes[i]), 0u)
            << "brush " << i << " of " << brushes.size() << " still exists";
    EXPECT_EQ(GetObjectType(brushes.back()), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(brushes.back(), NoteBrush.get());
}
