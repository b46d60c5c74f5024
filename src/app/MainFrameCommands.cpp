// Talking to the character: the context menu and its commands, the data-file change, the two
// dialogs, exit all and the drag with the mouse.
#include "app/AboutDlg.h"
#include "app/Commands.h"
#include "app/ContextMenu.h"
#include "app/MainFrame.h"

#include "app/SettingsDlg.h"

#include <algorithm>
#include <vector>

namespace kp {

using namespace settings;

namespace {

// Titles and class names are compared as read into 256-byte buffers.
constexpr std::size_t kMaxNameBytes = 255;
// A z-order walk stops after this many windows, should the window list change under it.
constexpr int kMaxWalk = 100000;

AnsiString Cut(const AnsiString& s) {
    return s.substr(0, std::min(s.size(), kMaxNameBytes));
}

} // namespace

Point CMainFrame::CursorPos() {
    IDesktop* desktop = m_app.Services().desktop;
    return desktop ? desktop->CursorPos() : Point{};
}

void CMainFrame::HideIfVisible() {
    IDesktop* desktop = m_app.Services().desktop;
    if (!desktop || desktop->IsVisible(m_window.Id()))
        m_window.Hide();
}

BOOL CMainFrame::OnCommand(unsigned nID) {
    // Every listed pattern, the extra range of patterns 17 and up included, and nothing else.
    const int pattern = PatternOfCommand(nID);
    if (pattern >= 0) {
        OnPatternMenu(ID_PATTERN_RANDOM + static_cast<unsigned>(pattern));
        return TRUE;
    }
    switch (nID) {
    case ID_SETTINGS:
        OnSettings();
        return TRUE;
    case ID_CHANGE_DATAFILE:
        OnChangeDataFile();
        return TRUE;
    case ID_EXIT_ALL:
        OnExitAll();
        return TRUE;
    case ID_APP_ABOUT:
        OnAppAbout();
        return TRUE;
    case ID_APP_EXIT:
        OnClose();
        return TRUE;
    default:
        return FALSE;
    }
}

void CMainFrame::OnRButtonDown(unsigned, Point) {
    // The placement tick leaves the window where it is while the menu is open.
    m_bTracking = FALSE;
    const Point cursor = CursorPos();
    m_window.TrackPopupMenu(BuildContextMenu(m_file, m_nPattern), cursor);
    m_bTracking = TRUE;
}

void CMainFrame::OnChangeDataFile() {
    // 1. The outgoing character's values and the general settings, whatever the dialog brings.
    m_app.m_nSavedPosition = m_nPosition;
    m_app.m_nSavedPattern = m_nPattern;
    m_app.SaveSettings();

    // 2. A cancelled dialog or a refused file keeps the present character (a refused file has
    // stopped its frame timer: it stands on its last frame until a pattern is started).
    if (!ChooseDataFile()) {
        Track();
        return;
    }

    // 3. The new character's palette.
    CreateCellZeroPalette();

    // 4, 5. Its own stored values or its header's defaults; command-line values play no part.
    const AnsiString& section = m_app.m_strCharName;
    m_nPosition = m_app.GetProfileInt(section, kPosition, m_file.DefaultPosition());
    m_nPattern = m_app.GetProfileInt(section, kPattern, m_file.DefaultPattern());
    m_app.m_nFixed = m_app.GetProfileInt(section, kFixed, 0);
    m_nPattern = std::clamp<int>(m_nPattern, 0, m_file.PatternCount());
    m_nPosition = std::clamp(m_nPosition, 0, 100);

    // 6. The new size, in place, on top.
    if (IDesktop* desktop = m_app.Services().desktop)
        desktop->SetWindowPos(m_window.Id(), InsertAfter::Topmost, 0, 0, ScaledWidth(), ScaledHeight(),
                              swp::kNoMove | swp::kNoActivate);

    // 7, 8. The pattern setting from its start.
    OnPatternMenu(ID_PATTERN_RANDOM + static_cast<unsigned>(m_nPattern));
    m_nScriptPos = 0;
    m_app.m_strCharName = m_file.Name();

    // 9, 10. Instead of the pattern start's 10 ms wait, the first step at once into a new frame
    // of the new size.
    m_window.KillTimer(kFrameTimer);
    m_bAnimTimer = FALSE;
    m_pBitmap.reset();
    if (!DrawFirstFrame()) {
        // Without a frame the character can neither be drawn nor animated: rather than stand on
        // the screen as an empty window, it is told and ends through its close path, which
        // saves its settings. It stays hidden while the message is open.
        m_bTracking = FALSE;
        HideIfVisible();
        m_app.Services().ui.ShowMessage(kWindowRefusedText, MessageStyle::OkExclamation);
        m_window.PostClose();
        return;
    }

    // 11, 12. Shown at once, at its place.
    m_window.Repaint();
    Track();
}

void CMainFrame::OnSettings() {
    m_bTracking = FALSE;
    HideIfVisible();

    CSettingsDlg dlg(m_app.Services().desktop, m_app.m_bWin2000);
    dlg.m_nPosition = m_nPosition;
    dlg.m_bAutoAnimation = m_app.m_bAutoAnimation;
    dlg.m_bTopMost = m_app.m_bTopMost;
    dlg.m_nFixed = m_app.m_nFixed;
    dlg.m_bRandomMode = m_app.GetProfileInt(kAppSection, kRandomMode, 0);
    dlg.m_nTransparency = m_app.m_nTransparency;
    dlg.m_bTransMode = m_app.m_nTransMode;

    // A dialog that outlives its character (closed meanwhile, the session ending) counts as
    // cancelled: nothing of it may reach the settings written at the end.
    const int result = m_app.Services().ui.RunDialog(IDD_SETTINGS, dlg);
    if (result == kIdOk && m_window.Exists()) {
        m_app.WriteProfileInt(kAppSection, kRandomMode, dlg.m_bRandomMode);
        m_nPosition = dlg.m_nPosition;
        m_app.m_bAutoAnimation = dlg.m_bAutoAnimation;
        m_app.m_nFixed = dlg.m_nFixed;
        m_app.m_bTopMost = dlg.m_bTopMost;
        // Switching off needs the call as much as switching on.
        if (dlg.m_bTransMode || m_app.m_nTransMode)
            SetTranslucency(dlg.m_bTransMode, dlg.m_nTransparency);
        m_app.m_nTransMode = dlg.m_bTransMode;
        m_app.m_nTransparency = dlg.m_nTransparency;
        m_nPosition = std::clamp(m_nPosition, 0, 100);
        // The pattern setting from its start (a new random draw for random selection).
        OnPatternMenu(ID_PATTERN_RANDOM + static_cast<unsigned>(m_nPattern));
        m_nScriptPos = 0;
    }
    m_bTracking = TRUE;
    Track();
}

void CMainFrame::OnAppAbout() {
    CAboutDlg dlg(m_app.Services().desktop);
    HideIfVisible();
    m_bTracking = FALSE;
    // szAbout holds at most 63 text bytes before its terminator.
    const AnsiString about = m_file.About();
    dlg.m_strText = about.substr(0, std::min<std::size_t>(about.size(), kpfile::kAboutSize - 1));
    m_app.Services().ui.RunDialog(IDD_ABOUTBOX, dlg);
    // The next placement tick shows the character again.
    m_bTracking = TRUE;
}

void CMainFrame::OnExitAll() {
    IDesktop* desktop = m_app.Services().desktop;
    if (!desktop) {
        m_window.PostClose();
        return;
    }
    const WindowId self = m_window.Id();
    const AnsiString title = Cut(desktop->WindowTitle(self));
    const AnsiString cls = Cut(desktop->WindowClass(self));
    // On top of everything, so that the walk down from here meets every other window.
    desktop->SetWindowPos(self, InsertAfter::Topmost, 0, 0, 0, 0, swp::kNoSize | swp::kNoMove);
    // The walk ends before the first close is posted: an instance that handles its close at
    // once is gone from the z-order, and the walk could not go on below it.
    std::vector<WindowId> instances;
    WindowId w = self;
    for (int i = 0; i < kMaxWalk; ++i) {
        w = desktop->WindowBelow(w);
        if (!w)
            break;
        if (w != self && Cut(desktop->WindowTitle(w)) == title && Cut(desktop->WindowClass(w)) == cls)
            instances.push_back(w);
    }
    for (const WindowId instance : instances)
        desktop->PostClose(instance);
    desktop->PostClose(self);
}

void CMainFrame::OnMouseMove(unsigned, Point point) {
    if (!m_bLButtonDown || point == m_ptLButtonDown)
        return;
    // One press gives at most one drag; placement pauses during it.
    m_bLButtonDown = FALSE;
    m_bTracking = FALSE;
    const Point start = CursorPos();
    m_window.RunMoveLoop(point);
    const Point end = CursorPos();
    m_window.Hide();
    // The reference is asked for after hiding, so that it is not the character itself.
    Rect reference = m_rcTarget;
    if (IDesktop* desktop = m_app.Services().desktop) {
        const WindowId foreground = desktop->ForegroundWindow();
        Rect rc;
        if (foreground && placement::TargetRect(*desktop, foreground, rc))
            reference = rc;
    }
    // The window's width on the screen: the distance dragged is in screen pixels too.
    m_nPosition = placement::DragPosition(m_nPosition, end.x - start.x, reference, ScaledWidth());
    m_bTracking = TRUE;
    Track();
}

} // namespace kp
