#include "sim/SimDialogs.h"

#include <algorithm>

namespace kp::sim {

namespace {

std::string N(int v) {
    return std::to_string(v);
}

} // namespace

AnsiString SimDialogControls::GetItemText(int id, std::size_t maxBytes) {
    const AnsiString& text = m_controls[id].text;
    return text.substr(0, std::min(text.size(), maxBytes));
}

void SimDialogControls::SetItemText(int id, const AnsiString& cp932Text) {
    m_calls.push_back("text " + N(id) + " " + cp932Text);
    m_controls[id].text = cp932Text;
    if (m_editIds.count(id))
        m_logic.OnCommand(*this, id, kEnChange);
}

void SimDialogControls::SetCheck(int id, int checked) {
    m_calls.push_back("check " + N(id) + " " + N(checked));
    m_controls[id].checked = checked;
}

void SimDialogControls::EnableItem(int id, bool enable) {
    m_calls.push_back("enable " + N(id) + " " + N(enable));
    m_controls[id].enabled = enable;
}

void SimDialogControls::FocusAndSelectAll(int id) {
    m_calls.push_back("focus " + N(id));
    m_focus = id;
}

void SimDialogControls::SliderSetRange(int id, int min, int max, bool redraw) {
    m_calls.push_back("range " + N(id) + " " + N(min) + ".." + N(max) + (redraw ? " redraw" : ""));
    Control& c = m_controls[id];
    c.sliderMin = min;
    c.sliderMax = max;
    c.sliderPos = std::clamp(c.sliderPos, min, std::max(min, max));
}

void SimDialogControls::SliderSetTicFreq(int id, int freq) {
    m_calls.push_back("ticfreq " + N(id) + " " + N(freq));
    m_controls[id].ticFreq = freq;
}

void SimDialogControls::SliderSetPageSize(int id, int size) {
    m_calls.push_back("page " + N(id) + " " + N(size));
    m_controls[id].pageSize = size;
}

void SimDialogControls::SliderSetLineSize(int id, int size) {
    m_calls.push_back("line " + N(id) + " " + N(size));
    m_controls[id].lineSize = size;
}

void SimDialogControls::SliderSetPos(int id, int pos, bool redraw) {
    m_calls.push_back("pos " + N(id) + " " + N(pos) + (redraw ? " redraw" : ""));
    Control& c = m_controls[id];
    c.sliderPos = std::clamp(pos, c.sliderMin, std::max(c.sliderMin, c.sliderMax));
}

void SimDialogControls::ShowMessage(const Utf8String& text) {
    m_calls.push_back("message " + text);
    m_messages.push_back(text);
}

void SimDialogControls::EndDialog(int result) {
    m_calls.push_back("end " + N(result));
    m_ended = true;
    m_result = result;
}

void SimDialogControls::Click(int buttonId) {
    if (!m_ended)
        m_logic.OnCommand(*this, buttonId, kBnClicked);
}

void SimDialogControls::Type(int editId, const AnsiString& text) {
    if (m_ended)
        return;
    m_controls[editId].text = text;
    m_logic.OnCommand(*this, editId, kEnChange);
}

void SimDialogControls::Tick(int buttonId, int checked) {
    m_controls[buttonId].checked = checked;
}

void SimDialogControls::Scroll(int sliderId, int code, int thumbPos) {
    if (!m_ended)
        m_logic.OnHScroll(*this, sliderId, code, thumbPos);
}

} // namespace kp::sim
