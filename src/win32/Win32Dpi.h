// Pixel density: the program declares itself aware of each monitor's DPI, so that every
// coordinate it sees is a real pixel, and asks the DPI of the monitor its window stands on. Every
// function is looked up at run time: systems before Windows 10 lack some of them, and NT 4 all.
#pragma once

#include <windows.h>

namespace kp::win32 {

// Per-monitor awareness for systems that did not take it from the manifest: the newest call the
// system has (SetProcessDpiAwarenessContext, SetProcessDpiAwareness of shcore, SetProcessDPIAware).
// Where the manifest has set it already, the call is refused and changes nothing.
void DeclareDpiAwareness();

// The DPI of the monitor that holds the window (GetDpiForWindow, else GetDpiForMonitor), else the
// system's (the screen's LOGPIXELSX); with no window, the system's. 0 when nothing answers.
int WindowDpi(HWND hwnd);

} // namespace kp::win32
