#include "InstructionEncoder.h"
#include "Assembler.h"

#include "chardata/DataFile.h"
#include "engine/Opcodes.h"
#include "engine/ScriptHost.h"
#include "engine/ScriptReader.h"

#include <cctype>

namespace kp::tool {

using build::Bytes;
using namespace kpfile;
using namespace kps;

namespace {

// Largest string a script can hand over: the interpreter's string buffer, zero byte included.
constexpr std::size_t kMaxString = kScriptStringBuffer;
constexpr DWORD kLargestLiteral = 0x7FFF;
constexpr unsigned kVariableCount = kScriptVariables;
constexpr WORD kVariableRead = 0x8000;

const char* KindName(OperandKind k) {
    switch (k) {
    case OperandKind::Byte:
        return "byte";
    case OperandKind::Word:
        return "word";
    case OperandKind::Offset:
        return "offset";
    case OperandKind::Value:
        return "value";
    case OperandKind::Variable:
        return "variable";
    case OperandKind::String:
        return "string";
    }
    return "operand";
}

std::string Signature(const OpcodeInfo& op) {
    std::string s = std::string(op.name) + " takes ";
    if (op.operandCount == 0)
        return s + "no operands";
    for (std::size_t i = 0; i < op.operandCount; ++i)
        s += std::string(i ? ", " : "") + KindName(op.operands[i]);
    return s;
}

std::vector<std::string> OpcodeNames() {
    std::vector<std::string> names{"bytes"};
    for (BYTE c = kFirstOpcode; c <= kLastOpcode; ++c)
        names.push_back(FindOpcode(c)->name);
    return names;
}

std::vector<std::string> ValueNames() {
    std::vector<std::string> names;
    std::size_t count = 0;
    const ValueCodeInfo* table = ValueCodeTable(&count);
    for (std::size_t i = 0; i < count; ++i)
        names.push_back(table[i].name);
    return names;
}

class InstructionEncoder {
public:
    explicit InstructionEncoder(WORD version) : m_version(version) {}

    // Encodes tokens[first..] of `line` as one instruction or a `bytes` line and appends to
    // `out`. On failure At() is the byte index in the line of the fault.
    bool Encode(const std::string& line, const std::vector<Token>& tokens, std::size_t first, Bytes& out,
                std::vector<Fixup>& fixups, std::string& error) {
        const Token& head = tokens[first];
        m_at = head.at;
        m_operandAt.clear();
        if (head.type != Tok::Ident) {
            error = "expected an instruction, found " + Describe(head);
            return false;
        }
        if (head.text == "bytes")
            return EncodeBytes(line, head.at + 5, out, error);
        const OpcodeInfo* op = FindOpcodeByName(head.text.c_str());
        if (!op) {
            error = "unknown instruction " + head.text;
            std::string upper;
            for (char c : head.text)
                upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            if (FindOpcodeByName(upper.c_str()))
                error += " (instructions are written in capitals: " + upper + ")";
            else if (FindOpcodeByName(("OP_" + upper).c_str()))
                error += " (did you mean OP_" + upper + "?)";
            else
                error += DidYouMean(head.text, OpcodeNames());
            return false;
        }
        out.push_back(op->code);
        std::size_t t = first + 1;
        for (std::size_t k = 0; k < op->operandCount; ++k) {
            if (t >= tokens.size()) {
                m_at = EndOfCode(line);
                error = "missing operand: " + Signature(*op);
                return false;
            }
            if (!Operand(*op, k, tokens, t, out, fixups, error))
                return false;
            m_operandAt.push_back(m_at);
        }
        if (t < tokens.size()) {
            m_at = tokens[t].at;
            error = "too many operands: " + Signature(*op);
            return false;
        }
        return true;
    }

    std::size_t At() const { return m_at; }
    // Where each operand of the instruction last encoded stands in its line (byte index).
    const std::vector<std::size_t>& OperandPlaces() const { return m_operandAt; }

private:
    bool EncodeBytes(const std::string& line, std::size_t i, Bytes& out, std::string& error) {
        while (i < line.size()) {
            const char c = line[i];
            if (c == '#')
                break;
            if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
                ++i;
                continue;
            }
            const int hi = HexDigit(c);
            const int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
            const bool ends = i + 2 >= line.size() || std::isspace(static_cast<unsigned char>(line[i + 2])) ||
                              line[i + 2] == ',' || line[i + 2] == '#';
            if (hi < 0 || lo < 0 || !ends) {
                m_at = i;
                error = "bytes takes hex pairs such as 08 C8 00";
                return false;
            }
            out.push_back(static_cast<BYTE>(hi * 16 + lo));
            i += 2;
        }
        return true;
    }

