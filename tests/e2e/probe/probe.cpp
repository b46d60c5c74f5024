// probe.exe: a small Win32 console helper for the end-to-end tests. It runs in the same Wine prefix
// and on the same display as Kelpo32.exe and reports what the window system sees, one JSON object per
// line on stdout (UTF-8). It can also press dialog buttons, post messages and prepare the registry.
//
// Usage (numbers are decimal or 0x-hexadecimal; HWND values are printed as decimal numbers):
//
//   probe windows [--title T] [--class C]
//       One line per top-level window (EnumWindows order, that is z-order from the top), optionally only
//       those whose title / class equals T / C exactly:
//       {"hwnd","pid","title","class","rect":[l,t,r,b],"visible","style","exstyle",
//        "region":[[l,t,r,b],...] or null, "layered":{"key","alpha","flags"} or null}
//       The region rectangles are in window coordinates, as GetWindowRgn reports them.
//   probe dialogs
//       One line per visible top-level window of class "#32770" (message boxes, dialogs):
//       {"hwnd","pid","title","rect","children":[{"hwnd","id","class","text","style","visible",
//        "icon"?},...]}   Children come in EnumChildWindows order (nested dialogs included). A visible
//       static with SS_ICON also carries "icon": "exclamation", "hand", "question", "asterisk",
//       "none" (nothing drawn) or "unknown", found by comparing its pixels on screen with the system icons.
//   probe press HWND|any ID
//       BM_CLICK on the child with that control id (IDOK=1, IDCANCEL=2, IDYES=6, IDNO=7) of the dialog;
//       "any" means the one visible "#32770" window (an error when there are none or several).
//   probe post HWND MSG WPARAM LPARAM
//       PostMessageW to that window.
//   probe close --title T
//       Posts WM_CLOSE to every top-level window titled T; prints {"closed":n}.
//   probe wait (--title T | --dialog [--title T]) [--except HWND] [--timeout MS]
//       Polls every 20 ms until a top-level window titled T (visible or not), or with --dialog a
//       visible "#32770" window (titled T if given), other than HWND exists; prints it as "windows" or
//       "dialogs" would and exits 0, or exits 1 after MS milliseconds (default 5000). --except lets a
//       caller wait for the next dialog while the one it just answered may still be closing.
//   probe regget SUBKEY VALUE
//       Under HKEY_CURRENT_USER: {"found":true,"type":"REG_DWORD","data":N} (REG_SZ data as a string,
//       other types as a list of bytes) or {"found":false}; exit 0 when found, 1 when not.
//   probe reglist SUBKEY
//       {"found":true,"values":{name:{"type","data"},...},"subkeys":[...]} or {"found":false}.
//   probe regset SUBKEY VALUE dword N | sz TEXT
//       Creates the key as needed and writes the value.
//   probe regdel SUBKEY
//       Deletes the key with everything below it; a missing key is not an error.
//   probe regreadonly SUBKEY
//       Replaces the key's access list by one that lets everyone read it and do nothing else.
//   probe version
//       {"major","minor","build","platform","csd"} from GetVersionExW of this process.
//   probe run [--cwd DIR] EXE CMDLINE
//       CreateProcessW(EXE, CMDLINE) with exactly that command line (program name included), waits
//       for the program and exits with its exit code after printing {"exit":N}. This is how a test
//       gives a program a command line that no argument quoting would produce.
//   probe target --rect L T R B [--title T] [--color 0xRRGGBB] [--ms N] [--hang]
//       Shows a borderless window of that screen rectangle, filled with the colour (default green
//       0x00C000), titled T (default "Target"), makes it the foreground window and keeps it for N
//       milliseconds (default 60000) or until it gets WM_CLOSE; prints {"hwnd":N} once it is shown.
//       A window for the character to stand on. With --hang the probe then answers no message at
//       all for those N milliseconds, as a program that has stopped responding.
//   probe move HWND L T R B
//       Moves and sizes a window to that screen rectangle without activating it.
//   probe endsession HWND [--kill]
//       The user's logon ending for the process that owns HWND, as Windows ends it: WM_QUERYENDSESSION
//       (lParam ENDSESSION_LOGOFF) sent to each of the process's top-level windows, then, when every one
//       agreed, WM_ENDSESSION (wParam TRUE) sent to each. With --kill the process is then ended at once
//       (TerminateProcess), as Windows may end it as soon as its windows have answered WM_ENDSESSION.
//       {"windows":[{"hwnd","class","query"},...],"agreed","killed"}; "query" is the answer (-1: none
//       within 10 s).
//   probe foreground
//       {"hwnd":N} of the foreground window (0 for none).
//   probe menu [--timeout MS]
//       Waits until a popup menu is open (a visible "#32768" window) and prints one line per open menu
//       window, the first opened first: {"hwnd","pid","rect","items":[ITEM,...]}, ITEM being
//       {"text","id","flags":[...],"rect":[l,t,r,b] or null,"submenu":{"items":[...]}?} with flags
//       among "grayed", "disabled", "checked", "separator", "popup", "menubarbreak", "menubreak",
//       "default" and the item's screen rectangle while it is shown. Wine keeps menus per process, so
//       this is read inside the program by probehook.dll (see there): the probe and the program must be
//       of the same architecture. Exits 1 when no menu opens within MS (default 5000).
//   probe units HWND
//       {"units":[x,y]}: the pixels of 4 x 8 dialog units of that dialog (MapDialogRect, read inside
//       the program by probehook.dll like the menu).
//   probe type HWND ID TEXT
//       Types TEXT into the edit control ID of the dialog as a user does: selects all its text, then
//       posts one WM_CHAR per character (a backspace when TEXT is empty), so that the dialog gets
//       EN_CHANGE for every keystroke. Posted, so a message box it raises does not block the probe.
//       A combo box's edit field stands in for the combo box.
//   probe activate HWND
//       SetForegroundWindow: makes that window the active, foreground one.
//   probe thread HWND
//       {"flags","active","focus","capture","menuowner","movesize"}: GetGUIThreadInfo of the thread
//       that owns the window. flags: 1 caret blinking, 2 in a move or size loop, 4 in menu mode,
//       16 a popup menu open. Lets a test wait until a drag's move loop has begun.
//
// Children in "dialogs" also carry "enabled", a client rectangle "crect" (dialog client pixels),
// "checked" (0, 1, 2) for buttons and "range":[min,max] and "pos" for trackbars.
//
// Exit status: 0 success, 1 "not found" / timeout, 2 usage or system error (with {"error":...}).
// Arguments arrive as a wide command line, so Japanese key names and titles pass through unchanged.

