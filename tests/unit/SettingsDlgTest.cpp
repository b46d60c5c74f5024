// The settings dialog's logic on in-memory controls: initialisation, the data exchange both
// ways, the sliders, the edit boxes, OK and Cancel.
#include "app/SettingsDlg.h"
#include "app/Commands.h"
#include "sim/SimDesktopWindows.h"
#include "sim/SimDialogs.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace kp {
namespace {

using Calls = std::vector<std::string>;

class SettingsDlgTest : public ::testing::Test {
protected:
    sim::SimDesktopWindows desk;
    WindowId below = 0;
    WindowId dialog = 0;
    std::unique_ptr<CSettingsDlg> dlg;
    std::unique_ptr<sim::SimDialogControls> c;

    SettingsDlgTest() {
        below = desk.Add(sim::SimDesktopWindows::Window{0, "Notepad", "Notepad", {0, 100, 300, 300}});
        dialog = desk.Add(sim::SimDesktopWindows::Window{0, "dialog", "#32770", {0, 0, 100, 100}});
    }
    // Opens the dialog with the members as OnSettings fills them.
    void Open(BOOL win2000 = TRUE, int position = 50, int transparency = 50, int fixed = 1) {
        dlg = std::make_unique<CSettingsDlg>(&desk, win2000);
        dlg->m_nPosition = position;
        dlg->m_nTransparency = transparency;
        dlg->m_nFixed = fixed;
        c = std::make_unique<sim::SimDialogControls>(*dlg, dialog,
                                                     std::set<int>{IDC_POSITION_EDIT, IDC_TRANS_EDIT});
        EXPECT_EQ(dlg->OnInitDialog(*c), TRUE);
    }
    std::string Text(int id) { return c->Item(id).text; }
};

TEST_F(SettingsDlgTest, ConstructionDefaults) {
    const CSettingsDlg d(nullptr, TRUE);
    EXPECT_EQ((std::vector<int>{d.m_nPosition, d.m_bAutoAnimation, d.m_bTopMost, d.m_nFixed, d.m_bRandomMode,
                                d.m_nTransparency, d.m_bTransMode}),
              (std::vector<int>{0, 0, 0, -1, 0, 100, 0}));
}

TEST_F(SettingsDlgTest, InitialisationLoadsTheMembersAndSetsUpBothSliders) {
    Open(TRUE, 30, 70, 2);
    EXPECT_EQ(Text(IDC_POSITION_EDIT), "30");
    EXPECT_EQ(Text(IDC_TRANS_EDIT), "70");
    EXPECT_EQ((std::vector<int>{c->IsChecked(IDC_FIXED_ALL), c->IsChecked(IDC_FIXED_TASKBAR),
                                c->IsChecked(IDC_FIXED_OFF_TASKBAR)}),
              (std::vector<int>{0, 0, 1}));
    // The exchange's own text changes did not reach the edit handlers: the sliders are set up
    // once each, after the exchange.
    Calls sliders;
    for (const std::string& call : c->Calls())
        if (call.rfind("text", 0) != 0 && call.rfind("check", 0) != 0)
            sliders.push_back(call);
    EXPECT_EQ(sliders, (Calls{"range 1001 0..100", "ticfreq 1001 10", "page 1001 10", "line 1001 1",
                              "pos 1001 30 redraw", "range 1012 10..100", "ticfreq 1012 10", "page 1012 10",
                              "line 1012 1", "pos 1012 70 redraw"}));
}

TEST_F(SettingsDlgTest, BeforeWindows2000TheTranslucencyControlsAreDisabledInOrder) {
    Open(FALSE);
    Calls disabled;
    for (const std::string& call : c->Calls())
        if (call.rfind("enable", 0) == 0)
            disabled.push_back(call);
    EXPECT_EQ(disabled, (Calls{"enable 1014 0", "enable 1015 0", "enable 1016 0", "enable 1017 0",
                               "enable 1012 0", "enable 1011 0", "enable 1013 0"}));
    Open(TRUE);
    for (const std::string& call : c->Calls())
        EXPECT_NE(call.rfind("enable", 0), 0u) << call;
}

TEST_F(SettingsDlgTest, EveryScrollCodeOfBothSliders) {
    struct Case {
        int code;
        int thumb;
        int start;
        int position; // the new position (slider 1001)
        int percent;  // the new translucency (slider 1012)
    };
    const Case cases[] = {
        {0, 0, 50, 49, 49},    {1, 0, 50, 51, 51},     {2, 0, 50, 40, 40},    {3, 0, 50, 60, 60},
        {4, 77, 50, 77, 77},   {5, 3, 50, 3, 10},      {6, 0, 50, 0, 10},     {7, 0, 50, 100, 100},
        {8, 0, 50, 50, 50},    {0, 0, 0, 0, 10},       {2, 0, 14, 4, 10},     {3, 0, 95, 100, 100},
        {1, 0, 100, 100, 100}, {5, 250, 50, 100, 100}, {0, 0, 500, 100, 100}, {1, 0, -9, 0, 10},
    };
    for (const Case& k : cases) {
        for (const int slider : {IDC_POSITION_SLIDER, IDC_TRANS_SLIDER}) {
            const bool position = slider == IDC_POSITION_SLIDER;
            Open(TRUE, k.start, k.start);
            c->Scroll(slider, k.code, k.thumb);
            const int expected = position ? k.position : k.percent;
            const std::string what = std::to_string(slider) + " code " + std::to_string(k.code) + " from " +
                                     std::to_string(k.start);
            EXPECT_EQ(position ? dlg->m_nPosition : dlg->m_nTransparency, expected) << what;
            EXPECT_EQ(Text(position ? IDC_POSITION_EDIT : IDC_TRANS_EDIT), std::to_string(expected)) << what;
            // Either slider ticks "use translucent display".
            EXPECT_EQ(dlg->m_bTransMode, 1) << what;
            EXPECT_EQ(c->IsChecked(IDC_TRANS_MODE), 1) << what;
        }
    }
}

TEST_F(SettingsDlgTest, TypedNumbersMoveTheSliderAndAreKeptUnclamped) {
    Open();
    c->Type(IDC_POSITION_EDIT, " 250\t");
    EXPECT_EQ(dlg->m_nPosition, 250);
    EXPECT_EQ(c->Item(IDC_POSITION_SLIDER).sliderPos, 100);
    EXPECT_EQ(c->IsChecked(IDC_TRANS_MODE), 0); // only the translucency box ticks it
    c->Type(IDC_TRANS_EDIT, "5");
    EXPECT_EQ(dlg->m_nTransparency, 5);
    EXPECT_EQ(c->Item(IDC_TRANS_SLIDER).sliderPos, 10);
    EXPECT_EQ(c->IsChecked(IDC_TRANS_MODE), 1);
    EXPECT_TRUE(c->Messages().empty());
}

TEST_F(SettingsDlgTest, ANonIntegerStopsTheExchangeThere) {
    Open();
    c->Tick(IDC_TOPMOST);
    c->Tick(IDC_TRANS_MODE);
    c->Type(IDC_TRANS_EDIT, "");
    EXPECT_EQ(c->Messages(), (std::vector<Utf8String>{"整数を入力してください。"}));
    EXPECT_EQ(c->Focus(), IDC_TRANS_EDIT);
    EXPECT_EQ(dlg->m_bTopMost, 1);       // before the box: saved
    EXPECT_EQ(dlg->m_nTransparency, 50); // the box and what follows it: unchanged
    EXPECT_EQ(dlg->m_bTransMode, 0);
    EXPECT_EQ(c->Item(IDC_TRANS_SLIDER).sliderPos, 50);
    EXPECT_EQ(c->IsChecked(IDC_TRANS_MODE), 1);

    // The first box stops everything after it; OK keeps the dialog open.
    Open();
    c->Tick(IDC_TOPMOST);
    c->Item(IDC_POSITION_EDIT).text = "12x";
    c->Click(kIdOk);
    EXPECT_FALSE(c->Ended());
    EXPECT_EQ(c->Focus(), IDC_POSITION_EDIT);
    EXPECT_EQ(dlg->m_bTopMost, 0);
    EXPECT_EQ(c->Messages().size(), 1u);
}

TEST(SettingsDlg, IntegerTexts) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {"42", true, 42},
        {" \t-7 \t", true, -7},
        {"+8", true, 8},
        {"", false, 0},
        {"  ", false, 0},
        {"-", false, 0},
        {"1 2", false, 0},
        {"12a", false, 0},
        {"0x10", false, 0},
        {"2147483647", true, INT_MAX},
        {"-2147483648", true, INT_MIN},
        {"2147483648", false, 0},
        {"99999999999999999999", false, 0},
        {"1.5", false, 0},
        {"\n3", false, 0},
    };
    for (const Case& k : cases) {
        int v = 0;
        EXPECT_EQ(ParseDialogInteger(k.text, v), k.ok) << k.text;
        if (k.ok) {
            EXPECT_EQ(v, k.value) << k.text;
        }
    }
}

