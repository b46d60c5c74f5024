// `kptool trace FILE`: the character run headless on the simulated desktop, one line per event.
#pragma once

#include "platform/Services.h"
#include "sim/HeadlessRunner.h"

#include <ostream>
#include <string>

namespace kp::tool {

// Sets one trace option from its command-line name and value ("--seed", "7"); false with a
// reason when the value does not fit the option.
bool SetTraceOption(const std::string& name, const std::string& value, sim::RunOptions& options,
                    std::string& error);
// The names SetTraceOption takes.
const char* const* TraceOptionNames(std::size_t* count);

// Runs the file and prints every event as "TIME  EVENT" (the virtual time in milliseconds, right
// aligned in 8 columns). Returns 0, 1 when the file cannot be read, 2 when the program would not
// load it.
int RunTrace(IFileSystem& files, const AnsiString& path, const sim::RunOptions& options, std::ostream& out);
// The same on an image in memory.
int TraceImage(const std::vector<BYTE>& image, const sim::RunOptions& options, std::ostream& out);

} // namespace kp::tool