#include "JsonText.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// --- output -------------------------------------------------------------------------------------

// Builds one JSON object or array as UTF-8 text.
class Json {
public:
    Json& raw(const std::string& s) {
        text_ += s;
        return *this;
    }
    Json& str(const std::wstring& w) {
        appendJsonString(text_, w);
        return *this;
    }
    Json& num(long long v) {
        text_ += std::to_string(v);
        return *this;
    }
    Json& boolean(bool b) {
        text_ += b ? "true" : "false";
        return *this;
    }
    // Starts a member "key": inside an object, with the comma when needed.
    Json& key(const char* k) {
        sep();
        text_ += '"';
        text_ += k;
        text_ += "\":";
        return *this;
    }
    Json& open(char c) {
        text_ += c;
        first_.push_back(true);
        return *this;
    }
    Json& close(char c) {
        text_ += c;
        first_.pop_back();
        return *this;
    }
    // Separator before an array element.
    Json& item() {
        sep();
        return *this;
    }
    const std::string& text() const { return text_; }

private:
    void sep() {
        if (!first_.empty()) {
            if (!first_.back())
                text_ += ',';
            first_.back() = false;
        }
    }
    std::string text_;
    std::vector<bool> first_;
};

void emit(const Json& j) {
    std::string line = j.text() + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
}

int fail(const std::wstring& message) {
    Json j;
    j.open('{').key("error").str(message).close('}');
    emit(j);
    return 2;
}

int usage() {
    return fail(L"usage: probe "
                L"windows|dialogs|press|post|close|wait|regget|reglist|regset|regdel|regreadonly|version|run|"
                L"target|move|foreground|menu|units|type|thread|activate");
}

bool parseNumber(const wchar_t* s, long long& out) {
    if (!s || !*s)
        return false;
    wchar_t* end = nullptr;
    out = wcstoll(s, &end, 0);
    return end && *end == 0;
}

// --- windows ------------------------------------------------------------------------------------

std::wstring windowText(HWND hwnd) {
    // WM_GETTEXT is marshalled across processes; the timeout keeps a hung program from hanging us.
    wchar_t buf[1024];
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 1000,
                             &len))
        return std::wstring();
    if (len > 1023)
        len = 1023;
    return std::wstring(buf, len);
}

std::wstring className(HWND hwnd) {
    wchar_t buf[256];
    int n = GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

void rectJson(Json& j, const RECT& r) {
    j.open('[').item().num(r.left).item().num(r.top).item().num(r.right).item().num(r.bottom).close(']');
}

void regionJson(Json& j, HWND hwnd) {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    int kind = GetWindowRgn(hwnd, rgn);
    if (kind == ERROR) {
        DeleteObject(rgn);
        j.raw("null");
        return;
    }
    DWORD size = GetRegionData(rgn, 0, nullptr);
    std::vector<char> buf(size);
    RGNDATA* data = reinterpret_cast<RGNDATA*>(buf.data());
    j.open('[');
    if (size && GetRegionData(rgn, size, data)) {
        const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
        for (DWORD i = 0; i < data->rdh.nCount; ++i) {
            j.item();
            rectJson(j, rects[i]);
        }
    }
    j.close(']');
    DeleteObject(rgn);
}

void layeredJson(Json& j, HWND hwnd) {
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) ||
        !GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags)) {
        j.raw("null");
        return;
    }
    j.open('{');
    j.key("key").num(key).key("alpha").num(alpha).key("flags").num(flags);
    j.close('}');
}

