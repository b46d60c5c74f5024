// The character window: the holder of the loaded character image and of all running state.
// Platform messages arrive here as calls of the handler members (OnClose, OnQueryEndSession...).
#pragma once

#include "app/CharacterApp.h"
#include "chardata/DataFile.h"
#include "platform/Services.h"

namespace kp {

// Timer ids of the character window.
constexpr int kFrameTimer = 1;
constexpr int kPlacementTimer = 2;
constexpr unsigned kPlacementInterval = 100;

// The title every instance's window bears; other instances find each other by it.
constexpr const char* kWindowTitle = "Kelpo32";

class CMainFrame {
public:
    explicit CMainFrame(CCharacterApp& app);
    ~CMainFrame();
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    BOOL CreateCharacterWindow();
    // Reads, checks and installs a character file; on failure the user has been told why and
    // the installed image (if any) is left as it was.
    BOOL LoadDataFile(const AnsiString& path);
    // The open-file dialog and the loading of the chosen file.
    BOOL ChooseDataFile();

    // Message handlers.
    void OnClose();
    BOOL OnQueryEndSession();

    // A view of the installed image (empty before the first load).
    const CharacterFile& File() const { return m_file; }

    // Loaded image and the pointers into it.
    ByteBlock m_data;
    const BYTE* m_pData = nullptr;
    const BYTE* m_pCells = nullptr;
    const BYTE* m_pHeader = nullptr;
    const BYTE* m_pSounds = nullptr;
    const BYTE* m_pScript = nullptr;
    int m_nScriptPos = 0;

    int m_nPattern = 0;
    int m_nPosition = 0;
    int m_nClickEntry = -1;
    BOOL m_bAnimTimer = FALSE;
    BOOL m_bTracking = FALSE;
    int m_nLastX = -1;
    int m_nLastY = -1;
    Rect m_rcTarget;
    int m_nOffsetY = 0;
    WORD m_nVar[100] = {};

private:
    CCharacterApp& m_app;
    ICharacterWindow& m_window;
    CharacterFile m_file;
};

} // namespace kp
