#include "app/MainFrame.h"

#include "app/Scale.h"
#include "chardata/Loader.h"
#include "chardata/Palette.h"

namespace kp {

using namespace settings;

namespace {

int Limit(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

CMainFrame::CMainFrame(CCharacterApp& app) : m_app(app), m_window(app.Services().window) {
    CreateScriptEngine();
    m_window.SetEvents(this);
}

CMainFrame::~CMainFrame() {
    m_window.SetEvents(nullptr);
    StopScriptSounds();
}

void CMainFrame::CreateCellZeroPalette() {
    ++m_nPaletteGeneration;
    auto palette = std::make_unique<LogPalette>();
    if (CreateCellPalette(m_file.Image(), m_file.CellBitmapInfoOffset(0), *palette))
        m_pPalette = std::move(palette);
    else
        m_pPalette.reset();
}

BOOL CMainFrame::LoadDataFile(const Utf8String& path) {
    if (m_bAnimTimer)
        m_window.KillTimer(kFrameTimer);
    m_bAnimTimer = FALSE;

    IModalUi& ui = m_app.Services().ui;
    ByteBlock block;
    if (!m_app.Services().files.ReadWholeFile(path, block)) {
        ui.ShowMessage(LoadMessageText(LoadMessage::Unreadable), MessageStyle::OkExclamation);
        return FALSE;
    }
    const ImageView image(block.data.get(), block.size);
    const LoadMessage verdict = CheckImage(image);
    if (verdict == LoadMessage::MayBeCorrupted) {
        if (ui.ShowMessage(LoadMessageText(verdict), MessageStyle::YesNoExclamation) != MessageResult::Yes)
            return FALSE;
    } else if (verdict != LoadMessage::None) {
        ui.ShowMessage(LoadMessageText(verdict), MessageStyle::OkExclamation);
        return FALSE;
    }
    // Whatever the check fields say, a file whose structure points outside it, or whose window
    // or first cell is larger than the program can show, is never used.
    const LoadMessage layout = CheckLayout(image);
    if (layout != LoadMessage::None) {
        ui.ShowMessage(LoadMessageText(layout), MessageStyle::OkExclamation);
        return FALSE;
    }

    // A sound playing from the old image must not outlive it.
    StopScriptSounds();
    m_data = std::move(block);
    m_pData = m_data.data.get();
    m_file = CharacterFile(ImageView(m_pData, m_data.size));
    m_pCells = m_pData + m_file.CellsOffset();
    m_pHeader = m_pData + m_file.HeaderOffset();
    m_pSounds = m_pData + m_file.SoundsOffset();
    m_pScript = m_pData + m_file.PatternOffset(0);
    m_nScriptPos = 0;
    m_nClickEntry = -1;
    // Cells, shapes and palettes of the old image mean nothing for the new one.
    m_appliedShape.reset();
    m_stepRecord.Forget();
    m_app.m_bHaveDataFile = TRUE;
    return TRUE;
}

BOOL CMainFrame::ChooseDataFile() {
    Utf8String path;
    if (!m_app.Services().ui.ChooseFileToOpen(kChooseDataFileTitle, path))
        return FALSE;
    // A file the loader refuses has been explained by its message; the dialog is not offered again.
    if (!LoadDataFile(path))
        return FALSE;
    m_app.m_strDataName = path;
    m_app.m_strCharName = m_file.Name();
    return TRUE;
}

BOOL CMainFrame::CreateCharacterWindow() {
    // 1. A character image: the remembered or named file, else the open-file dialog.
    m_pData = nullptr;
    if (!m_app.m_bHaveDataFile) {
        if (!ChooseDataFile())
            return FALSE;
    } else if (!LoadDataFile(m_app.m_strDataName) && !ChooseDataFile()) {
        return FALSE;
    }
    m_app.m_strCharName = m_file.Name();

    // 2. The palette of cell 0 (the loader has checked that its colour table is there; a cell
    // of more than 8 bits gives none, and drawing goes on with the canvas's own).
    CreateCellZeroPalette();

    // 3. Per-character settings of the loaded character, command-line values first.
    const AnsiString& section = m_app.m_strCharName;
    m_nPosition = m_app.m_nPositionArg != -1
                      ? m_app.m_nPositionArg
                      : m_app.GetProfileInt(section, kPosition, m_file.DefaultPosition());
    m_nPattern = m_app.m_nPatternArg != -1 ? m_app.m_nPatternArg
                                           : m_app.GetProfileInt(section, kPattern, m_file.DefaultPattern());
    m_app.m_nFixed = m_app.m_nFixedArg != -1 ? m_app.m_nFixedArg : m_app.GetProfileInt(section, kFixed, 0);
    m_app.m_nPatternArg = -1;
    m_app.m_nPositionArg = -1;

    // 4. Limits.
    m_nPattern = Limit(m_nPattern, 0, m_file.PatternCount());
    m_nPosition = Limit(m_nPosition, 0, 100);

    // 5. The first pattern.
    StartFirstPattern();

    // 6, 7. The hidden popup window of the canvas's size times the scale of the monitor it is
    // made on. A window the platform refuses ends the start as a failure rather than running on
    // without one.
    m_app.m_strCharName = m_file.Name();
    m_nScaleSetting = LimitScaleSetting(m_app.GetProfileInt(kAppSection, kScale, kAutoScale));
    m_nScale = ChooseScale(m_nScaleSetting, m_window.Dpi());
    WindowCreateParams params;
    params.title = kAppTitle;
    params.width = ScaledWidth();
    params.height = ScaledHeight();
    params.layered = m_app.m_bWin2000 != FALSE;
    m_appliedShape.reset(); // a new window has no shape yet
    if (!m_window.Create(params)) {
        m_app.Services().ui.ShowMessage(kWindowRefusedText, MessageStyle::OkExclamation);
        return FALSE;
    }

    // 8. Layered with the colour key from the start on Windows 2000 and later.
    if (m_app.m_bWin2000)
        SetTranslucency(m_app.m_nTransMode, m_app.m_nTransparency);

    // 9. The first step, drawn into a new frame. Without a frame there is nothing to show. The
    // user is told while the window still stands: its end ends the message loop, and a message
    // box shown after that would close before anyone could read it.
    if (!DrawFirstFrame()) {
        m_app.Services().ui.ShowMessage(kWindowRefusedText, MessageStyle::OkExclamation);
        m_window.Destroy();
        return FALSE;
    }

    // 10. From now on the placement tick may move the window.
    m_bTracking = TRUE;
    m_window.SetTimer(kPlacementTimer, kPlacementInterval);
    return TRUE;
}

std::size_t CMainFrame::StartFirstPattern() {
    // The loader refuses files without patterns, so the divisor is never 0.
    const int patterns = m_file.PatternCount();
    const int index = m_nPattern != 0 ? m_nPattern - 1 : m_app.Rand() % patterns;
    m_nScriptPos = 0;
    m_pScript = m_pData + m_file.PatternOffset(static_cast<std::size_t>(index));
    return static_cast<std::size_t>(index);
}

BOOL CMainFrame::DrawFirstFrame() {
    if (!m_pBitmap)
        m_pBitmap = m_window.CreateFrame(m_file.CanvasWidth(), m_file.CanvasHeight());
    if (!m_pBitmap)
        return FALSE;
    if (m_pPalette)
        m_pBitmap->SelectPalette(*m_pPalette);
    RunScript(*m_pBitmap);
    return TRUE;
}

void CMainFrame::OnTimer(unsigned nIDEvent) {
    m_window.KillTimer(static_cast<int>(nIDEvent));
    if (nIDEvent == kFrameTimer) {
        m_bAnimTimer = FALSE;
        const int offsetY = m_nOffsetY;
        const unsigned shapes = m_nShapeGeneration;
        const unsigned palettes = m_nPaletteGeneration;
        if (m_pBitmap) {
            if (m_pPalette)
                m_pBitmap->SelectPalette(*m_pPalette);
            RunScript(*m_pBitmap);
        }
        // Shown at once, before anything else is handled: each frame appears whole. A step that
        // left the frame, its palette and its shape as they were is not repainted: the window
        // already shows those very pixels, so repainting would show the same pixels again and
        // only cost time. The system's own paints (the window shown, uncovered or resized) still
        // copy the whole frame.
        if (!m_pBitmap || StepChangedFrame(shapes, palettes))
            m_window.Repaint();
        // A new height above the target moves the window now, not at the next placement tick.
        if (m_nOffsetY != offsetY)
            Track();
    } else if (nIDEvent == kPlacementTimer) {
        if (m_bTracking)
            Track();
        // The 100 ms count from the end of this placement.
        m_window.SetTimer(kPlacementTimer, kPlacementInterval);
    }
}

void CMainFrame::OnLButtonDown(unsigned, Point point) {
    m_bLButtonDown = TRUE;
    m_ptLButtonDown = point;
    // The click entry stays in force: every click enters the script there again.
    if (m_nClickEntry != -1) {
        m_nScriptPos = m_nClickEntry;
        OnTimer(kFrameTimer);
    }
}

void CMainFrame::OnLButtonUp(unsigned, Point) {
    m_bLButtonDown = FALSE;
}

void CMainFrame::OnPaint(IWindowDc& dc) {
    if (!m_pBitmap)
        return;
    dc.CopyFrame(*m_pBitmap, m_nScale);
    if (!m_app.m_bWin2000 || !m_hRgn)
        return;
    // At the character's own size the kept region is filled as it is, without a copy.
    if (m_nScale == 1)
        dc.FillRegion(*m_hRgn, TRANSPARENT_KEY);
    else
        dc.FillRegion(ScaleRegion(*m_hRgn, m_nScale), TRANSPARENT_KEY);
}

void CMainFrame::Track() {
    IDesktop* desktop = m_app.Services().desktop;
    if (!desktop || !m_window.Exists() || !m_pData)
        return;
    TrackRequest request;
    request.hWnd = m_window.Id();
    request.nWidth = ScaledWidth();
    request.m_nPosition = m_nPosition;
    request.m_nOffsetY = m_nOffsetY * m_nScale;
    request.m_nFixed = m_app.m_nFixed;
    request.m_bTopMost = m_app.m_bTopMost;
    request.m_bFullScreenHide = m_app.m_bFullScreenHide;
    const int lastX = m_nLastX;
    const int lastY = m_nLastY;
    // A move may have taken the window to a monitor of another pixel density. Asked only after
    // a move, so that the placement tick of a character standing still costs nothing more.
    m_bPlacing = true;
    const placement::TrackOutcome outcome = placement::Track(*desktop, request, *this);
    m_bPlacing = false;
    if (outcome == placement::TrackOutcome::Placed && (m_nLastX != lastX || m_nLastY != lastY))
        UpdateScale(m_window.Dpi());
}

BOOL CMainFrame::SetTranslucency(BOOL bOn, int nPercent) {
    IDesktop* desktop = m_app.Services().desktop;
    if (!desktop || !m_window.Exists())
        return TRUE;
    return placement::SetTranslucency(*desktop, m_window.Id(), m_app.m_bWin2000, bOn, nPercent,
                                      m_app.m_nTransMode, m_app.m_nTransparency);
}

void CMainFrame::OnClose() {
    m_app.m_nSavedPosition = m_nPosition;
    m_app.m_nSavedPattern = m_nPattern;
    m_window.Destroy();
}

BOOL CMainFrame::OnQueryEndSession() {
    m_window.PostClose();
    return TRUE;
}

void CMainFrame::OnEndSession(BOOL bEnding) {
    if (!bEnding)
        return;
    // The settings dialog ends without applying what it shows; the character's own values are
    // kept as the close would keep them, and everything is written before the system may end
    // the process. The close posted at the question, should it still arrive, writes the same
    // values again.
    m_app.Services().ui.EndRunningDialog(kIdCancel);
    m_app.m_nSavedPosition = m_nPosition;
    m_app.m_nSavedPattern = m_nPattern;
    m_app.SaveSettings();
    // A dialog's loop that ends while it waits for a message drops the message it then takes,
    // which may be that close: asked again, the program ends whatever the dialog took.
    m_window.PostClose();
}

} // namespace kp