void windowJson(Json& j, HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    RECT r = {0, 0, 0, 0};
    GetWindowRect(hwnd, &r);
    j.open('{');
    j.key("hwnd").num(reinterpret_cast<INT_PTR>(hwnd));
    j.key("pid").num(pid);
    j.key("title").str(windowText(hwnd));
    j.key("class").str(className(hwnd));
    j.key("rect");
    rectJson(j, r);
    j.key("visible").boolean(IsWindowVisible(hwnd) != FALSE);
    j.key("style").num(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)));
    j.key("exstyle").num(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
    j.key("region");
    regionJson(j, hwnd);
    j.key("layered");
    layeredJson(j, hwnd);
    j.close('}');
}

// Enumeration callback (a lambda cannot carry the stdcall convention on i686): appends to a vector.
BOOL CALLBACK collectWindow(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

struct WindowFilter {
    const wchar_t* title = nullptr;
    const wchar_t* cls = nullptr;
    bool matches(HWND hwnd) const {
        if (title && windowText(hwnd) != title)
            return false;
        if (cls && className(hwnd) != cls)
            return false;
        return true;
    }
};

std::vector<HWND> dialogWindows() {
    std::vector<HWND> result;
    for (HWND hwnd : topLevelWindows())
        if (IsWindowVisible(hwnd) && className(hwnd) == L"#32770")
            result.push_back(hwnd);
    return result;
}

// --- icons --------------------------------------------------------------------------------------

// Pixels of a w x h area of a DC as 32-bit values.
std::vector<DWORD> grab(HDC src, int x, int y, int w, int h) {
    HDC mem = CreateCompatibleDC(src);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
    GdiFlush();
    const DWORD* p = static_cast<const DWORD*>(bits);
    std::vector<DWORD> px(p, p + static_cast<size_t>(w) * h);
    for (DWORD& v : px)
        v &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return px;
}

// Which system icon the icon static shows: its pixels on screen are compared with each standard icon
// drawn over the static's background colour (icon handles of another process cannot be inspected).
std::wstring iconName(HWND ctl) {
    RECT r;
    if (!IsWindowVisible(ctl) || !GetWindowRect(ctl, &r))
        return L"none";
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return L"none";
    int size = w < h ? w : h;
    if (size > 64)
        size = 64;
    HDC screen = GetDC(nullptr);
    std::vector<DWORD> shown = grab(screen, r.left, r.top, size, size);
    bool uniform = true;
    for (DWORD v : shown)
        uniform = uniform && v == shown[0];
    std::wstring result = uniform ? L"none" : L"unknown";
    if (!uniform) {
        struct Candidate {
            LPCWSTR id;
            const wchar_t* name;
        };
        const Candidate candidates[] = {{IDI_EXCLAMATION, L"exclamation"},
                                        {IDI_HAND, L"hand"},
                                        {IDI_QUESTION, L"question"},
                                        {IDI_ASTERISK, L"asterisk"}};
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, size, size);
        HGDIOBJ old = SelectObject(mem, bmp);
        // The corner pixel of the shown icon is background in every standard icon.
        HBRUSH bg = CreateSolidBrush(RGB(GetBValue(shown[0]), GetGValue(shown[0]), GetRValue(shown[0])));
        size_t bestDiff = shown.size();
        for (const Candidate& c : candidates) {
            RECT all = {0, 0, size, size};
            FillRect(mem, &all, bg);
            DrawIconEx(mem, 0, 0, LoadIconW(nullptr, c.id), size, size, 0, nullptr, DI_NORMAL);
            std::vector<DWORD> drawn = grab(mem, 0, 0, size, size);
            size_t diff = 0;
            for (size_t i = 0; i < shown.size(); ++i)
                diff += drawn[i] != shown[i];
            if (diff < bestDiff) {
                bestDiff = diff;
                if (diff * 20 < shown.size()) // fewer than 5 % of the pixels differ
                    result = c.name;
            }
        }
        DeleteObject(bg);
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
    }
    ReleaseDC(nullptr, screen);
    return result;
}

// A dialog is visible before it has painted: give the icon up to a second to appear.
std::wstring iconNameWhenPainted(HWND ctl) {
    DWORD start = GetTickCount();
    for (;;) {
        std::wstring name = iconName(ctl);
        if (name != L"none" || GetTickCount() - start >= 1000)
            return name;
        Sleep(20);
    }
}

