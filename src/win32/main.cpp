// Kelpo32.exe: the Win32 entry point. It wires the Win32 services to the portable core, runs
// start-up, the message loop, and the settings' save at the end.
#include "app/CharacterApp.h"
#include "win32/Win32Desktop.h"
#include "win32/Win32Dpi.h"
#include "win32/Win32Effects.h"
#include "win32/Win32Files.h"
#include "win32/Win32Settings.h"
#include "win32/Win32System.h"
#include "win32/Win32Text.h"
#include "win32/Win32Ui.h"
#include "win32/Win32Window.h"

#include <windows.h>

namespace {

// The command line after the program name, as the C runtime hands it to WinMain: the name is
// skipped (quoted or up to the first blank), then the blanks after it.
std::wstring ArgumentsOf(const wchar_t* cmd) {
    const wchar_t* p = cmd;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace kp::win32;
    // Before any window: every coordinate from here on is a real pixel.
    DeclareDpiAwareness();
    // The settings key is named after the program, as the title says it.
    RegistrySettingsStore settings(L"TESSARO SOFT", kAppTitleW);
    Win32FileSystem files;
    Win32Ui ui(instance);
    Win32System system;
    Win32CharacterWindow window(instance);
    ui.SetOwner(&window);
    Win32Sound sound;
    Win32ProgramStarter programs;
    Win32Desktop desktop;

    kp::CCharacterApp app(kp::AppServices{settings, files, ui, system, window, &sound, &programs, &desktop});

    int exitCode = 0;
    // The command line carries paths, so it reaches the core as UTF-8, never through code page 932.
    if (app.InitInstance(WideToUtf8(ArgumentsOf(GetCommandLineW())))) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    exitCode = app.ExitInstance();
    return exitCode;
}