TEST_F(SettingsDlgTest, ANumberBoxIsReadUpToThirtyOneCharacters) {
    Open();
    c->Type(IDC_POSITION_EDIT, "7" + std::string(30, ' ') + "x");
    EXPECT_EQ(dlg->m_nPosition, 7);
    EXPECT_TRUE(c->Messages().empty());
}

TEST_F(SettingsDlgTest, CheckBoxAndRadioValuesOutsideTheirRange) {
    dlg = std::make_unique<CSettingsDlg>(&desk, TRUE);
    dlg->m_bTopMost = 5;
    dlg->m_bAutoAnimation = 2;
    dlg->m_nFixed = 7;
    c = std::make_unique<sim::SimDialogControls>(*dlg, dialog, std::set<int>{});
    dlg->OnInitDialog(*c);
    EXPECT_EQ(dlg->m_bTopMost, 0);
    EXPECT_EQ(c->IsChecked(IDC_TOPMOST), 0);
    EXPECT_EQ(c->IsChecked(IDC_AUTO_ANIMATION), 2);
    for (const int radio : {IDC_FIXED_ALL, IDC_FIXED_TASKBAR, IDC_FIXED_OFF_TASKBAR})
        EXPECT_EQ(c->IsChecked(radio), 0);
    c->Click(kIdOk);
    EXPECT_EQ(c->Result(), kIdOk);
    EXPECT_EQ(dlg->m_nFixed, -1); // none ticked
}

TEST_F(SettingsDlgTest, OkAndCancelHandTheActivationOn) {
    for (const int button : {kIdOk, kIdCancel}) {
        Open();
        desk.BringToTop(dialog); // the dialog in front again
        desk.m_calls.clear();
        c->Click(button);
        EXPECT_TRUE(c->Ended());
        EXPECT_EQ(c->Result(), button);
        EXPECT_EQ(desk.m_calls, Calls{"BringToTop " + std::to_string(below)});
    }
}

} // namespace
} // namespace kp