void dialogJson(Json& j, HWND dlg) {
    DWORD pid = 0;
    GetWindowThreadProcessId(dlg, &pid);
    RECT r = {0, 0, 0, 0};
    GetWindowRect(dlg, &r);
    j.open('{');
    j.key("hwnd").num(reinterpret_cast<INT_PTR>(dlg));
    j.key("pid").num(pid);
    j.key("title").str(windowText(dlg));
    j.key("rect");
    rectJson(j, r);
    j.key("children").open('[');
    std::vector<HWND> children;
    EnumChildWindows(dlg, collectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND c : children) {
        DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
        std::wstring cls = className(c);
        j.item().open('{');
        j.key("hwnd").num(reinterpret_cast<INT_PTR>(c));
        j.key("id").num(GetDlgCtrlID(c));
        j.key("class").str(cls);
        j.key("text").str(windowText(c));
        j.key("style").num(style);
        j.key("visible").boolean(IsWindowVisible(c) != FALSE);
        j.key("enabled").boolean(IsWindowEnabled(c) != FALSE);
        RECT cr = {0, 0, 0, 0};
        GetWindowRect(c, &cr);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&cr), 2);
        j.key("crect");
        rectJson(j, cr);
        if (_wcsicmp(cls.c_str(), L"Button") == 0)
            j.key("checked").num(SendMessageW(c, BM_GETCHECK, 0, 0));
        if (_wcsicmp(cls.c_str(), L"msctls_trackbar32") == 0) {
            j.key("range").open('[');
            j.item()
                .num(SendMessageW(c, TBM_GETRANGEMIN, 0, 0))
                .item()
                .num(SendMessageW(c, TBM_GETRANGEMAX, 0, 0));
            j.close(']').key("pos").num(SendMessageW(c, TBM_GETPOS, 0, 0));
        }
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
            j.key("icon").str(iconNameWhenPainted(c));
        j.close('}');
    }
    j.close(']');
    j.close('}');
}

// --- commands -----------------------------------------------------------------------------------

int cmdWindows(int argc, wchar_t** argv) {
    WindowFilter filter;
    for (int i = 0; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--title") && i + 1 < argc)
            filter.title = argv[++i];
        else if (!wcscmp(argv[i], L"--class") && i + 1 < argc)
            filter.cls = argv[++i];
        else
            return usage();
    }
    for (HWND hwnd : topLevelWindows()) {
        if (!filter.matches(hwnd))
            continue;
        Json j;
        windowJson(j, hwnd);
        emit(j);
    }
    return 0;
}

int cmdDialogs() {
    for (HWND dlg : dialogWindows()) {
        Json j;
        dialogJson(j, dlg);
        emit(j);
    }
    return 0;
}

bool parseWindow(const wchar_t* s, HWND& hwnd) {
    long long v;
    if (!parseNumber(s, v))
        return false;
    hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(v));
    return true;
}

int cmdPress(int argc, wchar_t** argv) {
    long long id;
    if (argc != 2 || !parseNumber(argv[1], id))
        return usage();
    HWND dlg = nullptr;
    if (!wcscmp(argv[0], L"any")) {
        std::vector<HWND> dialogs = dialogWindows();
        if (dialogs.size() != 1)
            return fail(L"expected exactly one visible dialog, found " + std::to_wstring(dialogs.size()));
        dlg = dialogs[0];
    } else if (!parseWindow(argv[0], dlg)) {
        return usage();
    }
    HWND button = GetDlgItem(dlg, static_cast<int>(id));
    if (!button)
        return fail(L"no control with id " + std::to_wstring(id));
    // Posted, not sent: under Wine a BM_CLICK sent from another process returns only after the modal
    // loop that the click ends (or starts) has moved on, seconds later. The button is alive now, and
    // the dialog's own loop delivers the click.
    if (!PostMessageW(button, BM_CLICK, 0, 0))
        return fail(L"PostMessage failed, error " + std::to_wstring(GetLastError()));
    Json j;
    j.open('{').key("pressed").num(id).key("dialog").num(reinterpret_cast<INT_PTR>(dlg)).close('}');
    emit(j);
    return 0;
}

int cmdPost(int argc, wchar_t** argv) {
    HWND hwnd;
    long long msg, wp, lp;
    if (argc != 4 || !parseWindow(argv[0], hwnd) || !parseNumber(argv[1], msg) || !parseNumber(argv[2], wp) ||
        !parseNumber(argv[3], lp))
        return usage();
    if (!PostMessageW(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp)))
        return fail(L"PostMessage failed, error " + std::to_wstring(GetLastError()));
    Json j;
    j.open('{').key("posted").num(msg).close('}');
    emit(j);
    return 0;
}

int cmdClose(int argc, wchar_t** argv) {
    if (argc != 2 || wcscmp(argv[0], L"--title"))
        return usage();
    WindowFilter filter;
    filter.title = argv[1];
    int n = 0;
    for (HWND hwnd : topLevelWindows())
        if (filter.matches(hwnd) && PostMessageW(hwnd, WM_CLOSE, 0, 0))
            ++n;
    Json j;
    j.open('{').key("closed").num(n).close('}');
    emit(j);
    return 0;
}

int cmdWait(int argc, wchar_t** argv) {
    const wchar_t* title = nullptr;
    bool dialog = false;
    HWND except = nullptr;
    long long timeout = 5000;
    for (int i = 0; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--title") && i + 1 < argc)
            title = argv[++i];
        else if (!wcscmp(argv[i], L"--dialog"))
            dialog = true;
        else if (!wcscmp(argv[i], L"--except") && i + 1 < argc) {
            if (!parseWindow(argv[++i], except))
                return usage();
        } else if (!wcscmp(argv[i], L"--timeout") && i + 1 < argc) {
            if (!parseNumber(argv[++i], timeout))
                return usage();
        } else
            return usage();
    }
    if (!title && !dialog)
        return usage();
    WindowFilter filter;
    filter.title = title;
    DWORD start = GetTickCount();
    for (;;) {
        if (dialog) {
            for (HWND hwnd : dialogWindows()) {
                if (hwnd != except && filter.matches(hwnd)) {
                    Json j;
                    dialogJson(j, hwnd);
                    emit(j);
                    return 0;
                }
            }
        } else {
            for (HWND hwnd : topLevelWindows()) {
                if (hwnd != except && filter.matches(hwnd)) {
                    Json j;
                    windowJson(j, hwnd);
                    emit(j);
                    return 0;
                }
            }
        }
        if (static_cast<long long>(GetTickCount() - start) >= timeout)
            return 1;
        Sleep(20);
    }
}

