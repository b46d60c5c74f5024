#include "app/AboutDlg.h"

#include "app/Commands.h"
#include "placement/Placement.h"

namespace kp {

BOOL CAboutDlg::OnInitDialog(IDialogControls& controls) {
    controls.SetItemText(IDC_ABOUT_TEXT, m_strText);
    return TRUE;
}

void CAboutDlg::OnCommand(IDialogControls& controls, int id, int notifyCode) {
    if (notifyCode != kBnClicked)
        return;
    if (id == kIdOk) {
        if (m_pDesktop)
            placement::ActivateNextWindow(*m_pDesktop, controls.Id());
        controls.EndDialog(kIdOk);
    } else if (id == kIdCancel) {
        controls.EndDialog(kIdCancel);
    }
}

} // namespace kp
