// floor.exe: the least a Win32 program must do to show a character like Kelpo32.exe does, the yardstick
// of bench/wine/measure.py. Two roles:
//
//   floor.exe floor --size W H --interval MS [--position P] [--every-tick] [--layered KEY ALPHA FLAGS]
//                   [--title T] [--all-queries]
//       A WS_POPUP tool window of W x H pixels that paints one 8-bit cell with StretchDIBits every MS
//       milliseconds (a timer invalidates the window, WM_PAINT draws), and every 100 ms asks where the
//       foreground window is: GetForegroundWindow, FindWindow("Shell_TrayWnd"), GetWindowRect, and
//       SetWindowPos into the topmost band on its top edge at P percent of its free width (0..100,
//       default 100) when that place changed since the last tick, or on every tick with --every-tick.
//       --layered makes the window layered from its creation with SetLayeredWindowAttributes(KEY,
//       ALPHA, FLAGS), as the character window is from Windows 2000 on. The title is "floor" unless T.
//       --all-queries adds the rest of what the character's placement asks about its target on every
//       tick (minimised, monitor, title, class, visibility of the target and of itself), to see how
//       much of a difference those questions make.
//   floor.exe target --rect X Y W H [--move MS] [--follow REPORT]
//       The window both programs stand on: a plain overlapped window that keeps itself the foreground
//       window (checked every 500 ms) and, with --move, moves 8 pixels right or back every MS ms so that
//       the characters have to follow it. With --follow, after each move it watches the window titled
//       "Kelpo32" (standing at 0 %: its left edge on the target's) and the one titled "floor" (at
//       100 %: its right edge on the target's) until each stands at its new place, at most 1 s, and
//       when it ends writes to REPORT one line per window: its title, then the milliseconds each
//       move took to be followed (-1: not within the second).
//
// Both run until they get WM_CLOSE. Numbers are decimal or 0x-hexadecimal. Exit status 0, or 2 for a
// usage error (a window program: the usage text goes to a stderr that is only seen when redirected).

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT_PTR kPlacementTimer = 2;
constexpr UINT_PTR kForegroundTimer = 3;
constexpr UINT_PTR kMoveTimer = 4;
constexpr UINT kPlacementInterval = 100;
constexpr UINT kForegroundInterval = 500;
constexpr int kMoveStep = 8;

struct FloorOptions {
    int width = 0;
    int height = 0;
    UINT interval = 0;
    int position = 100;
    bool everyTick = false;
    bool layered = false;
    COLORREF key = 0;
    BYTE alpha = 255;
    DWORD layeredFlags = 0;
    const wchar_t* title = L"floor";
    bool allQueries = false;
};

struct TargetOptions {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    UINT move = 0;
    const wchar_t* follow = nullptr;
};

// --- the floor character ---------------------------------------------------------------------------

struct Floor {
    FloorOptions options;
    // BITMAPINFOHEADER with a full 256-entry colour table behind it.
    std::vector<BYTE> info;
    std::vector<BYTE> bits;
    int lastX = -1;
    int lastY = -1;
    bool shown = false;
};

Floor g_floor;

void MakeCell(Floor& floor) {
    const int w = floor.options.width;
    const int h = floor.options.height;
    floor.info.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(floor.info.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = w;
    header->biHeight = h;
    header->biPlanes = 1;
    header->biBitCount = 8;
    header->biCompression = BI_RGB;
    header->biClrUsed = 256;
    auto* colors = reinterpret_cast<RGBQUAD*>(floor.info.data() + sizeof(BITMAPINFOHEADER));
    for (int i = 0; i < 256; ++i) {
        colors[i].rgbBlue = static_cast<BYTE>(i);
        colors[i].rgbGreen = static_cast<BYTE>(255 - i);
        colors[i].rgbRed = static_cast<BYTE>(i * 7);
    }
    const int stride = (w + 3) & ~3;
    header->biSizeImage = static_cast<DWORD>(stride * h);
    floor.bits.assign(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            floor.bits[static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x)] =
                static_cast<BYTE>((x / 8 + y / 8) % 2 ? 1 + (x + y) % 200 : 0);
}

// One placement tick: the same questions the character asks of the desktop every 100 ms.
void Place(HWND hwnd, Floor& floor) {
    HWND target = GetForegroundWindow();
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    (void)taskbar; // the character's taskbar modes ask this; the floor asks it on every tick
    RECT rc;
    if (!target || target == hwnd || !GetWindowRect(target, &rc))
        return;
    if (floor.options.allQueries) {
        bool usable = !IsIconic(target);
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(MonitorFromWindow(target, MONITOR_DEFAULTTONEAREST), &info))
            usable = usable && rc.top > info.rcMonitor.top;
        wchar_t text[257];
        if (GetWindowTextLengthW(target) > 0)
            GetWindowTextW(target, text, 257);
        GetClassNameW(target, text, 257);
        usable = usable && IsWindowVisible(target);
        if (!usable)
            return;
        floor.shown = floor.shown && IsWindowVisible(hwnd);
    }
    const long long freeWidth = rc.right - rc.left - floor.options.width;
    const int x = static_cast<int>(rc.left + floor.options.position * (freeWidth > 0 ? freeWidth : 0) / 100);
    const int y = rc.top - floor.options.height;
    UINT flags = SWP_NOSIZE | SWP_NOACTIVATE;
    if (!floor.shown)
        flags |= SWP_SHOWWINDOW;
    if (floor.options.everyTick || !floor.shown || x != floor.lastX || y != floor.lastY)
        SetWindowPos(hwnd, HWND_TOPMOST, x, y, 0, 0, flags);
    floor.shown = true;
    floor.lastX = x;
    floor.lastY = y;
}

