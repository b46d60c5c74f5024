// Scripts written byte by byte for the interpreter's tests and the trace's, and a host that
// records every effect the interpreter asks for.
#pragma once

#include "Builder.h"

#include "chardata/DataFile.h"
#include "engine/Interpreter.h"
#include "platform/Random.h"

#include <map>
#include <string>
#include <vector>

namespace kp::test {

// A pattern record: it starts with an OP_NOTE holding the empty name, so that offsets are easy
// to count; Here() is the offset of the next byte.
class Script {
public:
    explicit Script(WORD version = 300) : m_version(version) { Op(OP_NOTE).Str(""); }

    Script& Op(BYTE op) { return Byte(op); }
    Script& Byte(BYTE v) {
        bytes.push_back(v);
        return *this;
    }
    Script& Word(WORD v) {
        build::AppendU16(bytes, v);
        return *this;
    }
    Script& Dword(DWORD v) {
        build::AppendU32(bytes, v);
        return *this;
    }
    // A string operand: the text and its zero byte, in the version's stored form.
    Script& Str(const std::string& text) {
        build::Bytes t(text.begin(), text.end());
        t.push_back(0);
        return Stored(static_cast<WORD>(t.size()), t);
    }
    // A string operand of a given length word and text bytes (no zero byte added), encoded in the
    // version's form; the bytes may be fewer or more than the length says.
    Script& Stored(WORD length, const build::Bytes& text) {
        Word(length);
        build::Bytes s(text.size());
        if (m_version >= kpfile::kFirstCheckedVersion)
            EncodeTextFormB(text.data(), text.size(), static_cast<BYTE>(length & 0xFF), s.data());
        else
            s = text;
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    DWORD Here() const { return static_cast<DWORD>(bytes.size()); }

    // Common instructions.
    Script& Wait(WORD ms) { return Op(OP_WAIT).Word(ms); }
    Script& Goto(DWORD target) { return Op(OP_GOTO).Dword(target); }
    Script& Set(WORD var, WORD value) { return Op(OP_SET).Word(var).Word(value); }

    build::Bytes bytes;

private:
    WORD m_version;
};

// A character whose patterns are the given scripts, with two 8-bit cells.
inline build::Character ScriptCharacter(const std::vector<Script>& scripts, WORD version = 300) {
    build::Character c;
    c.version = version;
    c.name = "Tester";
    build::Cell a = build::SolidCell8(4, 4, 1);
    a.x = 3;
    a.y = 5;
    c.cells.push_back(a);
    c.cells.push_back(build::SolidCell8(2, 2, 2));
    for (const Script& s : scripts) {
        build::Pattern p;
        p.raw = s.bytes;
        c.patterns.push_back(p);
    }
    return c;
}

// Records every effect as a short line: "draw 3", "timer 100", "text 1,2 abc"...
class RecordingHost : public IScriptHost {
public:
    explicit RecordingHost(const build::Bytes& image = {}) { Load(image); }
    void Load(const build::Bytes& image) {
        m_image = image;
        m_file = CharacterFile(ImageView(m_image.data(), m_image.size()));
    }

    const CharacterFile& ScriptFile() const override { return m_file; }
    void DrawCell(WORD cell) override { Log("draw " + std::to_string(cell)); }
    WORD CreateMaskRgn(BYTE kind, WORD cell) override {
        Log(std::string("newshape ") + static_cast<char>(kind) + " " + std::to_string(cell));
        return m_nextSlot;
    }
    void SetShape(WORD slot) override { Log("setshape " + std::to_string(slot)); }
    void FreeMaskRegions() override { Log("free"); }
    void ReplacePalette(WORD cell) override { Log("palette " + std::to_string(cell)); }
    void WriteText(int x, int y, const AnsiString& text) override {
        Log("text " + std::to_string(x) + "," + std::to_string(y) + " " + text);
    }
    void UseFont(const FontSpec* font) override {
        Log(font ? "font " + std::to_string(font->height) + "/" + std::to_string(font->weight) + "/" +
                       std::to_string(font->charSet) + "/" + font->faceName
                 : std::string("font default"));
    }
    void Track() override { Log("track"); }
    void HideWindow() override { Log("hide"); }
    void SetFrameTimer(unsigned ms) override { Log("timer " + std::to_string(ms)); }
    void KillFrameTimer() override { Log("kill"); }
    void PlayWave(const BYTE* wave, std::size_t size) override {
        Log("wave @" + std::to_string(wave - m_image.data()) + " " + std::to_string(size));
    }
    void PlaySoundFile(const AnsiString& name) override { Log("playfile " + name); }
    void StartProgram(const AnsiString& commandLine) override { Log("exec " + commandLine); }
    int ReadSetting(const AnsiString& entry, int defaultValue) override {
        Log("read " + entry + " " + std::to_string(defaultValue));
        const auto it = m_settings.find(entry);
        return it == m_settings.end() ? defaultValue : it->second;
    }
    void WriteSetting(const AnsiString& entry, int value) override {
        Log("write " + entry + " " + std::to_string(value));
        m_settings[entry] = value;
    }
    Point CursorInClient() override { return m_cursor; }
    LocalTime LocalNow() override { return m_now; }
    BOOL AutoAnimation() override { return m_auto; }
    int Rand() override {
        ++m_randCalls;
        return m_random.Next();
    }
    void PatternStarted(int pattern, std::size_t index) override {
        Log("pattern " + std::to_string(pattern) + " index " + std::to_string(index));
    }
    void OffsetYSet(int offsetY) override { Log("offsety " + std::to_string(offsetY)); }
    void StepCutShort(StepCut why, int pos) override {
        Log(std::string(why == StepCut::InstructionLimit ? "cut limit " : "cut outside ") +
            std::to_string(pos));
    }

    void Log(const std::string& line) { calls.push_back(line); }

    std::vector<std::string> calls;
    std::map<AnsiString, int> m_settings;
    Point m_cursor;
    LocalTime m_now;
    BOOL m_auto = TRUE;
    MsRand m_random;
    int m_randCalls = 0;
    WORD m_nextSlot = 0;

private:
    build::Bytes m_image;
    CharacterFile m_file;
};

} // namespace kp::test
