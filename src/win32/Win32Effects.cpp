#include "win32/Win32Effects.h"

#include "win32/Win32Proc.h"
#include "win32/Win32Text.h"

#include <windows.h>

#include <mmsystem.h>

namespace kp::win32 {

namespace {

// The multimedia library is loaded with the first sound: a character without sounds never
// needs it.
LazyProc<BOOL(WINAPI*)(LPCWSTR, UINT)> g_sndPlaySound(L"winmm.dll", "sndPlaySoundW");

} // namespace

void Win32Sound::PlayWave(const BYTE* wave, std::size_t) {
    // The image lies in the loaded file, whose owner stops the sound before releasing it.
    if (auto play = g_sndPlaySound.Get())
        play(reinterpret_cast<LPCWSTR>(wave), SND_ASYNC | SND_NODEFAULT | SND_MEMORY | SND_NOSTOP);
}

void Win32Sound::PlayNamed(const AnsiString& name) {
    if (auto play = g_sndPlaySound.Get())
        play(AnsiToWide(name).c_str(), SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}

void Win32Sound::StopAll() {
    // Nothing can be playing before the library was loaded for a sound.
    if (g_sndPlaySound.Loaded())
        g_sndPlaySound.Get()(nullptr, 0);
}

void Win32ProgramStarter::StartProgram(const AnsiString& commandLine) {
    std::wstring cmd = AnsiToWide(commandLine);
    if (cmd.empty())
        return;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

} // namespace kp::win32
