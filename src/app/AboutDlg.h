// The about box (template IDD_ABOUTBOX): the program's version, a notice and the current
// character's description text.
#pragma once

#include "platform/Desktop.h"
#include "platform/Dialogs.h"

namespace kp {

class CAboutDlg : public IDialogLogic {
public:
    explicit CAboutDlg(IDesktop* desktop) : m_pDesktop(desktop) {}

    // Loads m_strText into its static text.
    BOOL OnInitDialog(IDialogControls& controls) override;
    // OK hands the activation on to the first usable window below and ends with OK; Cancel (Esc,
    // the close box) just ends.
    void OnCommand(IDialogControls& controls, int id, int notifyCode) override;
    void OnHScroll(IDialogControls&, int, int, int) override {}

    // The character's description (szAbout), code page 932 bytes.
    AnsiString m_strText;

private:
    IDesktop* m_pDesktop;
};

} // namespace kp
