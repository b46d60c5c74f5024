// The AppendMenu flags the Win32 window gives each item of a popup menu.
#include "win32/MenuFlags.h"

#include <gtest/gtest.h>

namespace kp::win32 {
namespace {

MenuItem Item(MenuItem::Kind kind, bool grayed, bool checked, bool menuBarBreak) {
    MenuItem item;
    item.kind = kind;
    item.grayed = grayed;
    item.checked = checked;
    item.menuBarBreak = menuBarBreak;
    return item;
}

TEST(MenuFlags, ValuesAreThePlatformsMfBits) {
    EXPECT_EQ(mf::kString, 0x0000u);
    EXPECT_EQ(mf::kGrayed, 0x0001u);
    EXPECT_EQ(mf::kChecked, 0x0008u);
    EXPECT_EQ(mf::kPopup, 0x0010u);
    EXPECT_EQ(mf::kMenuBarBreak, 0x0020u);
    EXPECT_EQ(mf::kSeparator, 0x0800u);
}

TEST(MenuFlags, EachItemKindWithItsStates) {
    using K = MenuItem::Kind;
    const struct {
        MenuItem item;
        unsigned flags;
    } cases[] = {
        {Item(K::String, false, false, false), mf::kString},
        {Item(K::String, false, true, false), mf::kChecked},
        {Item(K::String, true, false, false), mf::kGrayed},
        // The grayed column header of a further pattern column.
        {Item(K::String, true, false, true), mf::kGrayed | mf::kMenuBarBreak},
        {Item(K::String, false, true, true), mf::kChecked | mf::kMenuBarBreak},
        {Item(K::Popup, false, false, false), mf::kPopup},
        {Item(K::Popup, true, false, false), mf::kPopup | mf::kGrayed},
        {Item(K::Separator, false, false, false), mf::kSeparator},
        {Item(K::Separator, false, false, true), mf::kSeparator | mf::kMenuBarBreak},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MenuItemFlags(c.item), c.flags) << "kind " << static_cast<int>(c.item.kind);
}

TEST(MenuFlags, ASeparatorIsNeverGrayedOrChecked) {
    EXPECT_EQ(MenuItemFlags(Item(MenuItem::Kind::Separator, true, true, false)), mf::kSeparator);
}

TEST(MenuFlags, TheTextAndCommandDoNotChangeTheFlags) {
    MenuItem item;
    item.text = "\x83\x89\x83\x93\x83\x5f\x83\x80"; // a code page 932 text
    item.textIsCp932 = true;
    item.id = 32780;
    EXPECT_EQ(MenuItemFlags(item), mf::kString);
}

} // namespace
} // namespace kp::win32
