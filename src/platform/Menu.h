// A popup menu as data: the core builds it, the platform shows it. Built anew for every use.
#pragma once

#include "platform/Types.h"

#include <vector>

namespace kp {

struct MenuItem {
    enum class Kind { String, Separator, Popup };
    Kind kind = Kind::String;
    // The item's text; Utf8 for the program's own texts, Cp932 for texts from the character file.
    AnsiString text;
    bool textIsCp932 = false;
    unsigned id = 0;           // the command it sends (String items)
    bool grayed = false;       // shown disabled
    bool checked = false;      // carries a check mark
    bool menuBarBreak = false; // starts a new column, with a line before it
    std::vector<MenuItem> items; // the submenu of a Popup item
};

struct PopupMenu {
    std::vector<MenuItem> items;
};

} // namespace kp
