// The settings store on Win32: the per-user registry.
#pragma once

#include "platform/Services.h"

#include <windows.h>

#include <string>

namespace kp::win32 {

// Settings under HKEY_CURRENT_USER\Software\<maker>\<application>\<section>; an empty section
// name is the application key itself. Integers are REG_DWORD, strings REG_SZ (UTF-16 in the
// registry): character text is converted with code page 932, paths with UTF-8, so each reads
// back as it was written.
class RegistrySettingsStore : public ISettingsStore {
public:
    RegistrySettingsStore(const wchar_t* maker, const wchar_t* application);
    int GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) override;
    AnsiString GetString(const AnsiString& section, const AnsiString& name,
                         const AnsiString& defaultValue) override;
    void WriteInt(const AnsiString& section, const AnsiString& name, int value) override;
    void WriteString(const AnsiString& section, const AnsiString& name, const AnsiString& value) override;
    Utf8String GetUtf8String(const AnsiString& section, const AnsiString& name) override;
    void WriteUtf8String(const AnsiString& section, const AnsiString& name, const Utf8String& value) override;

private:
    // The REG_SZ value `name` as wide text; false when it is missing or of another type.
    bool ReadText(const AnsiString& section, const AnsiString& name, std::wstring& text);
    void WriteText(const AnsiString& section, const AnsiString& name, const std::wstring& text);
    // Opens the section with the access asked for, creating it when it does not exist; nullptr
    // on failure.
    HKEY OpenSection(const AnsiString& section, REGSAM access);
    std::wstring m_root;
};

} // namespace kp::win32
