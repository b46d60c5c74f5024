// What `kptool build` must hold for any source text: it either builds an image, which then gets
// a load verdict like any file, or it fails with diagnostics that each name a line of the
// source. Files the source names come from memory: pictures and sounds made up from the name
// ("mask" in it: a 1-bit mask, a "4": a 4-bit picture, ".wav": a sound, "missing": none at all).
// Returns what went wrong, "" when nothing did (see InputChecks.h).
#pragma once

#include "Assembler.h"
#include "BmpFile.h"
#include "ExerciseImage.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kp::fuzz {

inline bool ReadMadeUpFile(const std::string& name, build::Bytes& out) {
    if (name.find("missing") != std::string::npos)
        return false;
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".wav") == 0)
        out = build::MakeWave({1, 2, 3, 4, 5});
    else if (name.find("mask") != std::string::npos)
        out = tool::WriteBmp(build::MaskCell1({"0110", "1111", "1001"}));
    else if (name.find('4') != std::string::npos)
        out = tool::WriteBmp(build::Cell4({"0123", "4567"}));
    else
        out = tool::WriteBmp(build::SolidCell8(6, 5, 3));
    return true;
}

inline std::string CheckSource(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    build::Bytes image;
    std::vector<std::string> errors, warnings;
    const bool built = tool::AssembleSource("t.kps", text, ReadMadeUpFile, image, errors, &warnings);
    if (built) {
        if (!errors.empty())
            return "built with errors";
        ExerciseImage(image.data(), image.size());
        return "";
    }
    if (errors.empty())
        return "failed without an error";
    // Lines as the assembler counts them: every line feed ends one, a last unterminated line counts.
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const std::string& e : errors) {
        const std::string where = "t.kps:";
        if (e.compare(0, where.size(), where) != 0)
            return "an error without the source's name: " + e;
        char* end = nullptr;
        const unsigned long line = std::strtoul(e.c_str() + where.size(), &end, 10);
        if (end == e.c_str() + where.size() || *end != ':' || line < 1 || line > lines)
            return "an error without a line of the source: " + e;
    }
    return "";
}

} // namespace kp::fuzz
