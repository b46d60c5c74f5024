// What the scripts reach outside the program on Win32: sounds and program starts.
#pragma once

#include "platform/Services.h"

namespace kp::win32 {

// Sounds through the multimedia system's sndPlaySound.
class Win32Sound : public ISound {
public:
    void PlayWave(const BYTE* wave, std::size_t size) override;
    void PlayNamed(const AnsiString& name) override;
    void StopAll() override;
};

// Program starts as WinExec makes them: a new process for the command line, shown normally.
class Win32ProgramStarter : public IProgramStarter {
public:
    void StartProgram(const AnsiString& commandLine) override;
};

} // namespace kp::win32
