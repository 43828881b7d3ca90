// Identifiers shared by the resource script and the code.
// Plain macros where windres must read them; the rest are typed constants.
#ifndef APPUNTELLO_RESOURCE_H
#define APPUNTELLO_RESOURCE_H

// Resources
#define IDR_TRAY_MENU 101
#define IDI_APPUNTELLO 102
#define IDR_NOTE_MENU 103
#define IDD_TITLE 105
#define IDD_OPTIONS 106

// Tray menu commands
#define IDM_NEW_NOTE 39999
#define IDM_EXIT 40003
#define IDM_SHOW_ALL 40008
#define IDM_HIDE_ALL 40009
#define IDM_DELETE_ALL 40010
#define IDM_OPTIONS 40011
#define IDM_NOTE_LIST 65535 // carrier of the note-list submenu; never acts

// Note menu commands
#define IDM_DELETE_NOTE 40004
#define IDM_HIDE_NOTE 40005
#define IDM_CHANGE_TITLE 40007
#define IDM_PLAY_VOICE 40012
#define IDM_RECORD_VOICE 40013
#define IDM_DISCARD_VOICE 40014

// Title dialog
#define IDC_TITLE_EDIT 1000

// Options dialog
#define IDC_WIDTH_SLIDER 1002
#define IDC_HEIGHT_SLIDER 1003
#define IDC_APPLY 1005
#define IDC_CHOOSE_COLOR 1007

#ifndef RC_INVOKED
constexpr unsigned TrayIconId = 17;
constexpr unsigned TrayCallbackMessage = 0x0400 + 1000; // WM_USER + 1000 = 2024
constexpr int NoteEditId = 1;
constexpr unsigned NoteListFirstCommand = 30000;
// Every id below the new-note command is reachable from the note list.
constexpr unsigned NoteListLastCommand = IDM_NEW_NOTE - 1;
constexpr int NoteListMaxId = static_cast<int>(NoteListLastCommand - NoteListFirstCommand);
constexpr int TrayMenuNoteListPosition = 2;
constexpr int NoteMenuVoicePosition = 3;

static_assert(TrayCallbackMessage == 2024, "the shell calls back with message 2024");
static_assert(NoteListMaxId == 9998, "note-list entries end below the new-note command");
static_assert(NoteListLastCommand < IDM_NEW_NOTE && IDM_NEW_NOTE < IDM_EXIT,
              "note-list commands must not collide with menu commands");
#endif

#endif
