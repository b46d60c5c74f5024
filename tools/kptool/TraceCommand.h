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
// aligned in 8 columns), each on one line. Returns 0, or the number of the message with which the
// program would refuse the file (1 when it cannot be read; 5 when answering Yes to the question
// would find it damaged).
int RunTrace(IFileSystem& files, const AnsiString& path, const sim::RunOptions& options, std::ostream& out);
// The same on an image in memory.
int TraceImage(const std::vector<BYTE>& image, const sim::RunOptions& options, std::ostream& out);

} // namespace kp::tool