    bool Operand(const OpcodeInfo& op, std::size_t k, const std::vector<Token>& tokens, std::size_t& t,
                 Bytes& out, std::vector<Fixup>& fixups, std::string& error) {
        const OperandKind kind = op.operands[k];
        const Token& tok = tokens[t++];
        m_at = tok.at;
        const std::string where =
            std::string(op.name) + " operand " + std::to_string(k + 1) + " (" + KindName(kind) + "): ";
        switch (kind) {
        case OperandKind::Byte:
            if (op.code == OP_IF && !(tok.type == Tok::Symbol && tok.text.size() == 1 && tok.text != ":") &&
                tok.type != Tok::Number && tok.type != Tok::Raw && tok.type != Tok::Char)
                return Fail(error, where + Describe(tok) +
                                       " is no comparison; comparisons are <, =, > and ! (not equal); for "
                                       "<= or >= compare with the neighbouring number or swap the operands");
            if ((tok.type == Tok::Number || tok.type == Tok::Raw) && tok.number <= 0xFF)
                out.push_back(static_cast<BYTE>(tok.number));
            else if (tok.type == Tok::Char || (tok.type == Tok::Symbol && tok.text.size() == 1))
                out.push_back(static_cast<BYTE>(tok.type == Tok::Char ? tok.number : tok.text[0]));
            else
                return Fail(error,
                            where + Describe(tok) + " is no byte (0..255, or a character such as 'b' or <)");
            return true;
        case OperandKind::Word:
            if ((tok.type == Tok::Number || tok.type == Tok::Raw || tok.type == Tok::Char) &&
                tok.number <= 0xFFFF) {
                build::AppendU16(out, static_cast<WORD>(tok.number));
                return true;
            }
            return Fail(error, where + Describe(tok) + " is no word (0..65535)");
        case OperandKind::Offset:
            if (tok.type == Tok::Number || tok.type == Tok::Raw) {
                build::AppendU32(out, tok.number);
                return true;
            }
            if (tok.type == Tok::Ident && IsLabelName(tok.text)) {
                fixups.push_back({out.size(), tok.text, tok.at});
                build::AppendU32(out, 0);
                return true;
            }
            return Fail(error, where + Describe(tok) + " is no label or offset");
        case OperandKind::Value: {
            WORD w = 0;
            if (!ValueWord(tok, w, error)) {
                error = where + error;
                return false;
            }
            build::AppendU16(out, w);
            return true;
        }
        case OperandKind::Variable: {
            if (tok.type == Tok::Raw && tok.number <= 0xFFFF) {
                build::AppendU16(out, static_cast<WORD>(tok.number));
                return true;
            }
            const long n = tok.type == Tok::Ident ? VariableNumber(tok.text) : -1;
            if (n < 0)
                return Fail(error, where + Describe(tok) +
                                       " is no variable (variables are written v0..v99 or "
                                       "var0..var99)");
            if (n >= static_cast<long>(kVariableCount))
                return Fail(error, where + "variable " + std::to_string(n) + " does not exist (v0..v99)");
            build::AppendU16(out, static_cast<WORD>(n));
            return true;
        }
        case OperandKind::String: {
            bool exact = false;
            const Token* s = &tok;
            if (tok.type == Tok::Ident && tok.text == "exact" && t < tokens.size()) {
                exact = true;
                s = &tokens[t++];
            }
            m_at = s->at;
            if (s->type != Tok::String)
                return Fail(error, where + Describe(*s) + " is no string (\"text\" or exact \"bytes\")");
            if (!s->noCp932.empty())
                return Fail(error, where + s->noCp932);
            std::string bytes = s->text;
            if (!exact)
                bytes.push_back('\0');
            if (bytes.size() > kMaxString)
                return Fail(error, where + "string of " + std::to_string(bytes.size()) +
                                       " bytes with its zero byte; a script string holds at most " +
                                       std::to_string(kMaxString));
            AppendString(bytes, out);
            return true;
        }
        }
        return false;
    }

