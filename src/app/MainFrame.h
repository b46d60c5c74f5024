// The character window: the holder of the loaded character image and of all running state.
// Platform messages arrive here as calls of the handler members (OnClose, OnQueryEndSession...).
#pragma once

#include "app/CharacterApp.h"
#include "chardata/DataFile.h"
#include "chardata/MaskRgn.h"
#include "platform/Canvas.h"
#include "platform/Services.h"

#include <array>
#include <memory>
#include <optional>

namespace kp {

// Timer ids of the character window.
constexpr int kFrameTimer = 1;
constexpr int kPlacementTimer = 2;
constexpr unsigned kPlacementInterval = 100;

// The title every instance's window bears; other instances find each other by it.
constexpr const char* kWindowTitle = "Kelpo32";
// The title of the open-file dialog that chooses a character file.
constexpr const char* kChooseDataFileTitle = "データファイルの変更";

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

    // Pictures and shapes (MainFrameDrawing.cpp).
    // Draws cell c at its own position (wX, wY, unsigned) into m_pCanvas; nothing without a canvas
    // or for a cell whose record lies outside the image.
    void DrawCell(WORD cell);
    // Builds a shape from mask cell c into the lowest free region slot (kind 'b'); returns that
    // slot, or 0xFFFF when all 16 are taken. Other kinds return the lowest free slot, unused.
    WORD CreateMaskRgn(BYTE kind, WORD cell);
    // Makes the shape in a slot the window's shape (region mode) or the colour-key area
    // (m_bWin2000). A free slot or a slot number of 16 or more changes nothing.
    void SetShape(WORD slot);
    // Replaces m_pPalette with the palette of cell c and selects it into m_pCanvas; a cell that
    // gives no palette leaves the current one.
    void ReplacePalette(WORD cell);
    // Releases all 16 region slots (every pattern start).
    void FreeMaskRegions();

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

    // The canvas the current step draws into (the off-screen canvas while a step runs); not owned.
    ICanvas* m_pCanvas = nullptr;
    // The character's palette; replaced as a whole.
    std::unique_ptr<LogPalette> m_pPalette;
    // Region slots 0..15; null = free.
    static constexpr WORD kMaskSlots = 16;
    std::array<std::unique_ptr<CMaskRgn>, kMaskSlots> m_apMaskRgn;
    // Colour-key mode: the part of the window outside the shape last applied, painted in the key
    // colour. Unset until the first SetShape, and always unset in region mode.
    std::optional<RectRegion> m_hRgn;

private:
    CCharacterApp& m_app;
    ICharacterWindow& m_window;
    CharacterFile m_file;
};

} // namespace kp
