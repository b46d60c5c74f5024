// The services the portable core asks of its platform, one interface per kind of service.
// They are phrased in the program's own terms, not as a copy of the Win32 API. The Win32
// build implements them for real (src/win32), the simulated desktop for tests and for
// headless runs (src/sim).
#pragma once

#include "platform/Canvas.h"
#include "platform/Dialogs.h"
#include "platform/Menu.h"
#include "platform/Region.h"
#include "platform/Types.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kp {

// Per-user settings: sections of integer and string values. A missing value yields the
// caller's default; reading a section creates it. Section and value names are ANSI bytes;
// an empty section name addresses the application's own key. Failures are never reported:
// a write that cannot be done is simply lost.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual int GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) = 0;
    virtual AnsiString GetString(const AnsiString& section, const AnsiString& name,
                                 const AnsiString& defaultValue) = 0;
    virtual void WriteInt(const AnsiString& section, const AnsiString& name, int value) = 0;
    virtual void WriteString(const AnsiString& section, const AnsiString& name, const AnsiString& value) = 0;
    // A string value that is not character text (a path), as UTF-8. A store that keeps bytes
    // as they are keeps these too; the registry keeps both kinds as REG_SZ and converts each
    // with its own code page.
    virtual Utf8String GetUtf8String(const AnsiString& section, const AnsiString& name) {
        return GetString(section, name, Utf8String());
    }
    virtual void WriteUtf8String(const AnsiString& section, const AnsiString& name, const Utf8String& value) {
        WriteString(section, name, value);
    }
};

// One owned block of bytes, left uninitialised on allocation so that reading a large file
// costs no more than the read itself.
struct ByteBlock {
    std::unique_ptr<BYTE[]> data;
    std::size_t size = 0;
    void Allocate(std::size_t n) {
        data.reset(n ? new BYTE[n] : nullptr);
        size = n;
    }
    void Reset() {
        data.reset();
        size = 0;
    }
};

// Files. Paths are UTF-8 in the platform's own syntax.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // Opens an existing file for reading without sharing, reads it whole into `out` and closes
    // it. Any failure along the way (missing, locked, unreadable, too large) gives false.
    virtual bool ReadWholeFile(const Utf8String& path, ByteBlock& out) = 0;
    // The bare file names (no directory part) matching a wildcard pattern such as
    // "C:\\chars\\*.kp", in the platform's enumeration order. No match gives an empty list.
    virtual std::vector<Utf8String> FindFiles(const Utf8String& pattern) = 0;
};

enum class MessageStyle {
    OkExclamation,    // an OK button and the exclamation icon
    YesNoExclamation, // Yes and No buttons and the exclamation icon
};

enum class MessageResult { Ok, Yes, No, Cancel };

// Modal user interface. Every modal call keeps the program's timers running.
class IModalUi {
public:
    virtual ~IModalUi() = default;
    // A message box with the program title as caption. `text` is UTF-8.
    virtual MessageResult ShowMessage(const Utf8String& text, MessageStyle style) = 0;
    // The open-file dialog for character files ("*.kp"), titled `title` (UTF-8). True with the
    // chosen path (UTF-8) when the user confirms with OK; the file must exist.
    virtual bool ChooseFileToOpen(const Utf8String& title, Utf8String& path) = 0;
    // Runs the dialog of template `templateId` (IDD_ABOUTBOX, IDD_SETTINGS) modally, without a
    // parent window, forwarding its events to `logic`; returns the result it ended with (kIdOk,
    // kIdCancel), or -1 when the dialog could not be made.
    virtual int RunDialog(int templateId, IDialogLogic& logic) = 0;
    // Ends the dialog RunDialog is running, if any, with `result` as soon as its current event
    // has been handled, as if the user had closed it; nothing when none is open.
    virtual void EndRunningDialog(int /*result*/) {}
};

struct WindowsVersion {
    bool known = false;   // false when the platform could not tell
    DWORD platformId = 0; // 2 = the NT family
    DWORD majorVersion = 0;
    DWORD minorVersion = 0;
};

// The clock and facts about the system.
class ISystem {
public:
    virtual ~ISystem() = default;
    virtual DWORD TickCount() = 0;
    virtual LocalTime GetLocalTime() = 0;
    virtual WindowsVersion GetVersion() = 0;
};

struct WindowCreateParams {
    AnsiString title;
    int width = 0;
    int height = 0;
    bool layered = false; // add the layered style (colour-key shaping and translucency)
};

// The window's device context while it is painted: the frame is copied in whole, then the
// colour-key area is filled over it.
class IWindowDc {
public:
    virtual ~IWindowDc() = default;
    // Copies the whole frame (made by ICharacterWindow::CreateFrame) to the window at (0, 0),
    // with the frame's palette selected as a background palette, every pixel as a scale x scale
    // block (nearest neighbour; 1: pixel for pixel).
    virtual void CopyFrame(ICanvas& frame, int scale) = 0;
    virtual void FillRegion(const RectRegion& region, Color color) = 0;
};

