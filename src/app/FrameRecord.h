// What one script step did to the character's frame, in order: the cells drawn, the texts written
// with their places, the fonts and palettes selected, and the palette in use when the step began.
// Each of these writes the same pixels whatever the frame held before (cells are copied, text is
// written on an opaque box), so a step that does exactly what the step before it did leaves the
// frame exactly as that step left it, and a step that writes nothing leaves it as it was.
#pragma once

#include "platform/Canvas.h"
#include "platform/Types.h"

#include <cstring>
#include <string>

namespace kp {

class FrameRecord {
public:
    // A new step, drawn with the palette of this generation selected.
    void Begin(unsigned paletteGeneration) {
        m_bytes.clear();
        m_draws = false;
        m_known = true;
        Put('P', paletteGeneration);
    }
    // A record that equals no other: the step before it drew into another frame or another file.
    void Forget() { m_known = false; }

    void Cell(WORD cell) {
        Put('C', cell);
        m_draws = true;
    }
    void Text(int x, int y, const AnsiString& text) {
        Put('T', x);
        Put('y', y);
        PutBytes(text);
        m_draws = true;
    }
    void Font(const FontSpec* font) {
        if (!font) {
            Put('F', 0);
            return;
        }
        Put('f', font->height);
        Put('w', font->weight);
        Put('c', font->charSet);
        PutBytes(font->faceName);
    }
    void Palette(unsigned generation) { Put('P', generation); }

    // The step wrote pixels (a cell or a text).
    bool Draws() const { return m_draws; }

    friend bool operator==(const FrameRecord& a, const FrameRecord& b) {
        return a.m_known && b.m_known && a.m_bytes == b.m_bytes;
    }
    friend bool operator!=(const FrameRecord& a, const FrameRecord& b) { return !(a == b); }

private:
    template <typename T> void Put(char tag, T value) {
        m_bytes.push_back(tag);
        char raw[sizeof value];
        std::memcpy(raw, &value, sizeof value);
        m_bytes.append(raw, sizeof value);
    }
    void PutBytes(const std::string& s) {
        Put('s', s.size());
        m_bytes.append(s);
    }

    std::string m_bytes;
    bool m_draws = false;
    bool m_known = false;
};

} // namespace kp
