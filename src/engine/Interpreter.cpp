#include "engine/Interpreter.h"

#include "chardata/Wave.h"

#include <cstdint>
#include <cstring>

// The decoding and effect of each instruction go straight into the dispatch of RunScript, as in
// a hand-written interpreter loop: a call per instruction would cost more than most of them do.
#if defined(__GNUC__)
#define KP_HOT_INLINE [[gnu::always_inline]] inline
#else
#define KP_HOT_INLINE inline
#endif

namespace kp {

namespace {

constexpr BYTE kKindBitmap = 'b';
constexpr WORD kMaxPosition = 100;
constexpr int kFontHeightSign = -1; // a character height, not a cell height
constexpr int kFontWeightBold = 700;
constexpr BYTE kShiftJisCharset = 128;

} // namespace

bool CompareValues(BYTE comparison, WORD a, WORD b) {
    switch (comparison) {
    case CMP_NE:
        return a != b;
    case CMP_LT:
        return a < b;
    case CMP_EQ:
        return a == b;
    case CMP_GT:
        return a > b;
    default:
        return false;
    }
}

bool CScriptEngine::AttachReader() {
    const CharacterFile& file = m_pHost->ScriptFile();
    const ImageView& image = file.Image();
    if (image.Size() == 0)
        return false;
    m_bFormB = file.Version() >= kpfile::kFirstCheckedVersion;
    const auto base = reinterpret_cast<std::uintptr_t>(image.Base());
    const auto script = reinterpret_cast<std::uintptr_t>(m_state.m_pScript);
    // A script pointer that does not lie inside the image is never read through: every read of
    // the step then fails and the step is cut short.
    if (!m_state.m_pScript || script < base || script - base > image.Size())
        m_reader.Reset(nullptr, 0);
    else
        m_reader.Reset(m_state.m_pScript, image.Size() - (script - base));
    return true;
}

WORD CScriptEngine::EvaluateSpecial(WORD word) {
    switch (word) {
    case VAL_CURSORX:
        return static_cast<WORD>(m_pHost->CursorInClient().x);
    case VAL_CURSORY:
        return static_cast<WORD>(m_pHost->CursorInClient().y);
    case VAL_POSITION:
        return static_cast<WORD>(m_state.m_nPosition);
    case VAL_RANDOM:
        return static_cast<WORD>(static_cast<unsigned>(m_pHost->Rand()) % 100);
    case VAL_CLOCK:
        m_state.m_stClock = m_pHost->LocalNow();
        return m_state.m_stClock.milliseconds;
    case VAL_YEAR:
        return m_state.m_stClock.year;
    case VAL_MONTH:
        return m_state.m_stClock.month;
    case VAL_DAY:
        return m_state.m_stClock.day;
    case VAL_HOUR:
        return m_state.m_stClock.hour;
    case VAL_MINUTE:
        return m_state.m_stClock.minute;
    case VAL_SECOND:
        return m_state.m_stClock.second;
    default:
        // VAL_UNUSED, the one word without a meaning, reads as 0.
        return 0;
    }
}

void CScriptEngine::Arithmetic(BYTE op, WORD operand, WORD x) {
    const WORD v = Variable(operand & 0x7FFF);
    WORD result = x; // OP_SET
    if (op == OP_ADD)
        result = static_cast<WORD>(v + x);
    else if (op == OP_SUB)
        result = static_cast<WORD>(v - x);
    else if (op == OP_AND)
        result = static_cast<WORD>(v & x);
    else if (op == OP_OR)
        result = static_cast<WORD>(v | x);
    else if (op == OP_MOD)
        result = x ? static_cast<WORD>(v % x) : v; // v mod 0 leaves v as it is
    WriteVariable(operand, result);
}

void CScriptEngine::ReadOperands(const OpcodeInfo& op, Operands& o) {
    for (std::size_t k = 0; k < op.operandCount; ++k) {
        switch (op.operands[k]) {
        case OperandKind::Byte:
            o.n[k] = ReadByte();
            break;
        case OperandKind::Word:
        case OperandKind::Variable:
            o.n[k] = ReadWord();
            break;
        case OperandKind::Offset:
            o.n[k] = ReadDword();
            break;
        case OperandKind::Value:
            o.n[k] = ReadValue();
            break;
        case OperandKind::String:
            o.n[k] = ReadString(o.string, &o.kept);
            break;
        }
    }
}

WORD CScriptEngine::ReadString(BYTE* buffer, std::size_t* kept) {
    const WORD length = ReadValue();
    const std::size_t n = m_reader.ReadStringBytes(m_state.m_nScriptPos, length, m_bFormB, buffer);
    if (kept)
        *kept = n;
    return length;
}

AnsiString CScriptEngine::Operands::Text() const {
    const void* zero = std::memchr(string, 0, kept);
    const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const BYTE*>(zero) - string) : kept;
    return AnsiString(reinterpret_cast<const char*>(string), n);
}

