// Functions found by name at run time: those that older systems lack, and those of libraries
// that most runs never need, so that the program neither refuses to start where a function is
// missing nor pays at every start for a library it may never call.
#pragma once

#include <windows.h>

namespace kp::win32 {

// A function of a loaded module as the type the caller knows it by, or nullptr. The detour
// through a function type without arguments keeps the compiler from warning about the cast.
template <typename Fn> Fn ProcAddress(HMODULE module, const char* name) {
    FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// A function of a system library that is loaded the first time the function is wanted and then
// kept for the life of the process. The open-file dialog library, for one, brings in the shell
// and COM libraries with it: several megabytes that a run without the dialog never needs.
template <typename Fn> class LazyProc {
public:
    LazyProc(const wchar_t* library, const char* name) : m_library(library), m_name(name) {}

    // The function, loading its library now if need be; nullptr when either is missing.
    Fn Get() {
        if (!m_tried) {
            m_tried = true;
            m_fn = ProcAddress<Fn>(LoadLibraryW(m_library), m_name);
        }
        return m_fn;
    }
    // Whether the function was found already, without loading anything.
    bool Loaded() const { return m_fn != nullptr; }

private:
    const wchar_t* m_library;
    const char* m_name;
    bool m_tried = false;
    Fn m_fn = nullptr;
};

} // namespace kp::win32
