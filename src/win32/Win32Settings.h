// The settings store on Win32: the per-user registry.
#pragma once

#include "platform/Services.h"

#include <windows.h>

#include <string>

namespace kp::win32 {

// Settings under HKEY_CURRENT_USER\Software\<maker>\<application>\<section>; an empty section
// name is the application key itself. Integers are REG_DWORD, strings REG_SZ.
class RegistrySettingsStore : public ISettingsStore {
public:
    RegistrySettingsStore(const wchar_t* maker, const wchar_t* application);
    int GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) override;
    AnsiString GetString(const AnsiString& section, const AnsiString& name,
                         const AnsiString& defaultValue) override;
    void WriteInt(const AnsiString& section, const AnsiString& name, int value) override;
    void WriteString(const AnsiString& section, const AnsiString& name, const AnsiString& value) override;

private:
    HKEY OpenSection(const AnsiString& section); // creates it; nullptr on failure
    std::wstring m_root;
};

} // namespace kp::win32
