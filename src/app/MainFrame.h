// The character window: the holder of the loaded character image and of all running state.
// Platform messages arrive here as calls of the handler members (OnClose, OnQueryEndSession...).
#pragma once

#include "app/CharacterApp.h"
#include "app/FrameRecord.h"
#include "chardata/DataFile.h"
#include "chardata/MaskRgn.h"
#include "engine/Interpreter.h"
#include "placement/Placement.h"
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

// The title of the open-file dialog that chooses a character file.
constexpr const char* kChooseDataFileTitle = "データファイルの変更";
// Told when the platform refuses the character's window or its frame (no memory for a frame of
// that size, no more window objects): the program never ends without a word.
constexpr const char* kWindowRefusedText = "キャラクターのウィンドウを作成できません。";

class CMainFrame : public ScriptState, public PlacementState, public IWindowEvents {
public:
    explicit CMainFrame(CCharacterApp& app);
    ~CMainFrame();
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    BOOL CreateCharacterWindow();
    // Reads, checks and installs a character file; on failure the user has been told why and
    // the installed image (if any) is left as it was.
    BOOL LoadDataFile(const Utf8String& path); // `path` is UTF-8
    // The open-file dialog and the loading of the chosen file.
    BOOL ChooseDataFile();

    // Message handlers (the window's messages arrive here from the platform).
    void OnClose() override;
    BOOL OnQueryEndSession() override;
    // The session really ends: an open dialog ends as Cancel and the settings are written at
    // once, since the process may be gone before the posted close arrives.
    void OnEndSession(BOOL bEnding) override;
    // Copies the frame to the window; on Windows 2000 and later the area outside the shape is
    // then filled with the colour key.
    void OnPaint(IWindowDc& dc) override;
    // The frame covers the whole window: nothing is erased.
    BOOL OnEraseBkgnd() override { return TRUE; }
    // Timer 1: one script step drawn into the frame and shown at once. Timer 2: the placement
    // tick, every 100 ms. Both are one-shot: a tick kills its own timer first.
    void OnTimer(unsigned nIDEvent) override;
    void OnTrack() override { Track(); }
    // A press arms the drag and, when the script has a click entry, runs a step from there at once.
    void OnLButtonDown(unsigned nFlags, Point point) override;
    void OnLButtonUp(unsigned nFlags, Point point) override;
    // The window now stands on a monitor of another pixel density: the scale follows at once.
    // While a placement moves the window the change waits for its end, where Track asks for the
    // DPI again: a new size in the middle would be placed with the old one's place.
    void OnDpiChanged(int dpi) override {
        if (!m_bPlacing)
            UpdateScale(dpi);
    }

    // Talking to the character (MainFrameCommands.cpp).
    // The first move away from the press point drags the character: only the horizontal
    // distance counts, as a change of m_nPosition, and Track puts it back on its target.
    void OnMouseMove(unsigned nFlags, Point point) override;
    // The context menu at the cursor; placement pauses while it is open.
    void OnRButtonDown(unsigned nFlags, Point point) override;
    // A command of the context menu; FALSE for one the window does not handle.
    BOOL OnCommand(unsigned nID) override;
    // Saves the settings, then replaces the character by one the user chooses.
    void OnChangeDataFile();
    // The settings dialog; its values take effect on OK, and the character is placed again
    // either way.
    void OnSettings();
    void OnAppAbout();
    // Asks every running instance to close, this one last.
    void OnExitAll();

    // Creation, steps shared with the headless runner.
    // The first pattern of m_nPattern (0: a random one); returns its index in the file.
    std::size_t StartFirstPattern();
    // Makes the frame when there is none, selects the palette into it and runs the first step.
    // False when the platform gives no frame.
    BOOL DrawFirstFrame();

    // Placement (the placement subsystem over the desktop service).
    // Places the window on its target window's top edge, or hides it; also WM_TRACK's handler.
    void Track();
    // Translucency on (with nPercent opacity) or off; on Windows 2000 and later the window is
    // layered with the colour key either way. Always TRUE.
    BOOL SetTranslucency(BOOL bOn, int nPercent);