// What happens to the character window, as the core handles it (CMainFrame). The platform's
// window procedure turns each message into one of these calls and knows nothing else of the core.
class IWindowEvents {
public:
    virtual ~IWindowEvents() = default;
    virtual void OnClose() = 0;           // WM_CLOSE
    virtual BOOL OnQueryEndSession() = 0; // WM_QUERYENDSESSION
    // WM_ENDSESSION: the session ends (bEnding TRUE) or goes on after all. Once this returns,
    // the system may end the process without another message.
    virtual void OnEndSession(BOOL /*bEnding*/) {}
    virtual void OnPaint(IWindowDc& dc) = 0;     // WM_PAINT
    virtual BOOL OnEraseBkgnd() = 0;             // WM_ERASEBKGND
    virtual void OnTimer(unsigned nIDEvent) = 0; // WM_TIMER
    virtual void OnTrack() = 0;                  // the private WM_TRACK
    // Mouse messages, the point in client coordinates; the platform's default processing follows.
    virtual void OnLButtonDown(unsigned nFlags, Point point) = 0;
    virtual void OnLButtonUp(unsigned nFlags, Point point) = 0;
    virtual void OnMouseMove(unsigned nFlags, Point point) = 0;
    virtual void OnRButtonDown(unsigned nFlags, Point point) = 0;
    // WM_COMMAND from the context menu; FALSE for a command the window does not handle.
    virtual BOOL OnCommand(unsigned nID) = 0;
    // The pixel density of the window's monitor changed (WM_DPICHANGED: the window was moved to
    // a monitor of another density, or the user changed it), in dots per inch.
    virtual void OnDpiChanged(int dpi) = 0;
};

// The one character window: a hidden borderless popup tool window, its timers and its
// lifetime. Messages for it come back into the core through IWindowEvents.
class ICharacterWindow {
public:
    virtual ~ICharacterWindow() = default;
    // Where the window's messages go from now on (null: nowhere, the platform's defaults).
    virtual void SetEvents(IWindowEvents* events) = 0;
    // Creates the platform window, hidden. False when the platform refuses it.
    virtual bool Create(const WindowCreateParams& params) = 0;
    virtual bool Exists() const = 0;
    // The window as the desktop knows it (0 before it exists).
    virtual WindowId Id() const = 0;
    // The off-screen frame: width x height pixels compatible with the window's display, kept
    // between steps. Null when the platform cannot make one.
    virtual std::unique_ptr<ICanvas> CreateFrame(int width, int height) = 0;
    // Marks the whole window for painting without erasing and has it painted before returning
    // (nothing while it is hidden).
    virtual void Repaint() = 0;
    // Destroys the platform window; as the main window its end ends the message loop.
    virtual void Destroy() = 0;
    // (Re)starts a one-shot-by-convention window timer; a pending timer of that id is replaced.
    // Without a window (before Create, after Destroy) nothing is set.
    virtual void SetTimer(int id, unsigned milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    // Queues a close request for this window (it arrives as OnClose later).
    virtual void PostClose() = 0;
    virtual void Hide() = 0;
    // Region shaping: makes the window show only the given pixels (window coordinates) and
    // redraws it. The platform keeps its own copy; an empty region leaves nothing visible.
    virtual void SetWindowRegion(const RectRegion& region) = 0;
    // The mouse cursor in this window's client coordinates (left of or above the window is
    // negative), whether the window is shown or not.
    virtual Point CursorInClient() = 0;
    // Shows the popup menu at a screen point, left-aligned, either mouse button choosing
    // (TPM_RIGHTBUTTON), this window its owner; returns when it closes. The chosen command
    // arrives later as OnCommand, after the caller has returned.
    virtual void TrackPopupMenu(const PopupMenu& menu, Point screenPoint) = 0;
    // The system's modal move loop (WM_SYSCOMMAND SC_MOVE | HTCAPTION) started at a client point;
    // returns when the user releases the button. Timers keep firing meanwhile.
    virtual void RunMoveLoop(Point clientPoint) = 0;
    // The pixel density (dots per inch) of the monitor the window stands on; before the window
    // exists, of the monitor it will be created on. 0 when the platform cannot tell.
    virtual int Dpi() = 0;
};

// Sounds, played in the background: a sound that cannot be played is silently dropped (no
// default sound), and while one is playing a new one is dropped rather than cutting it off.
class ISound {
public:
    virtual ~ISound() = default;
    // A RIFF WAVE file image in memory. The platform may read it until the sound has ended or
    // StopAll was called, so its owner calls StopAll before releasing the bytes.
    virtual void PlayWave(const BYTE* wave, std::size_t size) = 0;
    // A WAVE file name or a system sound name (ANSI bytes).
    virtual void PlayNamed(const AnsiString& name) = 0;
    // Stops whatever is playing.
    virtual void StopAll() = 0;
};

// Starting other programs: a command line, shown normally; the result is not used.
class IProgramStarter {
public:
    virtual ~IProgramStarter() = default;
    virtual void StartProgram(const AnsiString& commandLine) = 0;
};

} // namespace kp
