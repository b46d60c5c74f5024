// The canvas header first: it keeps the API's TextOut macro away from ICanvas::TextOut.
#include "win32/Win32Canvas.h"

#include "win32/Win32Services.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "win32/Win32Proc.h"
#include "win32/Win32Text.h"
#include "win32/res/resource.h"

#include <commdlg.h>
#include <windowsx.h>

namespace kp::win32 {

const wchar_t kWindowClassName[] = L"Kelpo32CharacterWindow";

namespace {

// Commands of the context menu that reach the window: patterns 1..16 after the random
// selection, and the application's exit.
constexpr unsigned kLastPatternCommand = kPatternCommandBase + 16;
constexpr unsigned kExitCommand = 57665;

} // namespace

// ---------------------------------------------------------------------------------------------
// Settings

RegistrySettingsStore::RegistrySettingsStore(const wchar_t* maker, const wchar_t* application)
    : m_root(std::wstring(L"Software\\") + maker + L"\\" + application) {}

HKEY RegistrySettingsStore::OpenSection(const AnsiString& section) {
    std::wstring path = m_root;
    if (!section.empty())
        path += L"\\" + AnsiToWide(section);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

int RegistrySettingsStore::GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) {
    HKEY key = OpenSection(section);
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

AnsiString RegistrySettingsStore::GetString(const AnsiString& section, const AnsiString& name,
                                            const AnsiString& defaultValue) {
    HKEY key = OpenSection(section);
    if (!key)
        return defaultValue;
    const std::wstring wname = AnsiToWide(name);
    ::DWORD type = 0;
    ::DWORD size = 0;
    LONG r = RegQueryValueExW(key, wname.c_str(), nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS || type != REG_SZ) {
        RegCloseKey(key);
        return defaultValue;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    r = RegQueryValueExW(key, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return defaultValue;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return WideToAnsi(text);
}

void RegistrySettingsStore::WriteInt(const AnsiString& section, const AnsiString& name, int value) {
    HKEY key = OpenSection(section);
    if (!key)
        return;
    const ::DWORD v = static_cast<::DWORD>(value);
    RegSetValueExW(key, AnsiToWide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    RegCloseKey(key);
}

void RegistrySettingsStore::WriteString(const AnsiString& section, const AnsiString& name,
                                        const AnsiString& value) {
    HKEY key = OpenSection(section);
    if (!key)
        return;
    const std::wstring w = AnsiToWide(value);
    RegSetValueExW(key, AnsiToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                   static_cast<::DWORD>((w.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// ---------------------------------------------------------------------------------------------
// Files

bool Win32FileSystem::ReadWholeFile(const AnsiString& path, ByteBlock& out) {
    HANDLE file = CreateFileW(AnsiToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::DWORD high = 0;
    const ::DWORD low = GetFileSize(file, &high);
    // File lengths are 32-bit in this format; a larger file cannot be a character file.
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
        CloseHandle(file);
        return false;
    }
    ByteBlock block;
    try {
        block.Allocate(low);
    } catch (const std::bad_alloc&) {
        CloseHandle(file);
        return false;
    }
    ::DWORD done = 0;
    while (done < low) {
        ::DWORD got = 0;
        if (!ReadFile(file, block.data.get() + done, low - done, &got, nullptr) || got == 0) {
            CloseHandle(file);
            return false;
        }
        done += got;
    }
    if (!CloseHandle(file))
        return false;
    out = std::move(block);
    return true;
}

std::vector<AnsiString> Win32FileSystem::FindFiles(const AnsiString& pattern) {
    std::vector<AnsiString> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(AnsiToWide(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(WideToAnsi(data.cFileName));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

// ---------------------------------------------------------------------------------------------
// Message boxes

Win32Ui::Win32Ui(HINSTANCE instance) {
    wchar_t title[64] = {};
    if (LoadStringW(instance, IDS_APP_TITLE, title, 64) <= 0)
        wcscpy(title, L"Kelpo32");
    m_title = title;
}

MessageResult Win32Ui::ShowMessage(const Utf8String& text, MessageStyle style) {
    const UINT flags = (style == MessageStyle::YesNoExclamation ? MB_YESNO : MB_OK) | MB_ICONEXCLAMATION;
    switch (::MessageBoxW(m_owner, Utf8ToWide(text).c_str(), m_title.c_str(), flags)) {
    case IDYES:
        return MessageResult::Yes;
    case IDNO:
        return MessageResult::No;
    case IDOK:
        return MessageResult::Ok;
    default:
        return MessageResult::Cancel;
    }
}

bool Win32Ui::ChooseFileToOpen(const Utf8String& title, AnsiString& path) {
    wchar_t file[MAX_PATH] = L"*.kp";
    static const wchar_t kFilter[] = L"KP Files (*.kp)\0*.kp\0";
    const std::wstring wtitle = Utf8ToWide(title);
    OPENFILENAMEW ofn = {};
    // The structure size of Windows 95 and NT 4, which every later Windows accepts too.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = wtitle.c_str();
    ofn.lpstrDefExt = L"kp";
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_EXPLORER;
    // The dialog's library comes with the shell and COM libraries: load it only when the dialog
    // is wanted.
    static LazyProc<BOOL(WINAPI*)(LPOPENFILENAMEW)> getOpenFileName(L"comdlg32.dll", "GetOpenFileNameW");
    const auto open = getOpenFileName.Get();
    if (!open || !open(&ofn))
        return false;
    path = WideToAnsi(file);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Clock and system

kp::DWORD Win32System::TickCount() {
    return ::GetTickCount();
}

LocalTime Win32System::GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                     st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
}

WindowsVersion Win32System::GetVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info; // 148 bytes
    WindowsVersion v;
    if (!GetVersionExA(&info))
        return v;
    v.known = true;
    v.platformId = info.dwPlatformId;
    v.majorVersion = info.dwMajorVersion;
    v.minorVersion = info.dwMinorVersion;
    return v;
}

// ---------------------------------------------------------------------------------------------
// The character window

Win32CharacterWindow::Win32CharacterWindow(HINSTANCE instance) : m_instance(instance) {}

bool Win32CharacterWindow::Create(const WindowCreateParams& params) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = m_instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClassName;
    RegisterClassW(&wc); // fails harmlessly when already registered

    const ::DWORD exStyle = WS_EX_TOOLWINDOW | (params.layered ? WS_EX_LAYERED : 0);
    HWND hwnd = CreateWindowExW(exStyle, kWindowClassName, AnsiToWide(params.title).c_str(), WS_POPUP, 0, 0,
                                params.width, params.height, nullptr, nullptr, m_instance, this);
    return hwnd != nullptr;
}

std::unique_ptr<ICanvas> Win32CharacterWindow::CreateFrame(int width, int height) {
    HDC dc = m_hwnd ? GetDC(m_hwnd) : nullptr;
    auto frame = std::make_unique<Win32Canvas>(dc, width, height);
    if (dc)
        ReleaseDC(m_hwnd, dc);
    if (!frame->IsReady())
        return nullptr;
    return frame;
}

void Win32CharacterWindow::Repaint() {
    if (!m_hwnd)
        return;
    InvalidateRect(m_hwnd, nullptr, FALSE);
    UpdateWindow(m_hwnd);
}

namespace {

// The window's paint DC as the frame's OnPaint sees it.
class Win32WindowDc final : public IWindowDc {
public:
    explicit Win32WindowDc(HDC dc) : m_dc(dc) {}
    ~Win32WindowDc() override {
        if (m_hadPalette)
            ::SelectPalette(m_dc, m_oldPalette, FALSE);
    }
    Win32WindowDc(const Win32WindowDc&) = delete;
    Win32WindowDc& operator=(const Win32WindowDc&) = delete;

    void CopyFrame(ICanvas& frame) override {
        // Every frame is made by CreateFrame, so it is a Win32Canvas.
        auto& canvas = static_cast<Win32Canvas&>(frame);
        if (HPALETTE palette = canvas.Palette()) {
            const HPALETTE old = ::SelectPalette(m_dc, palette, TRUE);
            if (!m_hadPalette) {
                m_oldPalette = old;
                m_hadPalette = true;
            }
            RealizePalette(m_dc);
        }
        BitBlt(m_dc, 0, 0, canvas.Width(), canvas.Height(), canvas.Dc(), 0, 0, SRCCOPY);
    }
    void FillRegion(const RectRegion& region, Color color) override {
        const GdiRegion rgn = CreateGdiRegion(region);
        const GdiBrush brush(CreateSolidBrush(ColorRefOf(color)));
        if (rgn && brush)
            FillRgn(m_dc, rgn.Get(), brush.Get());
    }

private:
    HDC m_dc;
    HPALETTE m_oldPalette = nullptr;
    bool m_hadPalette = false;
};

} // namespace

void Win32CharacterWindow::OnPaint(CMainFrame* frame) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    if (dc && frame) {
        Win32WindowDc windowDc(dc);
        frame->OnPaint(windowDc);
    }
    EndPaint(m_hwnd, &ps);
}

void Win32CharacterWindow::Destroy() {
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void Win32CharacterWindow::SetTimer(int id, unsigned milliseconds) {
    ::SetTimer(m_hwnd, static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void Win32CharacterWindow::KillTimer(int id) {
    ::KillTimer(m_hwnd, static_cast<UINT_PTR>(id));
}

void Win32CharacterWindow::PostClose() {
    PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

void Win32CharacterWindow::Hide() {
    ShowWindow(m_hwnd, SW_HIDE);
}

void Win32CharacterWindow::SetWindowRegion(const RectRegion& region) {
    GdiRegion rgn = CreateGdiRegion(region);
    if (!rgn)
        return;
    // The window owns the region from here on, and releases it with the next one.
    if (SetWindowRgn(m_hwnd, rgn.Get(), TRUE))
        rgn.HandOver();
}

LRESULT CALLBACK Win32CharacterWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32CharacterWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<Win32CharacterWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->OnMessage(msg, wParam, lParam);
}

// The message map: each message becomes one call into the core.
LRESULT Win32CharacterWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    CMainFrame* frame = m_app ? m_app->MainFrame() : nullptr;
    // A test's question: how many GDI objects does the program hold now?
    static const UINT balanceMessage = RegisterWindowMessageW(kGdiBalanceMessageName);
    if (msg == balanceMessage && balanceMessage)
        return static_cast<LRESULT>(GdiObjectBalance());
    switch (msg) {
    case WM_CLOSE:
        if (frame)
            frame->OnClose();
        else
            DestroyWindow(m_hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        return frame ? frame->OnQueryEndSession() : TRUE;
    case WM_PAINT:
        OnPaint(frame);
        return 0;
    case WM_ERASEBKGND:
        return frame ? frame->OnEraseBkgnd() : TRUE;
    case WM_TIMER:
        if (frame)
            frame->OnTimer(static_cast<unsigned>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        if (frame)
            frame->OnLButtonDown(static_cast<unsigned>(wParam),
                                 Point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    case WM_LBUTTONUP:
        if (frame)
            frame->OnLButtonUp(static_cast<unsigned>(wParam),
                               Point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    case WM_TRACK:
        if (frame)
            frame->Track();
        return 0;
    case WM_COMMAND: {
        const unsigned id = LOWORD(wParam);
        if (frame && id >= kPatternCommandBase && id <= kLastPatternCommand) {
            frame->OnPatternMenu(id);
            return 0;
        }
        if (id == kExitCommand) {
            // The application's exit: the same close as every other way of ending.
            SendMessageW(m_hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_NCCALCSIZE:
        // The whole window is client area, and no WM_MOVE or WM_SIZE follows a change.
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        return 0;
    default:
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }
}

} // namespace kp::win32
