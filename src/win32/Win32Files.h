// Files on Win32: whole-file reads and directory listings through the wide-character API.
#pragma once

#include "platform/Services.h"

namespace kp::win32 {

class Win32FileSystem : public IFileSystem {
public:
    bool ReadWholeFile(const Utf8String& path, ByteBlock& out) override;
    std::vector<Utf8String> FindFiles(const Utf8String& pattern) override;
};

} // namespace kp::win32
