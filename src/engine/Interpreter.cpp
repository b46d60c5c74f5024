#include "engine/Interpreter.h"

#include "chardata/Wave.h"

#include <cstdint>
#include <cstring>

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

template <BYTE Op> void CScriptEngine::Arithmetic() {
    const WORD n = ReadWord();
    const WORD x = ReadValue();
    if (!m_reader.Ok())
        return;
    const WORD v = Variable(n & 0x7FFF);
    WORD result = x; // OP_SET
    if (Op == OP_ADD)
        result = static_cast<WORD>(v + x);
    else if (Op == OP_SUB)
        result = static_cast<WORD>(v - x);
    else if (Op == OP_AND)
        result = static_cast<WORD>(v & x);
    else if (Op == OP_OR)
        result = static_cast<WORD>(v | x);
    else if (Op == OP_MOD)
        result = x ? static_cast<WORD>(v % x) : v; // v mod 0 leaves v as it is
    WriteVariable(n, result);
}

WORD CScriptEngine::ReadString(BYTE* buffer, std::size_t* kept) {
    const WORD length = ReadValue();
    const std::size_t n = m_reader.ReadStringBytes(m_state.m_nScriptPos, length, m_bFormB, buffer);
    if (kept)
        *kept = n;
    return length;
}

AnsiString CScriptEngine::ReadText() {
    BYTE buffer[kScriptStringBuffer];
    std::size_t kept = 0;
    ReadString(buffer, &kept);
    const void* zero = std::memchr(buffer, 0, kept);
    const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const BYTE*>(zero) - buffer) : kept;
    return AnsiString(reinterpret_cast<const char*>(buffer), n);
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
    BYTE buffer[kScriptStringBuffer];
    bool ended = false;
    for (unsigned count = 0; !ended; ++count) {
        if (count == kStepInstructionLimit) {
            m_pHost->StepCutShort(StepCut::InstructionLimit, pos);
            EndStepWithWait(kCutStepWait);
            break;
        }
        const int start = pos;
        const BYTE op = ReadByte();
        switch (op) {
        case OP_NEWSHAPE: {
            const BYTE kind = ReadByte();
            const WORD cell = ReadValue();
            if (m_reader.Ok())
                m_state.m_nVar[0] = m_pHost->CreateMaskRgn(kind, cell);
            break;
        }
        case OP_SETSHAPE: {
            const WORD slot = ReadValue();
            if (m_reader.Ok())
                m_pHost->SetShape(slot);
            break;
        }
        case OP_NOTE:
        case OP_NOTE2:
            ReadString(buffer);
            break;
        case OP_SET:
            Arithmetic<OP_SET>();
            break;
        case OP_ADD:
            Arithmetic<OP_ADD>();
            break;
        case OP_SUB:
            Arithmetic<OP_SUB>();
            break;
        case OP_AND:
            Arithmetic<OP_AND>();
            break;
        case OP_OR:
            Arithmetic<OP_OR>();
            break;
        case OP_MOD:
            Arithmetic<OP_MOD>();
            break;
        case OP_DRAW: {
            const WORD cell = ReadValue();
            if (m_reader.Ok())
                m_pHost->DrawCell(cell);
            break;
        }
        case OP_WAIT: {
            const WORD ms = ReadValue();
            if (m_reader.Ok()) {
                EndStepWithWait(ms);
                ended = true;
            }
            break;
        }
        case OP_WAITRANDOM: {
            const WORD base = ReadValue();
            const WORD range = ReadValue();
            if (!m_reader.Ok())
                break;
            // A range of 0 waits the base alone and draws no number.
            const WORD ms =
                range ? static_cast<WORD>(base + static_cast<unsigned>(m_pHost->Rand()) % range) : base;
            EndStepWithWait(ms);
            ended = true;
            break;
        }
        case OP_PLAYFILE: {
            const AnsiString name = ReadText();
            if (m_reader.Ok())
                m_pHost->PlaySoundFile(name);
            break;
        }
        case OP_PLAYSOUND: {
            const WORD n = ReadValue();
            if (m_reader.Ok())
                PlayEmbeddedSound(n);
            break;
        }
        case OP_IF: {
            const WORD a = ReadValue();
            const BYTE comparison = ReadByte();
            const WORD b = ReadValue();
            const DWORD target = ReadDword();
            if (m_reader.Ok() && CompareValues(comparison, a, b))
                pos = static_cast<int>(target);
            break;
        }
        case OP_GOTO: {
            const DWORD target = ReadDword();
            if (m_reader.Ok())
                pos = static_cast<int>(target);
            break;
        }
        case OP_POSITION: {
            const WORD p = ReadValue();
            if (!m_reader.Ok())
                break;
            m_state.m_nPosition = p > kMaxPosition ? kMaxPosition : p;
            m_pHost->Track();
            break;
        }
        case OP_PATTERN: {
            const WORD n = ReadValue();
            if (!m_reader.Ok())
                break;
            OnPatternMenu(n);
            ended = true;
            break;
        }
        case OP_OFFSETY: {
            const WORD y = ReadValue();
            if (!m_reader.Ok())
                break;
            m_state.m_nOffsetY = y;
            m_pHost->OffsetYSet(y);
            break;
        }
        case OP_IFNOAUTO: {
            const DWORD target = ReadDword();
            if (m_reader.Ok() && !m_pHost->AutoAnimation())
                pos = static_cast<int>(target);
            break;
        }
        case OP_CLICKOFF:
            m_state.m_nClickEntry = -1;
            break;
        case OP_CLICKON: {
            const DWORD target = ReadDword();
            if (m_reader.Ok())
                m_state.m_nClickEntry = static_cast<int>(target);
            break;
        }
        case OP_EXEC: {
            const AnsiString command = ReadText();
            if (m_reader.Ok())
                m_pHost->StartProgram(command);
            break;
        }
        case OP_TEXT: {
            const WORD x = ReadValue();
            const WORD y = ReadValue();
            const AnsiString text = ReadText();
            if (m_reader.Ok())
                m_pHost->WriteText(x, y, text);
            break;
        }
        case OP_FONT: {
            const WORD h = ReadValue();
            const AnsiString face = ReadText();
            if (!m_reader.Ok())
                break;
            auto font = std::make_unique<FontSpec>();
            font->height = kFontHeightSign * static_cast<int>(h);
            font->weight = kFontWeightBold;
            font->charSet = kShiftJisCharset;
            font->faceName = face;
            // The new font is selected before the old one goes, so the canvas never holds a
            // font that no longer exists.
            m_pHost->UseFont(font.get());
            m_bStepFont = true;
            m_state.m_pFont = std::move(font);
            break;
        }
        case OP_RESERVED27:
            ReadDword();
            break;
        case OP_RESERVED28:
            break;
        case OP_LOADVAR: {
            const AnsiString entry = ReadText();
            const WORD v = ReadWord();
            const WORD defaultValue = ReadValue();
            if (!m_reader.Ok())
                break;
            const int value = m_pHost->ReadSetting(entry, defaultValue);
            WriteVariable(v, static_cast<WORD>(static_cast<unsigned>(value)));
            break;
        }
        case OP_SAVEVAR: {
            const AnsiString entry = ReadText();
            const WORD x = ReadValue();
            if (m_reader.Ok())
                m_pHost->WriteSetting(entry, x);
            break;
        }
        case OP_PALETTE: {
            const BYTE kind = ReadByte();
            const WORD cell = ReadValue();
            if (m_reader.Ok() && kind == kKindBitmap)
                m_pHost->ReplacePalette(cell);
            break;
        }
        default:
            // 0 and bytes above 31 are no instruction: skipped one by one.
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
