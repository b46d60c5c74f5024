// The action-script interpreter: runs the current pattern's script one step at a time and starts
// patterns. It works on a ScriptState and the loaded image in place and asks its host for every
// effect.
#pragma once

#include "engine/Opcodes.h"
#include "engine/ScriptHost.h"
#include "engine/ScriptReader.h"

namespace kp {

// Instructions (skipped bytes included) after which a step that has reached no wait ends by
// itself, and the frame timer it then sets: a script in an endless loop goes on slowly instead
// of holding the program, and the window keeps answering between its steps.
constexpr unsigned kStepInstructionLimit = 100000;
constexpr unsigned kCutStepWait = 100;
// The frame timer set by a pattern start.
constexpr unsigned kPatternStartWait = 10;
// Slot number CreateMaskRgn gives when all slots are taken.
constexpr WORD kNoMaskSlot = 0xFFFF;

// OP_IF's comparison: '!', '<', '=' and '>' on unsigned 16-bit values; any other byte never holds.
bool CompareValues(BYTE comparison, WORD a, WORD b);

class CScriptEngine {
public:
    CScriptEngine(ScriptState& state, IScriptHost& host) : m_state(state), m_pHost(&host) {}
    CScriptEngine(const CScriptEngine&) = delete;
    CScriptEngine& operator=(const CScriptEngine&) = delete;

    // Every later effect goes to `host` (a recording host wrapped around the window's own).
    void SetHost(IScriptHost& host) { m_pHost = &host; }
    IScriptHost& Host() const { return *m_pHost; }

    // One step of the current script from m_nScriptPos: instructions until one ends the step.
    // Nothing happens before the first load.
    void RunScript();
    // Starts a pattern: nID is a menu command (kPatternCommandBase + k, or kPatternCommandBase for a
    // random choice) or a bare pattern number k (0 = random).
    void OnPatternMenu(unsigned nID);

    // The readers of the running step, each advancing m_nScriptPos; past the image they give 0
    // and the step ends.
    BYTE ReadByte() { return m_reader.ReadByte(m_state.m_nScriptPos); }
    WORD ReadWord() { return m_reader.ReadWord(m_state.m_nScriptPos); }
    DWORD ReadDword() { return m_reader.ReadDword(m_state.m_nScriptPos); }
    // A value operand, evaluated.
    WORD ReadValue() { return Evaluate(ReadWord()); }
    // A string operand into a buffer of kScriptStringBuffer bytes; returns its stored length.
    WORD ReadString(BYTE* buffer, std::size_t* kept = nullptr);

    // The value of a value word (literals, variables and the environment codes).
    WORD Evaluate(WORD word) {
        if (word < 0x8000)
            return word;
        if (word < VAL_CLOCK)
            return Variable(word & 0x3FFF);
        return EvaluateSpecial(word);
    }

private:
    WORD EvaluateSpecial(WORD word);
    // Points the reader at the current script; false when there is none inside the image.
    bool AttachReader();
    // The operands of one instruction: numbers (bytes, words, offsets, evaluated values, variable
    // words; a string's length) by position, and the one string operand an instruction has.
    struct Operands {
        DWORD n[kMaxOperands] = {};
        BYTE string[kScriptStringBuffer];
        std::size_t kept = 0; // string bytes kept in `string`
        // The string as text: the bytes before the first zero among those kept.
        AnsiString Text() const;
    };
    // Reads the operands of `op` in the order of its opcode list entry.
    void ReadOperands(const OpcodeInfo& op, Operands& o);
    // One instruction whose opcode byte has been read: its operands in the order of its opcode
    // list entry, and its effect when all of them lay inside the image. Returns whether it ends
    // the step. Made for each line of the opcode list, so that an instruction of fixed size that
    // lies wholly inside the image is decoded without a test per operand.
    template <OperandKind...> struct Kinds {};
    template <BYTE code, bool endsStep, OperandKind... kinds> bool Step(Kinds<kinds...>);
    template <OperandKind kind> DWORD ReadInside(int& pos);
    // Carries out an instruction whose operands were all read inside the image.
    template <BYTE code> void Execute(const Operands& o);
    void WriteVariable(WORD operand, WORD value) {
        const WORD n = operand & 0x7FFF;
        if (n < kScriptVariables)
            m_state.m_nVar[n] = value;
    }
    WORD Variable(WORD n) const { return n < kScriptVariables ? m_state.m_nVar[n] : 0; }
    // OP_SET, OP_ADD, OP_SUB, OP_AND, OP_OR, OP_MOD: variable v, value x.
    void Arithmetic(BYTE op, WORD operand, WORD x);
    void EndStepWithWait(unsigned milliseconds);
    void PlayEmbeddedSound(WORD n);
    // Gives the canvas back its default font when this step selected one.
    void ReleaseStepFont();

    ScriptState& m_state;
    IScriptHost* m_pHost;
    ScriptReader m_reader;
    bool m_bFormB = false; // strings are stored in text form B
    bool m_bInStep = false;
    bool m_bStepFont = false; // this step selected a font into the canvas
};

} // namespace kp