const wchar_t* typeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_DWORD:
        return L"REG_DWORD";
    case REG_BINARY:
        return L"REG_BINARY";
    case REG_MULTI_SZ:
        return L"REG_MULTI_SZ";
    case REG_QWORD:
        return L"REG_QWORD";
    default:
        return L"REG_NONE";
    }
}

void valueDataJson(Json& j, DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        while (!s.empty() && s.back() == 0)
            s.pop_back();
        j.str(s);
    } else if (type == REG_DWORD && data.size() == 4) {
        DWORD v;
        memcpy(&v, data.data(), 4);
        j.num(v);
    } else {
        j.open('[');
        for (BYTE b : data)
            j.item().num(b);
        j.close(']');
    }
}

int cmdRegget(int argc, wchar_t** argv) {
    if (argc != 2)
        return usage();
    HKEY key;
    Json j;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, argv[0], 0, KEY_READ, &key) != ERROR_SUCCESS) {
        j.open('{').key("found").boolean(false).close('}');
        emit(j);
        return 1;
    }
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, argv[1], nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(key, argv[1], nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        j.open('{').key("found").boolean(false).close('}');
        emit(j);
        return 1;
    }
    data.resize(size);
    j.open('{').key("found").boolean(true).key("type").str(typeName(type)).key("data");
    valueDataJson(j, type, data);
    j.close('}');
    emit(j);
    return 0;
}

int cmdReglist(int argc, wchar_t** argv) {
    if (argc != 1)
        return usage();
    HKEY key;
    Json j;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, argv[0], 0, KEY_READ, &key) != ERROR_SUCCESS) {
        j.open('{').key("found").boolean(false).close('}');
        emit(j);
        return 1;
    }
    j.open('{').key("found").boolean(true).key("values").open('{');
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLen = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size);
        nameLen = 16384;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        // Value names go through the string escaper, so write the member by hand.
        j.item().str(std::wstring(name, nameLen)).raw(":{\"type\":").str(typeName(type)).raw(",\"data\":");
        valueDataJson(j, type, data);
        j.raw("}");
    }
    j.close('}').key("subkeys").open('[');
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256;
        if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        j.item().str(std::wstring(name, nameLen));
    }
    j.close(']').close('}');
    RegCloseKey(key);
    emit(j);
    return 0;
}

int cmdRegset(int argc, wchar_t** argv) {
    if (argc != 4)
        return usage();
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, argv[0], 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return fail(L"cannot create key");
    LONG rc;
    if (!wcscmp(argv[2], L"dword")) {
        long long v;
        if (!parseNumber(argv[3], v)) {
            RegCloseKey(key);
            return usage();
        }
        DWORD d = static_cast<DWORD>(v);
        rc = RegSetValueExW(key, argv[1], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d);
    } else if (!wcscmp(argv[2], L"sz")) {
        DWORD bytes = static_cast<DWORD>((wcslen(argv[3]) + 1) * sizeof(wchar_t));
        rc = RegSetValueExW(key, argv[1], 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[3]), bytes);
    } else {
        RegCloseKey(key);
        return usage();
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return fail(L"cannot write value, error " + std::to_wstring(rc));
    Json j;
    j.open('{').key("written").boolean(true).close('}');
    emit(j);
    return 0;
}

int cmdRegdel(int argc, wchar_t** argv) {
    if (argc != 1)
        return usage();
    LONG rc = RegDeleteTreeW(HKEY_CURRENT_USER, argv[0]);
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
        // RegDeleteTree leaves the key itself when it has no subkeys on some versions; remove it too.
        RegDeleteKeyW(HKEY_CURRENT_USER, argv[0]);
        Json j;
        j.open('{').key("deleted").boolean(rc == ERROR_SUCCESS).close('}');
        emit(j);
        return 0;
    }
    return fail(L"cannot delete key, error " + std::to_wstring(rc));
}

// Makes a key read-only, as an administrator locks settings: its access list grants everyone
// reading and nothing else.
int cmdRegReadOnly(int argc, wchar_t** argv) {
    if (argc != 1)
        return usage();
    HKEY key;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, argv[0], 0, WRITE_DAC, &key);
    if (rc != ERROR_SUCCESS)
        return fail(L"cannot open key, error " + std::to_wstring(rc));
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    alignas(DWORD) BYTE aclBytes[128];
    PACL acl = reinterpret_cast<PACL>(aclBytes);
    SECURITY_DESCRIPTOR sd;
    const bool made =
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) &&
        InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone) &&
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    rc = made ? RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) : static_cast<LONG>(GetLastError());
    if (everyone)
        FreeSid(everyone);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return fail(L"cannot make the key read-only, error " + std::to_wstring(rc));
    Json j;
    j.open('{').key("readonly").boolean(true).close('}');
    emit(j);
    return 0;
}

