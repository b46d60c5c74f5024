// A modal dialog of the simulated desktop: its controls held in memory, worked by the dialog's
// logic through IDialogControls and by a test playing the user through the user-level calls
// (Click, Type, Scroll, Tick). Every call of the logic on the controls is recorded in order.
#pragma once

#include "platform/Dialogs.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kp::sim {

class SimDialogControls : public IDialogControls {
public:
    struct Control {
        AnsiString text;
        int checked = 0;
        bool enabled = true;
        int sliderMin = 0;
        int sliderMax = 100;
        int sliderPos = 0;
        int ticFreq = 0;
        int pageSize = 0;
        int lineSize = 0;
    };

    // `editIds` are the edit boxes: setting their text notifies the logic (EN_CHANGE), as the
    // platform's edit controls do, whoever sets it.
    SimDialogControls(IDialogLogic& logic, WindowId id, std::set<int> editIds)
        : m_logic(logic), m_id(id), m_editIds(std::move(editIds)) {}

    // IDialogControls, for the logic.
    WindowId Id() override { return m_id; }
    AnsiString GetItemText(int id, std::size_t maxBytes) override;
    void SetItemText(int id, const AnsiString& cp932Text) override;
    int IsChecked(int id) override { return m_controls[id].checked; }
    void SetCheck(int id, int checked) override;
    void EnableItem(int id, bool enable) override;
    void FocusAndSelectAll(int id) override;
    void SliderSetRange(int id, int min, int max, bool redraw) override;
    void SliderSetTicFreq(int id, int freq) override;
    void SliderSetPageSize(int id, int size) override;
    void SliderSetLineSize(int id, int size) override;
    // The slider shows positions outside its range at its nearer end.
    void SliderSetPos(int id, int pos, bool redraw) override;
    void ShowMessage(const Utf8String& text) override;
    void EndDialog(int result) override;

    // The user: each call is one event for the logic (nothing once the dialog has ended).
    void Click(int buttonId);                      // a push button (IDOK, IDCANCEL: also Esc)
    void Type(int editId, const AnsiString& text); // replaces an edit box's text
    void Tick(int buttonId, int checked = 1);      // a check box or radio button (no event)
    void Scroll(int sliderId, int code, int thumbPos);

    Control& Item(int id) { return m_controls[id]; }
    bool Ended() const { return m_ended; }
    int Result() const { return m_result; }
    int Focus() const { return m_focus; }
    const std::vector<Utf8String>& Messages() const { return m_messages; }
    // "enable ID 0|1", "focus ID", "range ID MIN..MAX", "pos ID P", "message TEXT", "end R"...
    const std::vector<std::string>& Calls() const { return m_calls; }

private:
    IDialogLogic& m_logic;
    WindowId m_id;
    std::set<int> m_editIds;
    std::map<int, Control> m_controls;
    std::vector<Utf8String> m_messages;
    std::vector<std::string> m_calls;
    int m_focus = 0;
    bool m_ended = false;
    int m_result = 0;
};

} // namespace kp::sim
