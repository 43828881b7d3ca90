// The menus, dialog templates, icon and version resource, read back from the
// module item by item and control by control.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/modal.h"

namespace {

HINSTANCE Instance()
{
    return GetModuleHandleA(nullptr);
}

using modal::MenuItem;
using modal::MenuItems;
using modal::Separator;

// A DIALOG (not DIALOGEX) template read field by field.
struct TemplateControl {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::string className;
    std::string text;
};
struct Template {
    DWORD style;
    short x, y, cx, cy;
    std::string caption;
    WORD pointSize;
    std::string face;
    std::vector<TemplateControl> controls;
};

std::string ReadWideString(const WORD*& p)
{
    std::string s;
    while (*p)
        s += static_cast<char>(*p++);
    ++p;
    return s;
}

std::string ReadClassOrString(const WORD*& p)
{
    if (*p == 0xFFFF) {
        WORD atom = p[1];
        p += 2;
        switch (atom) {
        case 0x80:
            return "Button";
        case 0x81:
            return "Edit";
        case 0x82:
            return "Static";
        default:
            return "#" + std::to_string(atom);
        }
    }
    return ReadWideString(p);
}

Template ReadTemplate(int id)
{
    HRSRC found = FindResourceA(Instance(), MAKEINTRESOURCEA(id), RT_DIALOG);
    auto* header = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(Instance(), found)));
    Template t{};
    t.style = header->style;
    t.x = header->x;
    t.y = header->y;
    t.cx = header->cx;
    t.cy = header->cy;
    auto* p = reinterpret_cast<const WORD*>(header + 1);
    ReadClassOrString(p); // menu
    ReadClassOrString(p); // class
    t.caption = ReadWideString(p);
    if (t.style & DS_SETFONT) {
        t.pointSize = *p++;
        t.face = ReadWideString(p);
    }
    for (int i = 0; i < header->cdit; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        TemplateControl c{item->style, item->x, item->y, item->cx, item->cy, item->id, {}, {}};
        p = reinterpret_cast<const WORD*>(item + 1);
        c.className = ReadClassOrString(p);
        c.text = ReadClassOrString(p);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        t.controls.push_back(c);
    }
    return t;
}

INT_PTR CALLBACK PassiveDialog(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Tab order as the dialog manager walks it, from the first tab stop.
std::vector<int> TabOrder(HWND dialog)
{
    std::vector<int> ids;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND c = first; c; c = GetNextDlgTabItem(dialog, c, FALSE)) {
        ids.push_back(GetDlgCtrlID(c));
        if (ids.size() > 20 || GetNextDlgTabItem(dialog, c, FALSE) == first)
            break;
    }
    return ids;
}

constexpr DWORD DialogStyle = 0x80C800C0; // pop-up, caption, system menu, modal frame, set-font

} // namespace

TEST(Menus, TrayMenuItemByItem)
{
    HMENU menu = LoadMenuA(Instance(), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuItems(menu), (std::vector<MenuItem>{{"Appuntello", static_cast<UINT>(-1)}}));
    EXPECT_EQ(MenuItems(GetSubMenu(menu, 0)), (std::vector<MenuItem>{{"&Nuovo Memino", 39999},
                                                                     Separator,
                                                                     {"&Leggi Memino", 65535},
                                                                     Separator,
                                                                     {"&Mostra Tutti", 40008},
                                                                     {"N&ascondi Tutti", 40009},
                                                                     Separator,
                                                                     {"&Elimina Tutti", 40010},
                                                                     Separator,
                                                                     {"&Opzioni", 40011},
                                                                     Separator,
                                                                     {"E&sci", 40003}}));
    EXPECT_EQ(GetSubMenu(GetSubMenu(menu, 0), 2), nullptr) << "the note list is attached at run time";
    DestroyMenu(menu);
}

TEST(Menus, NoteMenuItemByItem)
{
    HMENU menu = LoadMenuA(Instance(), MAKEINTRESOURCEA(IDR_NOTE_MENU));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuItems(menu), (std::vector<MenuItem>{{"Foglietto", static_cast<UINT>(-1)}}));
    HMENU popup = GetSubMenu(menu, 0);
    EXPECT_EQ(MenuItems(popup), (std::vector<MenuItem>{{"&Elimina Memino", 40004},
                                                       {"&Nascondi Memino", 40005},
                                                       {"&Cambia Titolo", 40007},
                                                       {"&Messaggio Vocale", static_cast<UINT>(-1)}}));
    EXPECT_EQ(MenuItems(GetSubMenu(popup, 3)), (std::vector<MenuItem>{{"&Ascolta Messaggio", 40012},
                                                                      {"&Registra Messaggio", 40013},
                                                                      {"Cance&lla Messaggio", 40014}}));
    DestroyMenu(menu);
}