int cmdRun(int argc, wchar_t** argv) {
    const wchar_t* cwd = nullptr;
    if (argc == 4 && !wcscmp(argv[0], L"--cwd")) {
        cwd = argv[1];
        argc -= 2;
        argv += 2;
    }
    if (argc != 2)
        return usage();
    // CreateProcess wants a writable command line.
    std::vector<wchar_t> cmdline(argv[1], argv[1] + wcslen(argv[1]) + 1);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(argv[0], cmdline.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &si, &pi))
        return fail(L"CreateProcess failed, error " + std::to_wstring(GetLastError()));
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    Json j;
    j.open('{').key("exit").num(code).close('}');
    emit(j);
    return static_cast<int>(code);
}

LRESULT CALLBACK targetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool parseRect(wchar_t** argv, RECT& r) {
    long long v[4];
    for (int i = 0; i < 4; ++i)
        if (!parseNumber(argv[i], v[i]))
            return false;
    r = {static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]), static_cast<LONG>(v[3])};
    return true;
}

int cmdTarget(int argc, wchar_t** argv) {
    RECT r = {0, 0, 0, 0};
    bool haveRect = false;
    const wchar_t* title = L"Target";
    long long color = 0x00C000, ms = 60000;
    bool hang = false;
    for (int i = 0; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--hang")) {
            hang = true;
        } else if (!wcscmp(argv[i], L"--rect") && i + 4 < argc) {
            if (!parseRect(argv + i + 1, r))
                return usage();
            haveRect = true;
            i += 4;
        } else if (!wcscmp(argv[i], L"--title") && i + 1 < argc) {
            title = argv[++i];
        } else if (!wcscmp(argv[i], L"--color") && i + 1 < argc) {
            if (!parseNumber(argv[++i], color))
                return usage();
        } else if (!wcscmp(argv[i], L"--ms") && i + 1 < argc) {
            if (!parseNumber(argv[++i], ms))
                return usage();
        } else {
            return usage();
        }
    }
    if (!haveRect)
        return usage();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = targetProc;
    wc.hInstance = instance;
    wc.hbrBackground = CreateSolidBrush(RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
    wc.lpszClassName = L"KpProbeTarget";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, L"KpProbeTarget", title, WS_POPUP, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return fail(L"CreateWindow failed, error " + std::to_wstring(GetLastError()));
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    Json j;
    j.open('{').key("hwnd").num(reinterpret_cast<INT_PTR>(hwnd)).close('}');
    emit(j);
    if (hang) {
        // A program that stopped answering: its window stays, nothing is dispatched any more.
        Sleep(static_cast<DWORD>(ms));
        return 0;
    }
    SetTimer(hwnd, 1, static_cast<UINT>(ms), nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == hwnd) {
            DestroyWindow(hwnd);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

int cmdMove(int argc, wchar_t** argv) {
    HWND hwnd;
    RECT r;
    if (argc != 5 || !parseWindow(argv[0], hwnd) || !parseRect(argv + 1, r))
        return usage();
    if (!SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                      SWP_NOZORDER | SWP_NOACTIVATE))
        return fail(L"SetWindowPos failed, error " + std::to_wstring(GetLastError()));
    Json j;
    j.open('{').key("moved").num(reinterpret_cast<INT_PTR>(hwnd)).close('}');
    emit(j);
    return 0;
}

// Answers to the end-of-session messages, as SendMessageCallbackW hands them back.
struct SessionAnswers {
    std::vector<long long> query; // per window, -1 until answered
    std::size_t ended = 0;        // WM_ENDSESSION calls returned
};

void CALLBACK sessionAnswer(HWND, UINT msg, ULONG_PTR data, LRESULT result) {
    auto* slot = reinterpret_cast<std::pair<SessionAnswers*, std::size_t>*>(data);
    if (msg == WM_QUERYENDSESSION)
        slot->first->query[slot->second] = static_cast<long long>(result);
    else
        ++slot->first->ended;
}

int cmdEndSession(int argc, wchar_t** argv) {
    HWND hwnd;
    if (argc < 1 || argc > 2 || !parseWindow(argv[0], hwnd) || (argc == 2 && wcscmp(argv[1], L"--kill")))
        return usage();
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    if (!tid)
        return fail(L"no such window");
    std::vector<HWND> windows;
    std::vector<std::wstring> classes; // read now: the windows may be gone at the end
    for (HWND w : topLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) {
            windows.push_back(w);
            classes.push_back(className(w));
        }
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the queue the answers come back to
    SessionAnswers answers;
    answers.query.assign(windows.size(), -1);
    std::vector<std::pair<SessionAnswers*, std::size_t>> slots;
    for (std::size_t i = 0; i < windows.size(); ++i)
        slots.emplace_back(&answers, i);
    // Both messages are queued while the program's thread is held, so that they arrive before
    // anything the program posts itself in answer, as when the session ends without a pause.
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, tid);
    const bool held = thread && SuspendThread(thread) != static_cast<DWORD>(-1);
    for (std::size_t i = 0; i < windows.size(); ++i)
        SendMessageCallbackW(windows[i], WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, sessionAnswer,
                             reinterpret_cast<ULONG_PTR>(&slots[i]));
    for (std::size_t i = 0; i < windows.size(); ++i)
        SendMessageCallbackW(windows[i], WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, sessionAnswer,
                             reinterpret_cast<ULONG_PTR>(&slots[i]));
    if (held)
        ResumeThread(thread);
    if (thread)
        CloseHandle(thread);
    const DWORD deadline = GetTickCount() + 10000;
    while (answers.ended < windows.size() && static_cast<LONG>(deadline - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    bool killed = false;
    if (argc == 2 && answers.ended == windows.size()) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        killed = process && TerminateProcess(process, 0);
        if (process)
            CloseHandle(process);
    }
    bool agreed = true;
    Json j;
    j.open('{').key("windows").open('[');
    for (std::size_t i = 0; i < windows.size(); ++i) {
        agreed = agreed && answers.query[i] > 0;
        j.item().open('{').key("hwnd").num(reinterpret_cast<INT_PTR>(windows[i]));
        j.key("class").str(classes[i]).key("query").num(answers.query[i]).close('}');
    }
    j.close(']').key("agreed").boolean(agreed).key("ended").num(static_cast<long long>(answers.ended));
    j.key("held").boolean(held).key("killed").boolean(killed).close('}');
    emit(j);
    return 0;
}

int cmdForeground() {
    Json j;
    j.open('{').key("hwnd").num(reinterpret_cast<INT_PTR>(GetForegroundWindow())).close('}');
    emit(j);
    return 0;
}

// --- queries answered inside the program (probehook.dll) ----------------------------------------

std::string g_reply;

LRESULT CALLBACK replyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        const COPYDATASTRUCT* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        g_reply.assign(static_cast<const char*>(cds->lpData), cds->cbData);
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Asks the thread that owns `target` for query 1 (menu) or 2 (units) through probehook.dll, which
// must lie beside probe.exe; on success `out` holds the JSON answer. Returns an error text or "".
std::wstring askInside(HWND target, UINT query, std::string& out) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll(path, n);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"probehook.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module)
        return L"cannot load " + dll;
    FARPROC proc = GetProcAddress(module, "KpProbeHook");
    if (!proc)
        proc = GetProcAddress(module, "KpProbeHook@12");
    if (!proc)
        return L"no KpProbeHook in " + dll;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = replyProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KpProbeReply";
    RegisterClassW(&wc);
    HWND reply =
        CreateWindowExW(0, L"KpProbeReply", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    DWORD thread = GetWindowThreadProcessId(target, nullptr);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(proc)),
                                   module, thread);
    if (!hook)
        return L"SetWindowsHookEx failed, error " + std::to_wstring(GetLastError());
    g_reply.clear();
    DWORD_PTR result = 0;
    // While this waits, the hook's WM_COPYDATA reaches replyProc (a sent message is served during a send).
    SendMessageTimeoutW(target, RegisterWindowMessageW(L"KpProbeQuery"), reinterpret_cast<WPARAM>(reply),
                        query, SMTO_NORMAL, 5000, &result);
    UnhookWindowsHookEx(hook);
    DestroyWindow(reply);
    if (g_reply.empty())
        return L"no answer from the program (is the probe of its architecture?)";
    out = g_reply;
    return std::wstring();
}

