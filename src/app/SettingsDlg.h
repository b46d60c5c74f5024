// The settings dialog (template IDD_SETTINGS): position, automatic animation, force topmost,
// tracking mode, random start and translucency, with two sliders kept in step with the number
// boxes. The members are what the dialog shows and what it leaves after OK.
#pragma once

#include "platform/Desktop.h"
#include "platform/Dialogs.h"

namespace kp {

// The message shown when a number box does not hold an integer.
constexpr const char* kEnterIntegerText = "整数を入力してください。";

class CSettingsDlg : public IDialogLogic {
public:
    // `desktop` (may be null) is where OK and Cancel hand the activation on; without bWin2000
    // the translucency controls are disabled.
    CSettingsDlg(IDesktop* desktop, BOOL bWin2000) : m_pDesktop(desktop), m_bWin2000(bWin2000) {}

    BOOL OnInitDialog(IDialogControls& controls) override;
    void OnCommand(IDialogControls& controls, int id, int notifyCode) override;
    void OnHScroll(IDialogControls& controls, int sliderId, int code, int thumbPos) override;

    // Moves the members into the controls (bSaveAndValidate FALSE) or the controls into the
    // members (TRUE). A number box that holds no integer stops a save there with a message,
    // the focus in that box and FALSE; that member and the later ones keep their values.
    BOOL UpdateData(IDialogControls& controls, BOOL bSaveAndValidate);

    int m_nPosition = 0;
    BOOL m_bAutoAnimation = 0;
    BOOL m_bTopMost = 0;
    int m_nFixed = -1;
    BOOL m_bRandomMode = 0;
    int m_nTransparency = 100;
    BOOL m_bTransMode = 0;

private:
    void OnOK(IDialogControls& controls);
    void OnCancel(IDialogControls& controls);
    IDesktop* m_pDesktop;
    BOOL m_bWin2000;
    // Set while an exchange runs: the notifications it causes are not the user's.
    bool m_bInExchange = false;
};

// Reads an optionally signed decimal integer with blanks or tabs around it; false for anything
// else, an empty text included, and for numbers an int cannot hold.
bool ParseDialogInteger(const AnsiString& text, int& value);

} // namespace kp
