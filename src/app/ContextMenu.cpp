#include "app/ContextMenu.h"

#include "app/Commands.h"

#include <algorithm>
#include <string>

namespace kp {

namespace {

MenuItem Item(const char* utf8Text, unsigned id) {
    MenuItem item;
    item.text = utf8Text;
    item.id = id;
    return item;
}

MenuItem Separator() {
    MenuItem item;
    item.kind = MenuItem::Kind::Separator;
    return item;
}

MenuItem PatternItem(const CharacterFile& file, int k, int nPattern) {
    MenuItem item;
    // The menu shows the name as a zero-terminated text: it ends at its first zero byte.
    const AnsiString name = file.PatternName(static_cast<std::size_t>(k - 1));
    item.text = name.substr(0, name.find('\0'));
    item.textIsCp932 = true;
    item.id = PatternCommand(k);
    item.checked = k == nPattern;
    return item;
}

MenuItem PatternMenu(const CharacterFile& file, int nPattern) {
    MenuItem menu = Item("パターン選択", 0);
    menu.kind = MenuItem::Kind::Popup;
    MenuItem random = Item("ランダム選択", ID_PATTERN_RANDOM);
    random.checked = nPattern == 0;
    menu.items.push_back(random);
    const int columns = file.MenuColumns();
    if (columns == 0)
        menu.items.push_back(Separator());
    const int listed = std::min<int>(file.PatternCount(), KP_MENU_PATTERN_LIMIT);
    for (int g = 0; g < listed; ++g) {
        if (columns > 0 && g > 0 && g % columns == 0) {
            MenuItem header = Item("－－－－－", ID_MENU_COLUMN_HEADER);
            header.grayed = true;
            header.menuBarBreak = true;
            menu.items.push_back(header);
        }
        menu.items.push_back(PatternItem(file, g + 1, nPattern));
    }
    return menu;
}

} // namespace

PopupMenu BuildContextMenu(const CharacterFile& file, int nPattern) {
    PopupMenu menu;
    menu.items.push_back(Item("ﾃﾞｰﾀﾌｧｲﾙの変更(&C)...", ID_CHANGE_DATAFILE));
    menu.items.push_back(Item("設定(&S)...", ID_SETTINGS));
    menu.items.push_back(PatternMenu(file, nPattern));
    menu.items.push_back(Item((std::string(kAppTitle) + "について(&A)...").c_str(), ID_APP_ABOUT));
    menu.items.push_back(Separator());
    menu.items.push_back(Item("全て終了(&Q)", ID_EXIT_ALL));
    menu.items.push_back(Item("終了(&X)\tAlt+F4", ID_APP_EXIT));
    return menu;
}

} // namespace kp
