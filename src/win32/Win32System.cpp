#include "win32/Win32System.h"

#include <windows.h>

namespace kp::win32 {

kp::DWORD Win32System::TickCount() {
    return ::GetTickCount();
}

LocalTime Win32System::GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
}

WindowsVersion Win32System::GetVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info; // 148 bytes
    WindowsVersion v;
    if (!GetVersionExA(&info))
        return v;
    v.known = true;
    v.platformId = info.dwPlatformId;
    v.majorVersion = info.dwMajorVersion;
    v.minorVersion = info.dwMinorVersion;
    return v;
}

} // namespace kp::win32
