// The character's scale on monitors of high pixel density: a new scale resizes the window,
// shapes it again and places it again.
#include "app/MainFrame.h"

#include "app/Scale.h"

namespace kp {

void CMainFrame::UpdateScale(int dpi) {
    const int scale = ChooseScale(m_nScaleSetting, dpi);
    IDesktop* desktop = m_app.Services().desktop;
    // While a new scale is applied its own placement may reach another monitor again: the scale
    // of the first one stays, so that a character at the edge between two cannot flicker.
    if (scale == m_nScale || m_bRescaling || !desktop || !m_window.Exists() || !m_pData)
        return;
    m_bRescaling = true;
    m_nScale = scale;
    // The new size in place, on top; the frame keeps the character's own size.
    desktop->SetWindowPos(m_window.Id(), InsertAfter::Topmost, 0, 0, ScaledWidth(), ScaledHeight(),
                          swp::kNoMove | swp::kNoActivate);
    // Region mode: the window's region is in window pixels. Colour-key mode scales m_hRgn as it
    // paints.
    if (!m_app.m_bWin2000 && m_rgnShape)
        m_window.SetWindowRegion(ScaleRegion(*m_rgnShape, m_nScale));
    m_window.Repaint();
    Track();
    m_bRescaling = false;
}

} // namespace kp