LRESULT CALLBACK FloorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        if (wParam == kFrameTimer)
            InvalidateRect(hwnd, nullptr, FALSE);
        else if (wParam == kPlacementTimer)
            Place(hwnd, g_floor);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        const auto* bmi = reinterpret_cast<const BITMAPINFO*>(g_floor.info.data());
        StretchDIBits(dc, 0, 0, g_floor.options.width, g_floor.options.height, 0, 0, g_floor.options.width,
                      g_floor.options.height, g_floor.bits.data(), bmi, DIB_RGB_COLORS, SRCCOPY);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

int RunFloor(HINSTANCE instance, const FloorOptions& options) {
    g_floor.options = options;
    MakeCell(g_floor);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"KelpoFloorWindow";
    RegisterClassW(&wc);
    const DWORD exStyle = WS_EX_TOOLWINDOW | (options.layered ? WS_EX_LAYERED : 0);
    HWND hwnd = CreateWindowExW(exStyle, wc.lpszClassName, options.title, WS_POPUP, 0, 0, options.width,
                                options.height, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 2;
    if (options.layered && options.layeredFlags)
        SetLayeredWindowAttributes(hwnd, options.key, options.alpha, options.layeredFlags);
    SetTimer(hwnd, kFrameTimer, options.interval, nullptr);
    SetTimer(hwnd, kPlacementTimer, kPlacementInterval, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// --- the target window -----------------------------------------------------------------------------

TargetOptions g_target;
bool g_movedRight = false;

// How long each follower took to reach its place after each move, in milliseconds.
struct Follower {
    const wchar_t* title;
    bool rightEdge; // stands at 100 %: its right edge on the target's
    std::vector<double> delays;
};
Follower g_followers[] = {{L"Kelpo32", false, {}}, {L"floor", true, {}}};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// After a move of the target to `left`..`right`: polls both followers every millisecond (messages
// still handled) until each stands at its new place, or a second has passed.
void WatchFollowers(int left, int right) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    // Moves before both stand on the target are not counted.
    for (const Follower& f : g_followers) {
        HWND w = FindWindowW(nullptr, f.title);
        if (!w || !IsWindowVisible(w))
            return;
    }
    bool done[2] = {false, false};
    for (;;) {
        QueryPerformanceCounter(&now);
        const double elapsed = Milliseconds(start, now, frequency);
        bool all = true;
        for (int i = 0; i < 2; ++i) {
            if (done[i])
                continue;
            Follower& f = g_followers[i];
            HWND w = FindWindowW(nullptr, f.title);
            RECT rc;
            if (w && GetWindowRect(w, &rc) && (f.rightEdge ? rc.right == right : rc.left == left)) {
                f.delays.push_back(elapsed);
                done[i] = true;
            } else if (elapsed >= 1000.0) {
                f.delays.push_back(-1);
                done[i] = true;
            } else {
                all = false;
            }
        }
        if (all)
            return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(1);
    }
}

void WriteFollowReport(const wchar_t* path) {
    FILE* out = _wfopen(path, L"w");
    if (!out)
        return;
    for (const Follower& f : g_followers) {
        std::fprintf(out, "%ls", f.title);
        for (double d : f.delays)
            std::fprintf(out, " %.1f", d);
        std::fprintf(out, "\n");
    }
    std::fclose(out);
}

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        if (wParam == kForegroundTimer && GetForegroundWindow() != hwnd) {
            SetForegroundWindow(hwnd);
        } else if (wParam == kMoveTimer) {
            g_movedRight = !g_movedRight;
            const int x = g_target.x + (g_movedRight ? kMoveStep : 0);
            SetWindowPos(hwnd, nullptr, x, g_target.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            if (g_target.follow)
                WatchFollowers(x, x + g_target.width);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

int RunTarget(HINSTANCE instance, const TargetOptions& options) {
    g_target = options;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KelpoMeasureTarget";
    RegisterClassW(&wc);
    HWND hwnd =
        CreateWindowExW(0, wc.lpszClassName, L"measure target", WS_OVERLAPPEDWINDOW, options.x, options.y,
                        options.width, options.height, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 2;
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetTimer(hwnd, kForegroundTimer, kForegroundInterval, nullptr);
    if (options.move)
        SetTimer(hwnd, kMoveTimer, options.move, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (options.follow)
        WriteFollowReport(options.follow);
    return 0;
}

// --- command line ----------------------------------------------------------------------------------

bool Number(const wchar_t* text, long long& value) {
    wchar_t* end = nullptr;
    value = std::wcstoll(text, &end, 0);
    return end != text && *end == L'\0';
}

// Reads `count` numbers after argv[i] into out; advances i past them.
bool Numbers(int argc, wchar_t** argv, int& i, int count, long long* out) {
    if (i + count >= argc)
        return false;
    for (int k = 0; k < count; ++k)
        if (!Number(argv[i + 1 + k], out[k]))
            return false;
    i += count;
    return true;
}

int Usage() {
    std::fputs("usage: floor.exe floor --size W H --interval MS [--position P] [--every-tick]"
               " [--layered KEY ALPHA FLAGS] [--title T] [--all-queries]\n"
               "       floor.exe target --rect X Y W H [--move MS] [--follow REPORT]\n",
               stderr);
    return 2;
}

} // namespace

// A window program like the character, not a console one: no console host comes along under Wine.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const int argc = __argc;
    wchar_t** argv = __wargv;
    if (argc < 2 || !argv)
        return Usage();
    long long n[4];
    if (!std::wcscmp(argv[1], L"floor")) {
        FloorOptions options;
        for (int i = 2; i < argc; ++i) {
            if (!std::wcscmp(argv[i], L"--size") && Numbers(argc, argv, i, 2, n)) {
                options.width = static_cast<int>(n[0]);
                options.height = static_cast<int>(n[1]);
            } else if (!std::wcscmp(argv[i], L"--interval") && Numbers(argc, argv, i, 1, n)) {
                options.interval = static_cast<UINT>(n[0]);
            } else if (!std::wcscmp(argv[i], L"--position") && Numbers(argc, argv, i, 1, n)) {
                options.position = static_cast<int>(n[0] < 0 ? 0 : (n[0] > 100 ? 100 : n[0]));
            } else if (!std::wcscmp(argv[i], L"--every-tick")) {
                options.everyTick = true;
            } else if (!std::wcscmp(argv[i], L"--layered") && Numbers(argc, argv, i, 3, n)) {
                options.layered = true;
                options.key = static_cast<COLORREF>(n[0]);
                options.alpha = static_cast<BYTE>(n[1]);
                options.layeredFlags = static_cast<DWORD>(n[2]);
            } else if (!std::wcscmp(argv[i], L"--all-queries")) {
                options.allQueries = true;
            } else if (!std::wcscmp(argv[i], L"--title") && i + 1 < argc) {
                options.title = argv[++i];
            } else {
                return Usage();
            }
        }
        if (options.width <= 0 || options.height <= 0 || options.interval == 0)
            return Usage();
        return RunFloor(instance, options);
    }
    if (!std::wcscmp(argv[1], L"target")) {
        TargetOptions options;
        for (int i = 2; i < argc; ++i) {
            if (!std::wcscmp(argv[i], L"--rect") && Numbers(argc, argv, i, 4, n)) {
                options.x = static_cast<int>(n[0]);
                options.y = static_cast<int>(n[1]);
                options.width = static_cast<int>(n[2]);
                options.height = static_cast<int>(n[3]);
            } else if (!std::wcscmp(argv[i], L"--move") && Numbers(argc, argv, i, 1, n)) {
                options.move = static_cast<UINT>(n[0]);
            } else if (!std::wcscmp(argv[i], L"--follow") && i + 1 < argc) {
                options.follow = argv[++i];
            } else {
                return Usage();
            }
        }
        if (options.width <= 0 || options.height <= 0)
            return Usage();
        return RunTarget(instance, options);
    }
    return Usage();
}