void CScriptEngine::EndStepWithWait(unsigned milliseconds) {
    m_pHost->SetFrameTimer(milliseconds);
    m_state.m_bAnimTimer = TRUE;
}

void CScriptEngine::ReleaseStepFont() {
    if (!m_bStepFont)
        return;
    m_pHost->UseFont(nullptr);
    m_bStepFont = false;
}

void CScriptEngine::PlayEmbeddedSound(WORD n) {
    const CharacterFile& file = m_pHost->ScriptFile();
    if (n >= file.SoundCount())
        return;
    bool ok = true;
    const FileOffset off = file.SoundOffset(n, &ok);
    const ImageView& image = file.Image();
    // The platform reads the RIFF and each of its chunks as far as their sizes say, so a sound
    // is handed over only when all of it lies inside the image.
    const FileOffset size = ok ? PlayableWaveSize(image, off) : 0;
    if (size == 0)
        return;
    m_pHost->PlayWave(image.At(off), static_cast<std::size_t>(size));
}

template <BYTE code> KP_HOT_INLINE void CScriptEngine::Execute(const Operands& o) {
    auto word = [&](std::size_t k) { return static_cast<WORD>(o.n[k]); };
    int& pos = m_state.m_nScriptPos;
    switch (code) {
    case OP_NEWSHAPE:
        m_state.m_nVar[0] = m_pHost->CreateMaskRgn(static_cast<BYTE>(o.n[0]), word(1));
        break;
    case OP_SETSHAPE:
        m_pHost->SetShape(word(0));
        break;
    case OP_SET:
    case OP_ADD:
    case OP_SUB:
    case OP_AND:
    case OP_OR:
    case OP_MOD:
        Arithmetic(code, word(0), word(1));
        break;
    case OP_DRAW:
        m_pHost->DrawCell(word(0));
        break;
    case OP_WAIT:
        EndStepWithWait(word(0));
        break;
    case OP_WAITRANDOM: {
        const WORD base = word(0);
        const WORD range = word(1);
        // A range of 0 waits the base alone and draws no number.
        EndStepWithWait(range ? static_cast<WORD>(base + static_cast<unsigned>(m_pHost->Rand()) % range)
                              : base);
        break;
    }
    case OP_PLAYFILE:
        m_pHost->PlaySoundFile(o.Text());
        break;
    case OP_PLAYSOUND:
        PlayEmbeddedSound(word(0));
        break;
    case OP_IF:
        if (CompareValues(static_cast<BYTE>(o.n[1]), word(0), word(2)))
            pos = static_cast<int>(o.n[3]);
        break;
    case OP_GOTO:
        pos = static_cast<int>(o.n[0]);
        break;
    case OP_POSITION:
        m_state.m_nPosition = word(0) > kMaxPosition ? kMaxPosition : word(0);
        m_pHost->Track();
        break;
    case OP_PATTERN:
        OnPatternMenu(word(0));
        break;
    case OP_OFFSETY:
        m_state.m_nOffsetY = word(0);
        m_pHost->OffsetYSet(word(0));
        break;
    case OP_IFNOAUTO:
        if (!m_pHost->AutoAnimation())
            pos = static_cast<int>(o.n[0]);
        break;
    case OP_CLICKOFF:
        m_state.m_nClickEntry = -1;
        break;
    case OP_CLICKON:
        m_state.m_nClickEntry = static_cast<int>(o.n[0]);
        break;
    case OP_EXEC:
        m_pHost->StartProgram(o.Text());
        break;
    case OP_TEXT:
        m_pHost->WriteText(word(0), word(1), o.Text());
        break;
    case OP_FONT: {
        auto font = std::make_unique<FontSpec>();
        font->height = kFontHeightSign * static_cast<int>(word(0));
        font->weight = kFontWeightBold;
        font->charSet = kShiftJisCharset;
        font->faceName = o.Text();
        // The new font is selected before the old one goes, so the canvas never holds a font
        // that no longer exists.
        m_pHost->UseFont(font.get());
        m_bStepFont = true;
        m_state.m_pFont = std::move(font);
        break;
    }
    case OP_LOADVAR: {
        const int value = m_pHost->ReadSetting(o.Text(), word(2));
        WriteVariable(word(1), static_cast<WORD>(static_cast<unsigned>(value)));
        break;
    }
    case OP_SAVEVAR:
        m_pHost->WriteSetting(o.Text(), word(1));
        break;
    case OP_PALETTE:
        if (o.n[0] == kKindBitmap)
            m_pHost->ReplacePalette(word(1));
        break;
    default:
        // OP_NOTE, OP_NOTE2, OP_RESERVED27 and OP_RESERVED28: their operands read, nothing done.
        break;
    }
}

