/* The one list of the program's command values, resource ids, dialog control ids, title and
   window class. The context menu model, the window's command dispatch, the dialog logic and the
   resource script (src/win32/res) all read it, so they cannot drift apart. Plain #defines, so
   that the resource compiler reads it too; what only C++ needs is below RC_INVOKED. */
#pragma once

/* The program title: every instance's window title, the caption of its message boxes and string
   resource 57344. Other instances find each other by it. */
#define KP_APP_TITLE "Kelpo32"
/* The window class every instance registers. */
#define KP_WINDOW_CLASS "Kelpo32CharacterWindow"

/* Commands of the context menu. */
#define ID_MENU_COLUMN_HEADER 1  /* the grayed "－－－－－" that heads a further pattern column */
#define ID_PATTERN_RANDOM 32780  /* random selection; pattern k (1..16) is ID_PATTERN_RANDOM + k */
#define ID_PATTERN_LAST 32796    /* pattern 16 */
#define ID_SETTINGS 32800
#define ID_CHANGE_DATAFILE 32801
#define ID_EXIT_ALL 32802
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
/* Patterns 17 and up: a range of their own that no other command meets. Pattern k (k >= 17) is
   ID_PATTERN_MORE_FIRST + (k - 17); the menu lists patterns up to KP_MENU_PATTERN_LIMIT. */
#define ID_PATTERN_MORE_FIRST 33000
#define KP_MENU_PATTERN_LIMIT 1000

/* Resources. */
#define IDR_MAINFRAME 128 /* the program icon */
#define IDD_ABOUTBOX 100
#define IDD_SETTINGS 131
#define IDS_APP_TITLE 57344

/* Controls of the about box. */
#define IDC_ABOUT_TEXT 1000

/* Controls of the settings dialog. */
#define IDC_POSITION_SLIDER 1001
#define IDC_POSITION_EDIT 1002
#define IDC_AUTO_ANIMATION 1003
#define IDC_TOPMOST 1006
#define IDC_FIXED_ALL 1007
#define IDC_FIXED_TASKBAR 1008
#define IDC_FIXED_OFF_TASKBAR 1009
#define IDC_RANDOM_MODE 1010
#define IDC_TRANS_MODE 1011
#define IDC_TRANS_SLIDER 1012
#define IDC_TRANS_EDIT 1013
#define IDC_TRANS_GROUP 1014
#define IDC_TRANS_LABEL_MIN 1015
#define IDC_TRANS_LABEL_MAX 1016
#define IDC_TRANS_LABEL_PERCENT 1017

#ifndef RC_INVOKED
namespace kp {

constexpr const char* kAppTitle = KP_APP_TITLE;
constexpr const char* kWindowClass = KP_WINDOW_CLASS;

// The menu command of pattern k (1 .. KP_MENU_PATTERN_LIMIT), 0 for a pattern the menu does not list.
constexpr unsigned PatternCommand(int k) {
    return k >= 1 && k <= 16                    ? ID_PATTERN_RANDOM + static_cast<unsigned>(k)
           : k > 16 && k <= KP_MENU_PATTERN_LIMIT ? ID_PATTERN_MORE_FIRST + static_cast<unsigned>(k - 17)
                                                  : 0u;
}

// The pattern setting a menu command selects (0 random, k pattern k), or -1 for a command that
// selects no pattern.
constexpr int PatternOfCommand(unsigned id) {
    return id >= ID_PATTERN_RANDOM && id <= ID_PATTERN_LAST ? static_cast<int>(id - ID_PATTERN_RANDOM)
           : id >= ID_PATTERN_MORE_FIRST && id <= ID_PATTERN_MORE_FIRST + (KP_MENU_PATTERN_LIMIT - 17)
               ? static_cast<int>(id - ID_PATTERN_MORE_FIRST) + 17
               : -1;
}

static_assert(PatternCommand(16) == ID_PATTERN_LAST, "patterns 1..16 keep their commands");
static_assert(PatternCommand(KP_MENU_PATTERN_LIMIT) < ID_APP_ABOUT, "the pattern range meets no command");
static_assert(PatternOfCommand(ID_SETTINGS) == -1 && PatternOfCommand(ID_CHANGE_DATAFILE) == -1 &&
                  PatternOfCommand(ID_EXIT_ALL) == -1,
              "no other command selects a pattern");

} // namespace kp
#endif
