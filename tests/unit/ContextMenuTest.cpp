// The context menu as data: its fixed items, the pattern submenu with its columns, names and
// check mark, and the commands of every listed pattern.
#include "Fixtures.h"

#include "app/Commands.h"
#include "app/ContextMenu.h"
#include "engine/Opcodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kp {
namespace {

using build::Bytes;
using Lines = std::vector<std::string>;

// One line per item: "-" for a separator, else "TEXT ID" and the marks G (grayed), B (new
// column), C (checked).
Lines Describe(const std::vector<MenuItem>& items) {
    Lines lines;
    for (const MenuItem& m : items) {
        if (m.kind == MenuItem::Kind::Separator) {
            lines.push_back("-");
            continue;
        }
        std::string line = m.text + " " + std::to_string(m.id);
        line += std::string(m.grayed ? " G" : "") + (m.menuBarBreak ? " B" : "") + (m.checked ? " C" : "");
        lines.push_back(line);
    }
    return lines;
}

struct Menu {
    Bytes image;
    PopupMenu menu;
    const MenuItem& Patterns() const { return menu.items.at(2); }
};

Menu Build(const build::Character& c, int nPattern) {
    Menu m;
    m.image = build::BuildCharacter(c);
    m.menu = BuildContextMenu(CharacterFile(ImageView(m.image.data(), m.image.size())), nPattern);
    return m;
}

Lines Names(int from, int to) {
    Lines lines;
    for (int k = from; k <= to; ++k)
        lines.push_back("Pattern " + std::to_string(k) + " " + std::to_string(PatternCommand(k)));
    return lines;
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

const std::string kRandom = "ランダム選択 32780";
const std::string kHeader = "－－－－－ 1 G B";

TEST(ContextMenu, MainItemsInOrder) {
    const Menu m = Build(test::BasicCharacter(), 1);
    EXPECT_EQ(Describe(m.menu.items),
              (Lines{"ﾃﾞｰﾀﾌｧｲﾙの変更(&C)... 32801", "設定(&S)... 32800", "パターン選択 0",
                     std::string(kAppTitle) + "について(&A)... 57664", "-", "全て終了(&Q) 32802",
                     "終了(&X)\tAlt+F4 57665"}));
    EXPECT_EQ(m.Patterns().kind, MenuItem::Kind::Popup);
    for (const MenuItem& item : m.menu.items)
        EXPECT_FALSE(item.textIsCp932) << item.text; // the program's own texts are UTF-8
}

TEST(ContextMenu, PatternColumns) {
    struct Case {
        const char* what;
        int patterns;
        std::optional<WORD> columns;
        std::optional<WORD> prefixSize;
        Lines expected;
    };
    const Case cases[] = {
        {"no columns", 5, std::nullopt, std::nullopt, Join({{kRandom, "-"}, Names(1, 5)})},
        {"4 columns", 10, 4, std::nullopt,
         Join({{kRandom}, Names(1, 4), {kHeader}, Names(5, 8), {kHeader}, Names(9, 10)})},
        {"column word 0", 3, 0, std::nullopt, Join({{kRandom, "-"}, Names(1, 3)})},
        {"prefix size 4 hides the word", 5, 2, 4, Join({{kRandom, "-"}, Names(1, 5)})},
        {"one per column", 2, 1, std::nullopt, Join({{kRandom}, Names(1, 1), {kHeader}, Names(2, 2)})},
    };
    for (const Case& c : cases) {
        build::Character ch = test::BasicCharacter(300, c.patterns);
        ch.menuColumns = c.columns;
        ch.prefixSize = c.prefixSize;
        // Random selection checked: no pattern item carries a mark.
        EXPECT_EQ(Describe(Build(ch, 0).Patterns().items),
                  Join({{kRandom + " C"}, Lines(c.expected.begin() + 1, c.expected.end())}))
            << c.what;
    }
}

TEST(ContextMenu, TheCurrentSettingCarriesTheCheckMark) {
    const build::Character c = test::BasicCharacter(300, 5);
    for (int pattern = 0; pattern <= 5; ++pattern) {
        const Menu m = Build(c, pattern);
        int checked = 0;
        for (const MenuItem& item : m.Patterns().items)
            if (item.checked) {
                ++checked;
                EXPECT_EQ(item.id, pattern == 0 ? ID_PATTERN_RANDOM : PatternCommand(pattern));
            }
        EXPECT_EQ(checked, 1) << pattern;
    }
}

TEST(ContextMenu, PatternNamesAsStored) {
    const std::string cp932 = "\x83\x65\x83\x58\x83\x67"; // "テスト"
    for (WORD version : {300, 301, 303}) {
        build::Character c = test::BasicCharacter(version, 2);
        c.patterns[0].name = cp932; // plain before 301, text form A from 301 on
        c.patterns[1].name = "";
        const Menu m = Build(c, 1);
        const MenuItem& first = m.Patterns().items.at(2);
        EXPECT_EQ(first.text, cp932) << version;
        EXPECT_TRUE(first.textIsCp932);
        EXPECT_EQ(m.Patterns().items.at(3).text, "") << version;
    }
}

TEST(ContextMenu, NameLengthsOutsideTheBufferAreCut) {
    build::Character c = test::BasicCharacter(300, 3);
    // Length 300 (cut to 255) and -1 (empty); and a name with a zero byte in it, which ends the
    // menu's text.
    Bytes longName{OP_NOTE, 0x2C, 0x01};
    longName.insert(longName.end(), 300, 'x');
    c.patterns[0].raw = longName;
    c.patterns[1].raw = Bytes{OP_NOTE, 0xFF, 0xFF, 0};
    c.patterns[2].name = std::string("ab\0cd", 5);
    const Menu m = Build(c, 1);
    const auto& items = m.Patterns().items;
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[2].text.size(), 255u);
    EXPECT_EQ(items[3].text, "");
    EXPECT_EQ(items[4].text, "ab");
}

TEST(ContextMenu, MorePatternsThanSixteenNeverMeetAnotherCommand) {
    const int count = KP_MENU_PATTERN_LIMIT + 3;
    build::Character c = test::BasicCharacter(300, 0);
    for (int i = 0; i < count; ++i) {
        build::Pattern p;
        p.raw = Bytes{OP_NOTE, 0, 0, OP_WAIT, 100, 0};
        c.patterns.push_back(p);
    }
    c.menuColumns = 40;
    const Menu m = Build(c, 20);
    std::set<unsigned> ids;
    int k = 0;
    for (const MenuItem& item : m.Patterns().items) {
        if (item.id == ID_MENU_COLUMN_HEADER || item.id == ID_PATTERN_RANDOM)
            continue;
        ++k;
        EXPECT_EQ(PatternOfCommand(item.id), k);
        EXPECT_EQ(item.checked, k == 20);
        ids.insert(item.id);
    }
    EXPECT_EQ(k, KP_MENU_PATTERN_LIMIT); // the rest are not listed
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(k));
    for (unsigned other : {ID_SETTINGS, ID_CHANGE_DATAFILE, ID_EXIT_ALL, ID_APP_ABOUT, ID_APP_EXIT})
        EXPECT_EQ(ids.count(other), 0u) << other;
}

} // namespace
} // namespace kp
