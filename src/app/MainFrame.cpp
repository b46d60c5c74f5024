#include "app/MainFrame.h"

#include "chardata/Loader.h"

namespace kp {

using namespace settings;

namespace {

int Limit(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

CMainFrame::CMainFrame(CCharacterApp& app) : m_app(app), m_window(app.Services().window) {
    CreateScriptEngine();
}

CMainFrame::~CMainFrame() {
    StopScriptSounds();
}

BOOL CMainFrame::LoadDataFile(const AnsiString& path) {
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
    // Whatever the check fields say, a file whose structure points outside it is never used.
    if (!CheckStructure(image)) {
        ui.ShowMessage(LoadMessageText(LoadMessage::Corrupted), MessageStyle::OkExclamation);
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
    m_app.m_bHaveDataFile = TRUE;
    return TRUE;
}

BOOL CMainFrame::ChooseDataFile() {
    AnsiString path;
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
    const int patterns = m_file.PatternCount();
    m_nPattern = Limit(m_nPattern, 0, patterns);
    m_nPosition = Limit(m_nPosition, 0, 100);

    // 5. The first pattern (the loader refuses files without patterns, so the divisor is not 0).
    const int index = m_nPattern != 0 ? m_nPattern - 1 : m_app.Rand() % patterns;
    m_nScriptPos = 0;
    m_pScript = m_pData + m_file.PatternOffset(static_cast<std::size_t>(index));

    // 6, 7. The hidden popup window of the canvas's size. A window the platform refuses ends
    // the start as a failure rather than running on without one.
    m_app.m_strCharName = m_file.Name();
    WindowCreateParams params;
    params.title = kWindowTitle;
    params.width = m_file.CanvasWidth();
    params.height = m_file.CanvasHeight();
    params.layered = m_app.m_bWin2000 != FALSE;
    if (!m_window.Create(params))
        return FALSE;

    // 10. From now on the placement tick may move the window.
    m_bTracking = TRUE;
    return TRUE;
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

} // namespace kp