std::vector<HWND> menuWindows() {
    std::vector<HWND> result;
    for (HWND hwnd : topLevelWindows())
        if (IsWindowVisible(hwnd) && className(hwnd) == L"#32768")
            result.insert(result.begin(), hwnd); // later menus lie above earlier ones
    return result;
}

int cmdMenu(int argc, wchar_t** argv) {
    long long timeout = 5000;
    if (argc == 2 && !wcscmp(argv[0], L"--timeout")) {
        if (!parseNumber(argv[1], timeout))
            return usage();
    } else if (argc != 0) {
        return usage();
    }
    DWORD start = GetTickCount();
    std::vector<HWND> menus;
    while ((menus = menuWindows()).empty()) {
        if (static_cast<long long>(GetTickCount() - start) >= timeout)
            return 1;
        Sleep(20);
    }
    for (HWND hwnd : menus) {
        std::string answer;
        std::wstring error = askInside(hwnd, 1, answer);
        if (!error.empty())
            return fail(error);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        RECT r = {0, 0, 0, 0};
        GetWindowRect(hwnd, &r);
        Json j;
        j.open('{').key("hwnd").num(reinterpret_cast<INT_PTR>(hwnd)).key("pid").num(pid).key("rect");
        rectJson(j, r);
        j.close('}');
        // The answer is one JSON object: splice its members into this one.
        std::string line = j.text();
        line.pop_back();
        emit(Json().raw(line + "," + answer.substr(1)));
    }
    return 0;
}

