// The file service for native runs (kptool, benchmarks, a future X11 desktop) over the POSIX
// file calls. It reads as the Win32 service does: the whole file into a block allocated
// uninitialised at the file's exact length, one failure outcome for every way of failing.
#pragma once

#include "platform/Services.h"

namespace kp::sim {

class PosixFileSystem : public IFileSystem {
public:
    // Paths are taken as the bytes the platform's file calls expect.
    bool ReadWholeFile(const AnsiString& path, ByteBlock& out) override;
    // Patterns are DIR/NAME or NAME (the current directory), where NAME may hold '*' and '?'
    // matched without regard to ASCII case, as Windows matches "*.kp". Names come in the order
    // the directory lists them; "." and ".." and anything that is not a regular file are left out.
    std::vector<AnsiString> FindFiles(const AnsiString& pattern) override;
};

// Whether `name` matches the wildcard `pattern` ('*' any run, '?' one byte), ASCII case ignored.
bool WildcardMatch(const AnsiString& pattern, const AnsiString& name);

} // namespace kp::sim
