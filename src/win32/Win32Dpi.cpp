#include "win32/Win32Dpi.h"

#include "win32/Win32Proc.h"

namespace kp::win32 {

namespace {

// The awareness contexts and values, as the newer headers define them.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const HANDLE kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitorDpiAware = 2;
constexpr int kMonitorEffectiveDpi = 0;
constexpr DWORD kMonitorDefaultToNearest = 2;

using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
using SetProcessDpiAwarenessFn = HRESULT(WINAPI*)(int);
using SetProcessDpiAwareFn = BOOL(WINAPI*)();
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

LazyProc<GetDpiForWindowFn> getDpiForWindow(L"user32", "GetDpiForWindow");
LazyProc<MonitorFromWindowFn> monitorFromWindow(L"user32", "MonitorFromWindow");
// shcore is loaded only on systems between Windows 8.1 and the first Windows 10 with
// GetDpiForWindow.
LazyProc<GetDpiForMonitorFn> getDpiForMonitor(L"shcore", "GetDpiForMonitor");

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen)
        return 0;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

} // namespace

void DeclareDpiAwareness() {
    HMODULE user32 = GetModuleHandleW(L"user32");
    if (auto setContext =
            ProcAddress<SetProcessDpiAwarenessContextFn>(user32, "SetProcessDpiAwarenessContext")) {
        // Windows 10 before 1703 knows per-monitor awareness only in its first form.
        if (!setContext(kPerMonitorAwareV2) && GetLastError() != ERROR_ACCESS_DENIED)
            setContext(kPerMonitorAware);
        return;
    }
    if (HMODULE shcore = LoadLibraryW(L"shcore")) {
        auto setAwareness = ProcAddress<SetProcessDpiAwarenessFn>(shcore, "SetProcessDpiAwareness");
        const bool done = setAwareness && SUCCEEDED(setAwareness(kProcessPerMonitorDpiAware));
        FreeLibrary(shcore);
        if (done)
            return;
    }
    // Vista to Windows 8: one DPI for the whole system.
    if (auto setAware = ProcAddress<SetProcessDpiAwareFn>(user32, "SetProcessDPIAware"))
        setAware();
}

int WindowDpi(HWND hwnd) {
    if (hwnd) {
        if (auto fn = getDpiForWindow.Get())
            if (const UINT dpi = fn(hwnd))
                return static_cast<int>(dpi);
        auto fromWindow = monitorFromWindow.Get();
        auto forMonitor = fromWindow ? getDpiForMonitor.Get() : nullptr;
        if (forMonitor) {
            UINT x = 0;
            UINT y = 0;
            if (SUCCEEDED(
                    forMonitor(fromWindow(hwnd, kMonitorDefaultToNearest), kMonitorEffectiveDpi, &x, &y)) &&
                x)
                return static_cast<int>(x);
        }
    }
    return SystemDpi();
}

} // namespace kp::win32
