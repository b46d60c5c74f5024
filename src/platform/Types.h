// Plain value types shared by the portable core and every platform implementation.
// Nothing here depends on an operating system header.
#pragma once

#include <cstdint>
#include <string>

// TRUE and FALSE as the Windows headers define them, so that core and platform code agree.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

namespace kp {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }
};

// Right and bottom are exclusive, as in Windows rectangles.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Rect& a, const Rect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    friend bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }
};

// The local wall-clock time, field for field as the platform reports it.
struct LocalTime {
    WORD year = 0;
    WORD month = 0;
    WORD dayOfWeek = 0;
    WORD day = 0;
    WORD hour = 0;
    WORD minute = 0;
    WORD second = 0;
    WORD milliseconds = 0;
};

// An opaque handle to a platform window; 0 means "no window".
using WindowId = std::uintptr_t;

// Strings that come from character files and settings names are code page 932 ("ANSI")
// bytes. Paths and the command line are UTF-8, so that a folder named in any language can be
// opened; fixed interface texts are UTF-8 literals in the source. The two never mix: each
// interface says which one it takes.
using AnsiString = std::string;
using Utf8String = std::string;

} // namespace kp
