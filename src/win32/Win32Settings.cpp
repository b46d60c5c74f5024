#include "win32/Win32Settings.h"

#include "win32/Win32Text.h"

namespace kp::win32 {

RegistrySettingsStore::RegistrySettingsStore(const wchar_t* maker, const wchar_t* application)
    : m_root(std::wstring(L"Software\\") + maker + L"\\" + application) {}

// Reads ask only for read access, so that settings an administrator has made read-only are
// still read rather than replaced by the defaults; writes ask only for setting values.
HKEY RegistrySettingsStore::OpenSection(const AnsiString& section, REGSAM access) {
    std::wstring path = m_root;
    if (!section.empty())
        path += L"\\" + AnsiToWide(section);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

int RegistrySettingsStore::GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) {
    HKEY key = OpenSection(section, KEY_QUERY_VALUE);
    if (!key)
        return defaultValue;
    ::DWORD type = 0;
    ::DWORD value = 0;
    ::DWORD size = sizeof value;
    const LONG r = RegQueryValueExW(key, AnsiToWide(name).c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return defaultValue;
    return static_cast<int>(value);
}

bool RegistrySettingsStore::ReadText(const AnsiString& section, const AnsiString& name, std::wstring& text) {
    HKEY key = OpenSection(section, KEY_QUERY_VALUE);
    if (!key)
        return false;
    const std::wstring wname = AnsiToWide(name);
    ::DWORD type = 0;
    ::DWORD size = 0;
    LONG r = RegQueryValueExW(key, wname.c_str(), nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS || type != REG_SZ) {
        RegCloseKey(key);
        return false;
    }
    text.assign(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    r = RegQueryValueExW(key, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return false;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return true;
}

AnsiString RegistrySettingsStore::GetString(const AnsiString& section, const AnsiString& name,
                                            const AnsiString& defaultValue) {
    std::wstring text;
    return ReadText(section, name, text) ? WideToAnsi(text) : defaultValue;
}

// A path written by an earlier build went through code page 932 on its way in, but the registry
// holds every REG_SZ as UTF-16: it reads back here as the same characters, now as UTF-8.
Utf8String RegistrySettingsStore::GetUtf8String(const AnsiString& section, const AnsiString& name) {
    std::wstring text;
    return ReadText(section, name, text) ? WideToUtf8(text) : Utf8String();
}

void RegistrySettingsStore::WriteInt(const AnsiString& section, const AnsiString& name, int value) {
    HKEY key = OpenSection(section, KEY_SET_VALUE);
    if (!key)
        return;
    const ::DWORD v = static_cast<::DWORD>(value);
    RegSetValueExW(key, AnsiToWide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    RegCloseKey(key);
}

void RegistrySettingsStore::WriteText(const AnsiString& section, const AnsiString& name,
                                      const std::wstring& text) {
    HKEY key = OpenSection(section, KEY_SET_VALUE);
    if (!key)
        return;
    RegSetValueExW(key, AnsiToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<::DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RegistrySettingsStore::WriteString(const AnsiString& section, const AnsiString& name,
                                        const AnsiString& value) {
    WriteText(section, name, AnsiToWide(value));
}

void RegistrySettingsStore::WriteUtf8String(const AnsiString& section, const AnsiString& name,
                                            const Utf8String& value) {
    WriteText(section, name, Utf8ToWide(value));
}

} // namespace kp::win32
