#include "app/SettingsDlg.h"

#include "app/Commands.h"
#include "placement/Placement.h"

#include <algorithm>
#include <climits>
#include <string>

namespace kp {

namespace {

// A number box is read up to this many characters.
constexpr std::size_t kMaxNumberText = 31;

// Scroll codes of WM_HSCROLL, bit for bit the platform's SB_ values.
enum ScrollCode {
    SB_LINELEFT = 0,
    SB_LINERIGHT = 1,
    SB_PAGELEFT = 2,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_LEFT = 6,
    SB_RIGHT = 7,
};

constexpr int kPositionMin = 0;
constexpr int kSliderMax = 100;
constexpr int kTicFreq = 10;
constexpr int kPageSize = 10;
constexpr int kLineSize = 1;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The controls disabled before Windows 2000, in the order they are disabled.
constexpr int kTranslucencyControls[] = {IDC_TRANS_GROUP,         IDC_TRANS_LABEL_MIN, IDC_TRANS_LABEL_MAX,
                                         IDC_TRANS_LABEL_PERCENT, IDC_TRANS_SLIDER,    IDC_TRANS_MODE,
                                         IDC_TRANS_EDIT};

// The three radio buttons of the tracking mode, index 0, 1, 2.
constexpr int kFixedRadios[] = {IDC_FIXED_ALL, IDC_FIXED_TASKBAR, IDC_FIXED_OFF_TASKBAR};

class Exchange {
public:
    Exchange(IDialogControls& controls, BOOL save) : m_controls(controls), m_save(save) {}

    bool Number(int id, int& value) {
        if (!m_save) {
            m_controls.SetItemText(id, std::to_string(value));
            return true;
        }
        int read = 0;
        if (!ParseDialogInteger(m_controls.GetItemText(id, kMaxNumberText), read)) {
            m_controls.ShowMessage(kEnterIntegerText);
            m_controls.FocusAndSelectAll(id);
            return false;
        }
        value = read;
        return true;
    }
    void Check(int id, int& value) {
        if (m_save) {
            value = m_controls.IsChecked(id);
            return;
        }
        if (value < 0 || value > 2)
            value = 0;
        m_controls.SetCheck(id, value);
    }
    void Radio(int& value) {
        if (m_save) {
            value = -1;
            for (int i = 0; i < 3 && value < 0; ++i)
                if (m_controls.IsChecked(kFixedRadios[i]))
                    value = i;
            return;
        }
        for (int i = 0; i < 3; ++i)
            m_controls.SetCheck(kFixedRadios[i], value == i ? 1 : 0);
    }

private:
    IDialogControls& m_controls;
    BOOL m_save;
};

void SetUpSlider(IDialogControls& controls, int id, int min, int pos) {
    controls.SliderSetRange(id, min, kSliderMax, false);
    controls.SliderSetTicFreq(id, kTicFreq);
    controls.SliderSetPageSize(id, kPageSize);
    controls.SliderSetLineSize(id, kLineSize);
    controls.SliderSetPos(id, pos, true);
}

} // namespace

bool ParseDialogInteger(const AnsiString& text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::size_t digits = i;
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (i == digits)
        return false;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i != text.size())
        return false;
    v = negative ? -v : v;
    if (v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

BOOL CSettingsDlg::UpdateData(IDialogControls& controls, BOOL bSaveAndValidate) {
    m_bInExchange = true;
    Exchange dx(controls, bSaveAndValidate);
    bool ok = dx.Number(IDC_POSITION_EDIT, m_nPosition);
    if (ok) {
        dx.Check(IDC_AUTO_ANIMATION, m_bAutoAnimation);
        dx.Check(IDC_TOPMOST, m_bTopMost);
        dx.Radio(m_nFixed);
        dx.Check(IDC_RANDOM_MODE, m_bRandomMode);
        ok = dx.Number(IDC_TRANS_EDIT, m_nTransparency);
    }
    if (ok)
        dx.Check(IDC_TRANS_MODE, m_bTransMode);
    m_bInExchange = false;
    return ok ? TRUE : FALSE;
}

BOOL CSettingsDlg::OnInitDialog(IDialogControls& controls) {
    UpdateData(controls, FALSE);
    SetUpSlider(controls, IDC_POSITION_SLIDER, kPositionMin, m_nPosition);
    SetUpSlider(controls, IDC_TRANS_SLIDER, kMinOpacity, m_nTransparency);
    if (!m_bWin2000)
        for (const int id : kTranslucencyControls)
            controls.EnableItem(id, false);
    return TRUE;
}

void CSettingsDlg::OnCommand(IDialogControls& controls, int id, int notifyCode) {
    // What the dialog's own exchange causes is not the user's doing.
    if (m_bInExchange)
        return;
    if (id == kIdOk && notifyCode == kBnClicked) {
        OnOK(controls);
    } else if (id == kIdCancel && notifyCode == kBnClicked) {
        OnCancel(controls);
    } else if (id == IDC_POSITION_EDIT && notifyCode == kEnChange) {
        UpdateData(controls, TRUE);
        controls.SliderSetPos(IDC_POSITION_SLIDER, m_nPosition, true);
    } else if (id == IDC_TRANS_EDIT && notifyCode == kEnChange) {
        UpdateData(controls, TRUE);
        controls.SliderSetPos(IDC_TRANS_SLIDER, m_nTransparency, true);
        controls.SetCheck(IDC_TRANS_MODE, 1);
    }
}

void CSettingsDlg::OnHScroll(IDialogControls& controls, int sliderId, int code, int thumbPos) {
    UpdateData(controls, TRUE);
    const bool position = sliderId == IDC_POSITION_SLIDER;
    int& value = position ? m_nPosition : m_nTransparency;
    const int low = position ? kPositionMin : kMinOpacity;
    // Wide arithmetic: the member may hold any typed number.
    long long v = value;
    switch (code) {
    case SB_LINELEFT:
        v -= kLineSize;
        break;
    case SB_LINERIGHT:
        v += kLineSize;
        break;
    case SB_PAGELEFT:
        v -= kPageSize;
        break;
    case SB_PAGERIGHT:
        v += kPageSize;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        v = thumbPos;
        break;
    case SB_LEFT:
        v = low;
        break;
    case SB_RIGHT:
        v = kSliderMax;
        break;
    default:
        break;
    }
    value = static_cast<int>(std::clamp<long long>(v, low, kSliderMax));
    // Either slider ticks "use translucent display".
    m_bTransMode = 1;
    UpdateData(controls, FALSE);
}

void CSettingsDlg::OnOK(IDialogControls& controls) {
    if (m_pDesktop)
        placement::ActivateNextWindow(*m_pDesktop, controls.Id());
    // A number box without an integer keeps the dialog open.
    if (UpdateData(controls, TRUE))
        controls.EndDialog(kIdOk);
}

void CSettingsDlg::OnCancel(IDialogControls& controls) {
    if (m_pDesktop)
        placement::ActivateNextWindow(*m_pDesktop, controls.Id());
    controls.EndDialog(kIdCancel);
}

} // namespace kp
