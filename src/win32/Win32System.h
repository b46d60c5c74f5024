// The clock and the system's version on Win32.
#pragma once

#include "platform/Services.h"

namespace kp::win32 {

class Win32System : public ISystem {
public:
    DWORD TickCount() override;
    LocalTime GetLocalTime() override;
    WindowsVersion GetVersion() override;
};

} // namespace kp::win32
