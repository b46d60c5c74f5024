// What kptool's readers of a character file must hold for any bytes: `dump` (headers, tables,
// cells, sounds and every pattern disassembled), `check --lint` and the source that
// `dump --source` writes each end with one of the statuses of their table, never with an
// exception (kptool's "failed", status 70) or a read outside the file. Returns what went wrong,
// "" when nothing did (see InputChecks.h).
#pragma once

#include "CheckCommand.h"
#include "Disassembler.h"
#include "DumpCommand.h"
#include "ExitStatus.h"

#include "sim/SimDesktop.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace kp::fuzz {

inline std::string CheckKptool(const std::uint8_t* data, std::size_t size) {
    const auto verdictStatus = [](int s) { return s >= tool::kExitOk && s <= 6; };
    sim::SimFileSystem files;
    files.AddFile("a.kp", std::vector<BYTE>(data, data + size));
    std::ostringstream out;
    const int dump = tool::RunDump(files, "a.kp", out);
    if (!verdictStatus(dump))
        return "dump ended with status " + std::to_string(dump);
    tool::CheckOptions options;
    options.lint = true;
    const int check = tool::RunCheck(files, "a.kp", options, out);
    if (!verdictStatus(check) && check != tool::kExitLintProblems && check != tool::kExitOutsideEffects)
        return "check --lint ended with status " + std::to_string(check);
    // dump --source without the files it writes: the source is made, and checked by building it.
    tool::SourceFiles source;
    std::string why;
    if (tool::MakeSource(ImageView(data, size), source, why) && source.source.empty())
        return "an empty source";
    return "";
}

} // namespace kp::fuzz