    // The scale (MainFrameScale.cpp).
    // The scale for a monitor of `dpi`; when it differs from m_nScale the window takes the new
    // size and shape, is repainted and placed again at once.
    void UpdateScale(int dpi);
    // The window's size: the character's own size times m_nScale.
    int ScaledWidth() const { return m_file.CanvasWidth() * m_nScale; }
    int ScaledHeight() const { return m_file.CanvasHeight() * m_nScale; }

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

    // The action script (MainFrameScript.cpp).
    // One step of the current script drawn into `dc` (the off-screen canvas).
    void RunScript(ICanvas& dc);
    // Starts a pattern: a menu command value, or a pattern number from a script.
    void OnPatternMenu(unsigned nID);
    // The interpreter, for hosts that record what it does.
    CScriptEngine& ScriptEngine() { return *m_pEngine; }
    IScriptHost& ScriptHost() { return *m_pScriptHost; }

    // A view of the installed image (empty before the first load).
    const CharacterFile& File() const { return m_file; }

    // Loaded image and the pointers into it.
    ByteBlock m_data;
    const BYTE* m_pData = nullptr;
    const BYTE* m_pCells = nullptr;
    const BYTE* m_pHeader = nullptr;
    const BYTE* m_pSounds = nullptr;
    // The interpreter's state (m_pScript, m_nScriptPos, m_nVar, m_nClickEntry, m_bAnimTimer,
    // m_nPattern, m_nPosition, m_nOffsetY, m_stClock, m_pFont) comes from ScriptState.

    // The placement members (m_bTracking, m_nLastX, m_nLastY, m_rcTarget) come from
    // PlacementState.

    // The "Scale" setting as it takes effect (0 automatic, 1..4), read when the window is created.
    int m_nScaleSetting = 0;
    // Every pixel of the frame is shown as an m_nScale x m_nScale block; 1 at 96 DPI.
    int m_nScale = 1;

    // The left button is held on the character, and where it was pressed (client coordinates).
    BOOL m_bLButtonDown = FALSE;
    Point m_ptLButtonDown;

    // The off-screen frame, wWidth x wHeight; it keeps its contents between steps.
    std::unique_ptr<ICanvas> m_pBitmap;
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
    // Region mode: the shape last applied, at the character's own size, so that a new scale can
    // apply it again. Unset until the first SetShape.
    std::optional<RectRegion> m_rgnShape;

    // What the current step and the one before it drew into the frame (a step that repeats the
    // one before, or draws nothing, leaves the frame's pixels as they were).
    FrameRecord m_stepRecord;
    FrameRecord m_lastStepRecord;

private:
    friend class FrameScriptHost;
    CCharacterApp& m_app;
    ICharacterWindow& m_window;
    CharacterFile m_file;
    // Makes the interpreter and its host (the constructor).
    void CreateScriptEngine();
    // m_pPalette := the palette of cell 0 (none for a cell without a colour table).
    void CreateCellZeroPalette();
    // Hides the window when it is shown.
    void HideIfVisible();
    // The cursor in screen coordinates ((0, 0) without a desktop service).
    Point CursorPos();
    // Stops the sounds the scripts started: they may be read from the image until they end.
    void StopScriptSounds();
    // Set while a new scale is being applied, so that the placement it makes cannot start another.
    bool m_bRescaling = false;
    // Set while the placement code moves the window.
    bool m_bPlacing = false;
    // True when the step just run may have changed what the window shows: its frame's pixels,
    // the palette they are shown with, or the colour-key area. `shapes` and `palettes` are the
    // generations before the step.
    bool StepChangedFrame(unsigned shapes, unsigned palettes) const;
    std::unique_ptr<IScriptHost> m_pScriptHost;
    std::unique_ptr<CScriptEngine> m_pEngine;
    // The shape last applied to the window, and in which mode; none since the window or the
    // character is new.
    std::optional<RectRegion> m_appliedShape;
    bool m_bAppliedLayered = false;
    // Counted up whenever the applied shape, or the palette's colours, change.
    unsigned m_nShapeGeneration = 0;
    unsigned m_nPaletteGeneration = 0;
};

} // namespace kp