namespace {

template <OperandKind... kinds> constexpr std::size_t FixedSize() {
    std::size_t size = 1; // the opcode byte
    for (OperandKind kind : {OperandKind::Byte, kinds...})
        switch (kind) {
        case OperandKind::Byte:
            size += 1;
            break;
        case OperandKind::Word:
        case OperandKind::Value:
        case OperandKind::Variable:
            size += 2;
            break;
        case OperandKind::Offset:
            size += 4;
            break;
        case OperandKind::String:
            return 0; // its length is read from the script
        }
    return size - 1; // less the Byte put in front to make the list non-empty
}

} // namespace

template <OperandKind kind> KP_HOT_INLINE DWORD CScriptEngine::ReadInside(int& pos) {
    if constexpr (kind == OperandKind::Byte) {
        return m_reader.ByteAt(pos++);
    } else if constexpr (kind == OperandKind::Offset) {
        const DWORD v = m_reader.DwordAt(pos);
        pos += 4;
        return v;
    } else {
        const WORD w = m_reader.WordAt(pos);
        pos += 2;
        if constexpr (kind == OperandKind::Value)
            return Evaluate(w);
        return w;
    }
}

template <BYTE code, bool endsStep, OperandKind... kinds>
KP_HOT_INLINE bool CScriptEngine::Step(Kinds<kinds...>) {
    Operands o;
    int& pos = m_state.m_nScriptPos;
    constexpr std::size_t size = FixedSize<kinds...>();
    if (size != 0 && m_reader.Has(pos, size - 1)) {
        // The whole instruction lies inside the image: its operands in order, none can fail.
        std::size_t k = 0;
        ((o.n[k++] = ReadInside<kinds>(pos)), ...);
        (void)k;
    } else {
        ReadOperands(*FindOpcode(code), o);
        if (!m_reader.Ok())
            return false;
    }
    Execute<code>(o);
    return endsStep;
}

void CScriptEngine::RunScript() {
    if (!AttachReader())
        return;
    m_bInStep = true;
    m_bStepFont = false;
    if (m_state.m_pFont) {
        m_pHost->UseFont(m_state.m_pFont.get());
        m_bStepFont = true;
    }
    int& pos = m_state.m_nScriptPos;
    bool ended = false;
    for (unsigned count = 0; !ended; ++count) {
        if (count == kStepInstructionLimit) {
            m_pHost->StepCutShort(StepCut::InstructionLimit, pos);
            EndStepWithWait(kCutStepWait);
            break;
        }
        const int start = pos;
        // The operands in the order the opcode list gives, values evaluated as they are read;
        // the effect only when the whole instruction lies inside the image. 0 and bytes above the
        // last opcode are no instruction: skipped one by one.
        using K = OperandKind;
        switch (ReadByte()) {
#define KP_OPCODE(name, code, endsStep, ...)                                                                 \
    case code:                                                                                               \
        ended = Step<code, endsStep>(Kinds<__VA_ARGS__>{});                                                  \
        break;
#include "engine/Opcodes.def"
        default:
            break;
        }
        if (!m_reader.Ok()) {
            // The instruction does not lie wholly inside the image: it is not carried out and the
            // script stands still where it is until a pattern start or a click moves it.
            pos = start;
            m_pHost->StepCutShort(StepCut::OutsideImage, start);
            break;
        }
    }
    ReleaseStepFont();
    m_bInStep = false;
}

void CScriptEngine::OnPatternMenu(unsigned nID) {
    const CharacterFile& file = m_pHost->ScriptFile();
    const WORD count = file.PatternCount();
    if (file.Image().Size() == 0 || count == 0)
        return;
    unsigned n = nID >= kPatternCommandBase ? nID - kPatternCommandBase : nID;
    // A pattern the file does not have is taken as a random choice.
    if (n > count)
        n = 0;
    const std::size_t index = n == 0 ? static_cast<unsigned>(m_pHost->Rand()) % count : n - 1;
    m_pHost->PatternStarted(static_cast<int>(n), index);

    m_pHost->HideWindow();
    m_state.m_nPattern = static_cast<int>(n);
    bool ok = true;
    const FileOffset off = file.PatternOffset(index, &ok);
    m_state.m_pScript = ok && off < file.Image().Size() ? file.Image().At(off) : nullptr;
    m_state.m_nScriptPos = 0;
    if (m_bInStep)
        AttachReader();

    m_pHost->FreeMaskRegions();
    ReleaseStepFont();
    m_state.m_pFont.reset();

    m_pHost->KillFrameTimer();
    m_pHost->SetFrameTimer(kPatternStartWait);
    m_state.m_bAnimTimer = TRUE;
}

} // namespace kp
