// Files on Win32: whole-file reads and directory listings through the wide-character API.
#pragma once

#include "platform/Services.h"

namespace kp::win32 {

class Win32FileSystem : public IFileSystem {
public:
    bool ReadWholeFile(const AnsiString& path, ByteBlock& out) override;
    std::vector<AnsiString> FindFiles(const AnsiString& pattern) override;
};

} // namespace kp::win32