    static bool Fail(std::string& error, const std::string& why) {
        error = why;
        return false;
    }

    static bool ValueWord(const Token& tok, WORD& w, std::string& error) {
        switch (tok.type) {
        case Tok::Number:
        case Tok::Char:
            if (tok.number > kLargestLiteral) {
                error = std::to_string(tok.number) + " is above 32767, the largest literal (larger numbers "
                                                     "come from variables; @0x8000 and up writes a stored "
                                                     "word as it is)";
                return false;
            }
            w = static_cast<WORD>(tok.number);
            return true;
        case Tok::Raw:
            if (tok.number > 0xFFFF) {
                error = "@" + std::to_string(tok.number) + " is no 16-bit word";
                return false;
            }
            w = static_cast<WORD>(tok.number);
            return true;
        case Tok::Ident: {
            if (FindValueCode(tok.text.c_str(), &w))
                return true;
            const long n = VariableNumber(tok.text);
            if (n >= static_cast<long>(kVariableCount)) {
                error = "variable " + std::to_string(n) + " does not exist (v0..v99)";
                return false;
            }
            if (n >= 0) {
                w = static_cast<WORD>(kVariableRead | n);
                return true;
            }
            error = "unknown value " + tok.text + " (a number, v0..v99 or a VAL_ name)" +
                    DidYouMean(tok.text, ValueNames());
            return false;
        }
        default:
            error = Describe(tok) + " is no value";
            return false;
        }
    }

    void AppendString(const std::string& text, Bytes& out) const {
        const auto n = static_cast<WORD>(text.size());
        build::AppendU16(out, n);
        Bytes stored(text.begin(), text.end());
        if (m_version >= kFirstCheckedVersion) {
            if (stored.empty()) {
                // The interpreter reads one byte even for length 0: the byte that gives back 0.
                stored.push_back(0);
            } else {
                const Bytes plain = stored;
                EncodeTextFormB(plain.data(), plain.size(), static_cast<BYTE>(n & 0xFF), stored.data());
            }
        }
        out.insert(out.end(), stored.begin(), stored.end());
    }

    WORD m_version;
    std::size_t m_at = 0;
    std::vector<std::size_t> m_operandAt;
};

} // namespace

namespace kps {

bool EncodeInstruction(const std::string& line, const std::vector<Token>& tokens, WORD version,
                       EncodedInstruction& out) {
    InstructionEncoder encoder(version);
    const bool ok = encoder.Encode(line, tokens, 0, out.bytes, out.fixups, out.error);
    out.at = encoder.At();
    out.operandAt = encoder.OperandPlaces();
    return ok;
}

} // namespace kps

bool IsLabelName(const std::string& word) {
    if (word.empty() || !IsIdentStart(word[0]))
        return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    WORD code = 0;
    return word != "bytes" && word != "exact" && !FindOpcodeByName(word.c_str()) &&
           !FindValueCode(word.c_str(), &code) && VariableNumber(word) < 0 &&
           word.compare(0, 3, "OP_") != 0 && word.compare(0, 4, "VAL_") != 0;
}

bool EncodeInstructionLine(const std::string& line, WORD version, const std::map<std::string, DWORD>& labels,
                           build::Bytes& out, std::string& error) {
    std::vector<Token> tokens;
    const std::size_t head = line.find_first_not_of(" \t");
    std::size_t at = 0;
    if (head != std::string::npos && line.compare(head, 5, "bytes") == 0)
        tokens.push_back({Tok::Ident, "bytes", 0, head, {}, {}});
    else if (!Tokenize(line, 0, tokens, error, at))
        return false;
    if (tokens.empty()) {
        error = "empty line";
        return false;
    }
    InstructionEncoder encoder(version);
    std::vector<Fixup> fixups;
    if (!encoder.Encode(line, tokens, 0, out, fixups, error))
        return false;
    for (const Fixup& f : fixups) {
        const auto it = labels.find(f.label);
        if (it == labels.end()) {
            error = "no label " + f.label;
            return false;
        }
        build::PutU32(out, f.at, it->second);
    }
    return true;
}

} // namespace kp::tool