TEST(DialogTemplates, TitleDialogAsDesigned)
{
    Template t = ReadTemplate(IDD_TITLE);
    EXPECT_EQ(t.style, DialogStyle);
    EXPECT_EQ(t.caption, "Cambia Titolo");
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 186);
    EXPECT_EQ(t.cy, 49);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.face, "MS Sans Serif");
    ASSERT_EQ(t.controls.size(), 3u);
    const DWORD common = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    EXPECT_EQ(t.controls[0].id, IDOK);
    EXPECT_EQ(t.controls[0].style, common | BS_DEFPUSHBUTTON);
    EXPECT_EQ(t.controls[0].text, "&OK");
    EXPECT_EQ(t.controls[1].id, IDCANCEL);
    EXPECT_EQ(t.controls[1].style, common | BS_PUSHBUTTON);
    EXPECT_EQ(t.controls[1].text, "&Annulla");
    EXPECT_EQ(t.controls[2].id, 1000);
    EXPECT_EQ(t.controls[2].className, "Edit");
    EXPECT_EQ(t.controls[2].style, common | WS_BORDER | ES_AUTOHSCROLL);
    short geometry[3][4] = {{16, 24, 50, 14}, {118, 24, 50, 14}, {7, 7, 172, 12}};
    for (int i = 0; i < 3; ++i) {
        const TemplateControl& c = t.controls[i];
        EXPECT_EQ((std::vector<short>{c.x, c.y, c.cx, c.cy}),
                  (std::vector<short>{geometry[i][0], geometry[i][1], geometry[i][2], geometry[i][3]}))
            << "control " << c.id;
    }
}

TEST(DialogTemplates, OptionsDialogAsDesigned)
{
    Template t = ReadTemplate(IDD_OPTIONS);
    EXPECT_EQ(t.style, DialogStyle);
    EXPECT_EQ(t.caption, "Opzioni");
    EXPECT_EQ(t.cx, 186);
    EXPECT_EQ(t.cy, 125);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.face, "MS Sans Serif");
    struct Expected {
        WORD id;
        const char* className;
        const char* text;
        short x, y, cx, cy;
        DWORD style;
    };
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD slider = child | WS_TABSTOP | TBS_AUTOTICKS | TBS_TOP | TBS_ENABLESELRANGE;
    const Expected expected[] = {
        {IDOK, "Button", "&OK", 7, 104, 50, 14, child | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {IDCANCEL, "Button", "&Annulla", 129, 104, 50, 14, child | WS_TABSTOP},
        {1002, "msctls_trackbar32", "Slider1", 15, 35, 150, 12, slider},
        {1003, "msctls_trackbar32", "Slider2", 15, 65, 150, 12, slider},
        {0xFFFF, "Static", "Larghezza", 20, 55, 63, 10, child | WS_GROUP | SS_LEFT},
        {0xFFFF, "Static", "Altezza", 20, 85, 63, 10, child | WS_GROUP | SS_LEFT},
        {1005, "Button", "A&ggiorna", 68, 104, 50, 14, child | WS_TABSTOP},
        {1007, "Button", "&Cambia Sfondo", 68, 10, 50, 14, child | WS_TABSTOP},
    };
    ASSERT_EQ(t.controls.size(), std::size(expected));
    for (size_t i = 0; i < t.controls.size(); ++i) {
        const TemplateControl& c = t.controls[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(e.text);
        EXPECT_EQ(c.id, e.id);
        // Class names are matched without regard to case (windres upper-cases them).
        EXPECT_EQ(lstrcmpiA(c.className.c_str(), e.className), 0) << c.className;
        EXPECT_EQ(c.text, e.text);
        EXPECT_EQ((std::vector<short>{c.x, c.y, c.cx, c.cy}), (std::vector<short>{e.x, e.y, e.cx, e.cy}));
        EXPECT_EQ(c.style, e.style);
    }
}

// The live dialogs: the controls the dialog manager creates and their tab order.
TEST(DialogTemplates, CreatedDialogsHaveTheirControlsAndTabOrder)
{
    HWND title = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_TITLE), nullptr, PassiveDialog, 0);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(modal::WindowText(title), "Cambia Titolo");
    EXPECT_EQ(modal::ClassName(GetDlgItem(title, 1000)), "Edit");
    EXPECT_EQ(modal::WindowText(GetDlgItem(title, IDOK)), "&OK");
    EXPECT_EQ(modal::WindowText(GetDlgItem(title, IDCANCEL)), "&Annulla");
    EXPECT_EQ(TabOrder(title), (std::vector<int>{IDOK, IDCANCEL, 1000}));
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(title, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    DestroyWindow(title);

    HWND options = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_OPTIONS), nullptr, PassiveDialog, 0);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(modal::WindowText(options), "Opzioni");
    EXPECT_EQ(modal::ClassName(GetDlgItem(options, 1002)), "msctls_trackbar32");
    EXPECT_EQ(modal::ClassName(GetDlgItem(options, 1003)), "msctls_trackbar32");
    EXPECT_EQ(modal::WindowText(GetDlgItem(options, 1005)), "A&ggiorna");
    EXPECT_EQ(modal::WindowText(GetDlgItem(options, 1007)), "&Cambia Sfondo");
    EXPECT_EQ(TabOrder(options), (std::vector<int>{IDOK, IDCANCEL, 1002, 1003, 1005, 1007}));
    RECT rect = modal::WindowRect(options);
    EXPECT_EQ(rect.left, 0) << "no centring: the dialog opens at its owner's corner";
    EXPECT_EQ(rect.top, 0);
    DestroyWindow(options);
}

