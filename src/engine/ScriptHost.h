// What the action-script interpreter works on and what it asks of its host. The interpreter
// itself holds no platform object: every effect that reaches beyond its own state (pictures,
// shapes, palettes, text, the window, timers, sounds, programs, settings, the cursor, the clock,
// chance) is one call of IScriptHost. The character window is the real host; tests and the
// headless runner put recording hosts around it.
#pragma once

#include "chardata/DataFile.h"
#include "platform/Canvas.h"
#include "platform/Types.h"

#include <cstddef>
#include <memory>

namespace kp {

// The menu command of the random selection; pattern k is kPatternCommandBase + k.
constexpr unsigned kPatternCommandBase = 32780;
// Number of script variables.
constexpr std::size_t kScriptVariables = 100;

// The interpreter's running state. The character window derives from it, so that the window
// and the interpreter share one set of members.
struct ScriptState {
    // First byte of the current pattern's script, inside the loaded image (nullptr before the
    // first load).
    const BYTE* m_pScript = nullptr;
    // Offset of the next byte to read, counted from m_pScript.
    int m_nScriptPos = 0;
    // The variables; they belong to the window and survive pattern and data-file changes.
    WORD m_nVar[kScriptVariables] = {};
    // Where a left click re-enters the script, or -1 for none.
    int m_nClickEntry = -1;
    // Timer 1 is pending.
    BOOL m_bAnimTimer = FALSE;
    // The pattern started last: 0 for a random choice, else 1..count.
    int m_nPattern = 0;
    // Horizontal position on the target window, percent 0..100.
    int m_nPosition = 0;
    // Height of the window's top edge above the target's top edge, 0..65535.
    int m_nOffsetY = 0;
    // The clock reading of the last VAL_CLOCK; all fields 0 before the first.
    LocalTime m_stClock;
    // The font the script made last; selected into the canvas for every step while it exists.
    std::unique_ptr<FontSpec> m_pFont;
};

// Why a step ended before one of its instructions ended it.
enum class StepCut {
    InstructionLimit, // the step ran kStepInstructionLimit instructions without a wait
    OutsideImage,     // an instruction or its operands lie outside the loaded image
};

class IScriptHost {
public:
    virtual ~IScriptHost() = default;

    // The loaded image; an empty view before the first load.
    virtual const CharacterFile& ScriptFile() const = 0;

    // Pictures and shapes, on the step's canvas and the window.
    virtual void DrawCell(WORD cell) = 0;
    // The lowest free region slot, filled from mask cell `cell` when kind is 'b'; 0xFFFF when all
    // slots are taken.
    virtual WORD CreateMaskRgn(BYTE kind, WORD cell) = 0;
    virtual void SetShape(WORD slot) = 0;
    // Empties every region slot.
    virtual void FreeMaskRegions() = 0;
    // The character's palette becomes that of cell `cell` and is selected into the canvas.
    virtual void ReplacePalette(WORD cell) = 0;
    // Text at (x, y) on the step's canvas in its current font (the bytes before the first zero).
    virtual void WriteText(int x, int y, const AnsiString& text) = 0;
    // Selects a font into the step's canvas; nullptr gives it back its default font.
    virtual void UseFont(const FontSpec* font) = 0;

    // The window.
    virtual void Track() = 0;
    virtual void HideWindow() = 0;
    virtual void SetFrameTimer(unsigned milliseconds) = 0;
    virtual void KillFrameTimer() = 0;

    // Effects outside the program; failures are ignored.
    // A RIFF WAVE image lying wholly inside the loaded image (`size` bytes at `wave`).
    virtual void PlayWave(const BYTE* wave, std::size_t size) = 0;
    // A WAVE file name or a system sound name.
    virtual void PlaySoundFile(const AnsiString& name) = 0;
    virtual void StartProgram(const AnsiString& commandLine) = 0;
    // Integers in the character's own settings section.
    virtual int ReadSetting(const AnsiString& entry, int defaultValue) = 0;
    virtual void WriteSetting(const AnsiString& entry, int value) = 0;

    // The environment.
    // The cursor in the character window's client coordinates.
    virtual Point CursorInClient() = 0;
    virtual LocalTime LocalNow() = 0;
    // The automatic-animation setting, as it is now.
    virtual BOOL AutoAnimation() = 0;
    // The one random generator: 0..32767.
    virtual int Rand() = 0;

    // Notifications for observers (the trace); the window needs none of them.
    // A pattern was started: its number as m_nPattern holds it and its index in the file.
    virtual void PatternStarted(int pattern, std::size_t index) {
        (void)pattern;
        (void)index;
    }
    virtual void OffsetYSet(int offsetY) { (void)offsetY; }
    virtual void StepCutShort(StepCut why, int pos) {
        (void)why;
        (void)pos;
    }
};

} // namespace kp