int cmdUnits(int argc, wchar_t** argv) {
    HWND dlg;
    if (argc != 1 || !parseWindow(argv[0], dlg))
        return usage();
    std::string answer;
    std::wstring error = askInside(dlg, 2, answer);
    if (!error.empty())
        return fail(error);
    emit(Json().raw(answer));
    return 0;
}

int cmdType(int argc, wchar_t** argv) {
    HWND dlg;
    long long id;
    if (argc != 3 || !parseWindow(argv[0], dlg) || !parseNumber(argv[1], id))
        return usage();
    HWND edit = GetDlgItem(dlg, static_cast<int>(id));
    if (!edit)
        return fail(L"no control with id " + std::to_wstring(id));
    if (_wcsicmp(className(edit).c_str(), L"Edit") != 0) {
        // A combo box (the file name box of the open-file dialog): its edit field takes the keys.
        std::vector<HWND> inner;
        EnumChildWindows(edit, collectWindow, reinterpret_cast<LPARAM>(&inner));
        for (HWND c : inner)
            if (_wcsicmp(className(c).c_str(), L"Edit") == 0) {
                edit = c;
                break;
            }
    }
    PostMessageW(edit, EM_SETSEL, 0, -1);
    std::wstring text = argv[2];
    if (text.empty())
        text = L"\b";
    for (wchar_t c : text)
        PostMessageW(edit, WM_CHAR, c, 1);
    Json j;
    j.open('{').key("typed").num(static_cast<long long>(text.size())).close('}');
    emit(j);
    return 0;
}

int cmdThread(int argc, wchar_t** argv) {
    HWND hwnd;
    if (argc != 1 || !parseWindow(argv[0], hwnd))
        return usage();
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info))
        return fail(L"GetGUIThreadInfo failed, error " + std::to_wstring(GetLastError()));
    Json j;
    j.open('{').key("flags").num(info.flags).key("active").num(reinterpret_cast<INT_PTR>(info.hwndActive));
    j.key("focus").num(reinterpret_cast<INT_PTR>(info.hwndFocus));
    j.key("capture").num(reinterpret_cast<INT_PTR>(info.hwndCapture));
    j.key("menuowner").num(reinterpret_cast<INT_PTR>(info.hwndMenuOwner));
    j.key("movesize").num(reinterpret_cast<INT_PTR>(info.hwndMoveSize)).close('}');
    emit(j);
    return 0;
}

int cmdActivate(int argc, wchar_t** argv) {
    HWND hwnd;
    if (argc != 1 || !parseWindow(argv[0], hwnd))
        return usage();
    if (!SetForegroundWindow(hwnd))
        return fail(L"SetForegroundWindow failed");
    Json j;
    j.open('{').key("foreground").num(reinterpret_cast<INT_PTR>(GetForegroundWindow())).close('}');
    emit(j);
    return 0;
}

int cmdVersion() {
    OSVERSIONINFOW vi = {};
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&vi))
        return fail(L"GetVersionEx failed");
#pragma GCC diagnostic pop
    Json j;
    j.open('{');
    j.key("major").num(vi.dwMajorVersion).key("minor").num(vi.dwMinorVersion);
    j.key("build").num(vi.dwBuildNumber).key("platform").num(vi.dwPlatformId);
    j.key("csd").str(vi.szCSDVersion);
    j.close('}');
    emit(j);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return usage();
    std::wstring cmd = argv[1];
    int n = argc - 2;
    wchar_t** rest = argv + 2;
    if (cmd == L"windows")
        return cmdWindows(n, rest);
    if (cmd == L"dialogs")
        return n ? usage() : cmdDialogs();
    if (cmd == L"press")
        return cmdPress(n, rest);
    if (cmd == L"post")
        return cmdPost(n, rest);
    if (cmd == L"close")
        return cmdClose(n, rest);
    if (cmd == L"wait")
        return cmdWait(n, rest);
    if (cmd == L"regget")
        return cmdRegget(n, rest);
    if (cmd == L"reglist")
        return cmdReglist(n, rest);
    if (cmd == L"regset")
        return cmdRegset(n, rest);
    if (cmd == L"regdel")
        return cmdRegdel(n, rest);
    if (cmd == L"regreadonly")
        return cmdRegReadOnly(n, rest);
    if (cmd == L"version")
        return n ? usage() : cmdVersion();
    if (cmd == L"run")
        return cmdRun(n, rest);
    if (cmd == L"target")
        return cmdTarget(n, rest);
    if (cmd == L"move")
        return cmdMove(n, rest);
    if (cmd == L"endsession")
        return cmdEndSession(n, rest);
    if (cmd == L"foreground")
        return n ? usage() : cmdForeground();
    if (cmd == L"menu")
        return cmdMenu(n, rest);
    if (cmd == L"units")
        return cmdUnits(n, rest);
    if (cmd == L"type")
        return cmdType(n, rest);
    if (cmd == L"thread")
        return cmdThread(n, rest);
    if (cmd == L"activate")
        return cmdActivate(n, rest);
    return usage();
}