// The tray and the captions show it at 16 to 24 pixels, the Alt+Tab list at
// 32 or 48: each size has a picture drawn for it, which the system picks
// instead of shrinking a larger one (its lines would vanish).
TEST(ProgramResources, IconHasAPictureForEachSizeItIsShownAt)
{
    HRSRC group = FindResourceA(Instance(), MAKEINTRESOURCEA(IDI_APPUNTELLO), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(Instance(), group)));
    for (int size : {16, 20, 24, 32, 48}) {
        int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC picture = FindResourceA(Instance(), MAKEINTRESOURCEA(id), RT_ICON);
        ASSERT_NE(picture, nullptr) << size;
        auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Instance(), picture)));
        EXPECT_EQ(header->biWidth, size) << "no picture drawn at this size";
        // Wine's tray cuts the mask of a picture whose width is no multiple of 16.
        EXPECT_TRUE(size % 16 == 0 || header->biBitCount == 32) << size << " pixels need alpha";
    }
}

// Visual styles and awareness of the DPI setting, but no execution level:
// declaring one would switch off the file virtualisation that lets a program
// under Program Files keep its store.
TEST(ProgramResources, ManifestAsksForVisualStylesAndDpiAwarenessButNoExecutionLevel)
{
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    const std::string manifest(text, SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos);
    // Wine treats every program as aware of the DPI setting; Windows stretches
    // a program that does not declare it.
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

TEST(ProgramResources, VersionDescribesTheProgramInItalian)
{
    HRSRC found = FindResourceA(Instance(), MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    DWORD size = SizeofResource(Instance(), found);
    std::vector<char> copy(static_cast<const char*>(LockResource(LoadResource(Instance(), found))),
                           static_cast<const char*>(LockResource(LoadResource(Instance(), found))) + size);
    copy.resize(size * 3); // VerQueryValueA converts in place after the data
    char* description = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(copy.data(), "\\StringFileInfo\\041004b0\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
    EXPECT_STREQ(description, "Utility per creare appunti volanti");
    char* version = nullptr;
    ASSERT_TRUE(VerQueryValueA(copy.data(), "\\StringFileInfo\\041004b0\\FileVersion",
                               reinterpret_cast<void**>(&version), &length));
    EXPECT_STREQ(version, "1, 0, 0, 1");
    char* copyright = nullptr;
    ASSERT_TRUE(VerQueryValueA(copy.data(), "\\StringFileInfo\\041004b0\\LegalCopyright",
                               reinterpret_cast<void**>(&copyright), &length));
    EXPECT_NE(std::string(copyright).find("Licenza MIT"), std::string::npos) << copyright;
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
}

TEST(ProgramResources, MenusAndDialogsAreItalian)
{
    EXPECT_NE(FindResourceExA(Instance(), RT_MENU, MAKEINTRESOURCEA(IDR_TRAY_MENU),
                              MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN)),
              nullptr);
    EXPECT_NE(FindResourceExA(Instance(), RT_DIALOG, MAKEINTRESOURCEA(IDD_OPTIONS),
                              MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN)),
              nullptr);
}
