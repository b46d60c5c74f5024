// The context menu of the character as data, built anew from the loaded character for every
// right-button press.
#pragma once

#include "chardata/DataFile.h"
#include "platform/Menu.h"

namespace kp {

// The context menu: change data file, settings, the pattern submenu, about, a separator, exit
// all, exit. The submenu holds "ランダム選択" and the patterns in the file's order (up to
// KP_MENU_PATTERN_LIMIT), in columns of wMenuColumn patterns when the character asks for them;
// the item of the pattern setting `nPattern` (0 random) carries the check mark.
PopupMenu BuildContextMenu(const CharacterFile& file, int nPattern);

} // namespace kp
