// The AppendMenu flags of one item of a popup menu. Free of the Windows headers, so that the
// native tests can check them; Win32Window.cpp checks the values against <windows.h>.
#pragma once

#include "platform/Menu.h"

namespace kp::win32 {

namespace mf {
constexpr unsigned kString = 0x0000;       // MF_STRING
constexpr unsigned kGrayed = 0x0001;       // MF_GRAYED
constexpr unsigned kChecked = 0x0008;      // MF_CHECKED
constexpr unsigned kPopup = 0x0010;        // MF_POPUP
constexpr unsigned kMenuBarBreak = 0x0020; // MF_MENUBARBREAK
constexpr unsigned kSeparator = 0x0800;    // MF_SEPARATOR
} // namespace mf

// The item's kind, plus a column break, and for a string or submenu its gray and check state.
inline unsigned MenuItemFlags(const MenuItem& item) {
    unsigned flags = item.menuBarBreak ? mf::kMenuBarBreak : 0u;
    switch (item.kind) {
    case MenuItem::Kind::Separator:
        return flags | mf::kSeparator;
    case MenuItem::Kind::Popup:
        flags |= mf::kPopup;
        break;
    case MenuItem::Kind::String:
        flags |= mf::kString;
        break;
    }
    if (item.grayed)
        flags |= mf::kGrayed;
    if (item.checked)
        flags |= mf::kChecked;
    return flags;
}

} // namespace kp::win32
