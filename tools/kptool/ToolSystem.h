// What kptool asks of the operating system beyond the file service the loader uses: whole files
// in and out, whether two names are one file, folders, and the console. Paths are UTF-8 on every
// system: ToolSystem_posix.cpp hands them on as bytes, ToolSystem_win.cpp opens them as wide
// strings, so that a Japanese file name opens on a Windows of any language.
#pragma once

#include <cstddef>
#include <string>

#ifdef _WIN32
#include "win32/Win32Files.h"
#else
#include "sim/PosixFileSystem.h"
#endif

namespace kp::tool {

// The file service the commands read character files through.
#ifdef _WIN32
using NativeFileSystem = win32::Win32FileSystem;
#else
using NativeFileSystem = sim::PosixFileSystem;
#endif

// Whether paths are written the Windows way here: '\' separates folders as '/' does, and a drive
// ("C:") or a leading separator makes a path absolute.
#ifdef _WIN32
constexpr bool kWindowsPaths = true;
#else
constexpr bool kWindowsPaths = false;
#endif

// The bytes of a regular file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& out);
// Writes a whole file, replacing one that is there; false when it cannot be written.
bool WriteFileBytes(const std::string& path, const void* data, std::size_t size);
// Whether both paths exist and name the same file, whatever their spelling (links included).
bool SameFile(const std::string& a, const std::string& b);
// Whether anything (a file, a folder, a link even to nothing) has this name.
bool PathExists(const std::string& path);
// Makes the folder, or finds one already there; false when neither.
bool MakeFolder(const std::string& dir);

// The folder part of a path with its last separator ("a/b.kps" -> "a/"), "" when it has none.
std::string FolderOf(const std::string& path, bool windowsPaths = kWindowsPaths);
// A file name as a source writes it, relative to the source's folder unless absolute.
std::string ResolveInput(const std::string& folder, const std::string& name,
                         bool windowsPaths = kWindowsPaths);

// Makes the console show what kptool prints (UTF-8) and leaves redirected output as the bytes
// written; a no-op where the terminal takes UTF-8 as it is.
void PrepareConsole();

} // namespace kp::tool
