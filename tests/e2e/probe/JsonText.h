// UTF-8 and JSON string text for probe.exe and probehook.dll, which both answer in JSON.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline std::string toUtf8(const std::wstring& w) {
    if (w.empty())
        return std::string();
    int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// Appends w as a quoted JSON string.
inline void appendJsonString(std::string& out, const std::wstring& w) {
    out += '"';
    for (char c : toUtf8(w)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
}
