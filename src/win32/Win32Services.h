// The platform services on Win32: the registry, files, message boxes, the clock and the
// character window with its window procedure (the message map).
#pragma once

#include "platform/Services.h"
#include "win32/Win32Gdi.h"

#include <windows.h>

namespace kp {
class CCharacterApp;
class CMainFrame;
} // namespace kp

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

class Win32FileSystem : public IFileSystem {
public:
    bool ReadWholeFile(const AnsiString& path, ByteBlock& out) override;
    std::vector<AnsiString> FindFiles(const AnsiString& pattern) override;
};

class Win32Ui : public IModalUi {
public:
    explicit Win32Ui(HINSTANCE instance);
    MessageResult ShowMessage(const Utf8String& text, MessageStyle style) override;
    bool ChooseFileToOpen(const Utf8String& title, AnsiString& path) override;
    void SetOwner(HWND owner) { m_owner = owner; }

private:
    HWND m_owner = nullptr;
    std::wstring m_title;
};

class Win32System : public ISystem {
public:
    DWORD TickCount() override;
    LocalTime GetLocalTime() override;
    WindowsVersion GetVersion() override;
};

class Win32CharacterWindow : public ICharacterWindow {
public:
    explicit Win32CharacterWindow(HINSTANCE instance);
    // The application whose main frame receives this window's messages.
    void Attach(CCharacterApp* app) { m_app = app; }
    HWND Handle() const { return m_hwnd; }

    bool Create(const WindowCreateParams& params) override;
    bool Exists() const override { return m_hwnd != nullptr; }
    WindowId Id() const override { return reinterpret_cast<WindowId>(m_hwnd); }
    // A Win32Canvas compatible with the window's DC.
    std::unique_ptr<ICanvas> CreateFrame(int width, int height) override;
    void Repaint() override;
    void Destroy() override;
    void SetTimer(int id, unsigned milliseconds) override;
    void KillTimer(int id) override;
    void PostClose() override;
    void Hide() override;
    void SetWindowRegion(const RectRegion& region) override;
    Point CursorInClient() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnPaint(CMainFrame* frame);

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    CCharacterApp* m_app = nullptr;
};

// The window class every instance registers; other instances find each other by it.
extern const wchar_t kWindowClassName[];

} // namespace kp::win32
