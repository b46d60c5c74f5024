// The simulated desktop: an in-memory implementation of every platform service, with scripted
// answers for modal UI and a record of every call made. Unit tests drive the whole core through
// it, and kptool's headless runs use it too.
#pragma once

#include "app/CharacterApp.h"
#include "platform/Services.h"
#include "sim/SimDesktopWindows.h"
#include "sim/SimDialogs.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kp::sim {

// Compares ASCII letters without regard to case, as registry and file names do.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class SimSettingsStore : public ISettingsStore {
public:
    struct Value {
        bool isString = false;
        int number = 0;
        AnsiString text;
    };
    using Section = std::map<AnsiString, Value, CaseInsensitiveLess>;

    int GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) override;
    AnsiString GetString(const AnsiString& section, const AnsiString& name,
                         const AnsiString& defaultValue) override;
    void WriteInt(const AnsiString& section, const AnsiString& name, int value) override;
    void WriteString(const AnsiString& section, const AnsiString& name, const AnsiString& value) override;

    bool HasSection(const AnsiString& section) const { return m_sections.count(section) != 0; }
    // Faults: a store that cannot be read answers every default without creating anything, as
    // a registry key that cannot be opened does; one that cannot be written loses every write.
    bool m_failReads = false;
    bool m_failWrites = false;
    int LostWrites() const { return m_lostWrites; }
    const Value* Find(const AnsiString& section, const AnsiString& name) const;
    // Every write in order, as "section/name=value".
    const std::vector<std::string>& Writes() const { return m_writes; }
    void ClearWrites() { m_writes.clear(); }

private:
    std::map<AnsiString, Section, CaseInsensitiveLess> m_sections;
    std::vector<std::string> m_writes;
    int m_lostWrites = 0;
};

class SimFileSystem : public IFileSystem {
public:
    // Adds or replaces a file; directories are implied by the path ('\\' separates).
    void AddFile(const AnsiString& path, std::vector<BYTE> bytes);
    void Remove(const AnsiString& path);
    // A file that exists but cannot be opened (locked by another process).
    void Lock(const AnsiString& path) { m_locked.push_back(path); }

    bool ReadWholeFile(const AnsiString& path, ByteBlock& out) override;
    // Supports patterns of the form DIR\*.EXT or *.EXT (the current directory, ""), matching
    // in the order the files were added.
    std::vector<AnsiString> FindFiles(const AnsiString& pattern) override;

    int FindCalls() const { return m_findCalls; }

private:
    std::vector<std::pair<AnsiString, std::vector<BYTE>>> m_files;
    std::vector<AnsiString> m_locked;
    int m_findCalls = 0;
};

class SimUi : public IModalUi {
public:
    struct Shown {
        Utf8String text;
        MessageStyle style;
        // False for a box shown after the main window was destroyed: its modal loop meets the
        // quit message that the window's end posted and closes at once, as MessageBox does on
        // Win32, so the user never reads it.
        bool seen = true;
    };
    // Answers given to the next message boxes, in order; when none is queued a box answers
    // Ok (OK-only) or No (Yes/No).
    void QueueAnswer(MessageResult r) { m_answers.push_back(r); }
    MessageResult ShowMessage(const Utf8String& text, MessageStyle style) override;
    // Runs while a message box is open: the program's timers go on firing in its modal loop.
    std::function<void()> m_whileMessageOpen;
    const std::vector<Shown>& Messages() const { return m_shown; }

    // Paths chosen in the next open-file dialogs; an empty string, or none queued, cancels.
    void QueueFileChoice(const AnsiString& path) { m_fileChoices.push_back(path); }
    bool ChooseFileToOpen(const Utf8String& title, Utf8String& path) override;
    // Runs between the user's choice and the dialog's return: what another program does to the
    // chosen file meanwhile (deletes, truncates or locks it).
    std::function<void(const Utf8String& path)> m_onFileChosen;
    // Whether the program's message loop is ending (its main window is gone).
    std::function<bool()> m_quitPending;
    const std::vector<Utf8String>& FileDialogs() const { return m_fileDialogs; }

    // The user's part in the next dialog of a template: it gets the dialog's logic and its
    // controls after the initialisation and plays the user on them. A dialog the script leaves
    // open, or one without a script, is then closed with Esc (IDCANCEL).
    using DialogScript = std::function<void(IDialogLogic&, SimDialogControls&)>;
    void QueueDialog(int templateId, DialogScript script) {
        m_dialogScripts[templateId].push_back(std::move(script));
    }
    // While it runs, the dialog is a visible window at the top of m_desktop (when set) and the
    // foreground window; it is removed when it ends. Edit boxes of the settings dialog notify
    // the logic of every change of their text.
    int RunDialog(int templateId, IDialogLogic& logic) override;
    // Ends the dialog that is running (from inside its script) as the platform does.
    void EndRunningDialog(int result) override;
    struct DialogRun {
        int templateId = 0;
        int result = 0;
        std::shared_ptr<SimDialogControls> controls; // as the dialog left them
    };
    const std::vector<DialogRun>& Dialogs() const { return m_dialogs; }
    // Forgets the boxes, file dialogs and dialogs shown so far (not the queued answers).
    void ClearShown() {
        m_shown.clear();
        m_fileDialogs.clear();
        m_dialogs.clear();
    }

    SimDesktopWindows* m_desktop = nullptr;

private:
    std::deque<MessageResult> m_answers;
    std::vector<Shown> m_shown;
    std::deque<AnsiString> m_fileChoices;
    std::vector<Utf8String> m_fileDialogs;
    std::map<int, std::deque<DialogScript>> m_dialogScripts;
    std::vector<DialogRun> m_dialogs;
    SimDialogControls* m_running = nullptr;
};

class SimSystem : public ISystem {
public:
    DWORD TickCount() override { return m_tick; }
    LocalTime GetLocalTime() override { return m_time; }
    WindowsVersion GetVersion() override { return m_version; }

    DWORD m_tick = 0;
    LocalTime m_time;
    WindowsVersion m_version{true, 2, 5, 1}; // Windows XP unless a test says otherwise
};

class SimWindow : public ICharacterWindow {
public:
    bool Create(const WindowCreateParams& params) override;
    bool Exists() const override { return m_exists; }
    WindowId Id() const override { return m_exists ? m_id : 0; }
    // A software frame (SoftCanvas); none when m_refuseFrame is set.
    std::unique_ptr<ICanvas> CreateFrame(int width, int height) override;
    void Repaint() override;
    void Destroy() override;
    void SetTimer(int id, unsigned milliseconds) override;
    void KillTimer(int id) override;
    void PostClose() override { ++m_closePosted; }
    void Hide() override;
    void SetWindowRegion(const RectRegion& region) override;
    Point CursorInClient() override { return m_cursor; }
    void SetEvents(IWindowEvents* events) override { m_events = events; }
    // Records the menu; the next queued choice (0: none chosen) is posted as a command, which
    // DeliverPostedCommands hands to the window after the caller has returned, as on Win32.
    void TrackPopupMenu(const PopupMenu& menu, Point screenPoint) override;
    // The user drags: the desktop's cursor (and the window) move by the next queued distance
    // (none: no movement); m_duringMoveLoop runs meanwhile, so timers may fire inside the loop.
    void RunMoveLoop(Point clientPoint) override;
    // The density of the monitor that holds the window on m_desktop (before it exists, of the
    // primary one); standing alone, m_dpi. 0 with m_dpiUnknown: a system that cannot tell.
    int Dpi() override;

    // Delivers the posted commands to the window's events in order; returns how many.
    int DeliverPostedCommands();
    void QueueMenuChoice(unsigned command) { m_menuChoices.push_back(command); }
    void QueueDrag(Point distance) { m_drags.push_back(distance); }

    IWindowEvents* m_events = nullptr;
    std::vector<PopupMenu> m_menus; // every menu shown, in order
    std::function<void()> m_whileMenuOpen;
    std::function<void()> m_duringMoveLoop;
    std::deque<unsigned> m_menuChoices;
    std::deque<unsigned> m_postedCommands;
    std::deque<Point> m_drags;

    bool m_refuseCreate = false;
    bool m_refuseFrame = false;
    int m_dpi = 96;
    bool m_dpiUnknown = false;
    // Frames on which no font can be made: selecting one leaves the current font, as GDI does
    // when CreateFont fails.
    bool m_refuseFonts = false;
    int m_repaints = 0;
    // The desktop the window lives on: Create adds it there (hidden, of the character window
    // class), Hide hides it there and Destroy removes it. None: the window stands alone.
    SimDesktopWindows* m_desktop = nullptr;
    WindowId m_id = 0; // its id on m_desktop
    Point m_cursor;    // the cursor in client coordinates
    bool m_exists = false;
    bool m_destroyed = false;
    bool m_visible = false;
    WindowCreateParams m_params;
    std::map<int, unsigned> m_timers; // pending timers and their delays
    int m_closePosted = 0;
    std::optional<RectRegion> m_region; // the window region last set, none before the first
    std::vector<std::string> m_calls;   // every call, in order
};

// Sounds: nothing is heard; every request is recorded.
class SimSound : public ISound {
public:
    // No sound can be played (no audio device): requests are dropped and recorded as failed.
    bool m_fail = false;
    void PlayWave(const BYTE* wave, std::size_t size) override;
    void PlayNamed(const AnsiString& name) override;
    void StopAll() override;
    // "wave N bytes", "named NAME", "stop", in order.
    std::vector<std::string> m_calls;
};

// Programs are never started; every command line is recorded.
class SimProgramStarter : public IProgramStarter {
public:
    void StartProgram(const AnsiString& commandLine) override {
        (m_fail ? m_failed : m_started).push_back(commandLine);
    }
    // No program can be started (missing, not allowed): the command lines go to m_failed.
    bool m_fail = false;
    std::vector<AnsiString> m_started;
    std::vector<AnsiString> m_failed;
};

// All simulated services together.
struct SimDesktop {
    SimDesktop() {
        window.m_desktop = &desktop;
        ui.m_desktop = &desktop;
        // The character window is the main window: its end posts the quit message.
        ui.m_quitPending = [this] { return window.m_destroyed; };
    }
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // Forgets every call recorded so far, so that a run of days keeps only what the program
    // itself holds; the state of the services (files, settings, windows, timers) stays.
    void ClearRecords() {
        settings.ClearWrites();
        ui.ClearShown();
        window.m_calls.clear();
        window.m_menus.clear();
        sound.m_calls.clear();
        programs.m_started.clear();
        desktop.m_calls.clear();
        desktop.m_closePosted.clear();
    }

    // Every service of this desktop, the optional ones included.
    AppServices AllServices() {
        return AppServices{settings, files, ui, system, window, &sound, &programs, &desktop};
    }

    SimSettingsStore settings;
    SimFileSystem files;
    SimUi ui;
    SimSystem system;
    SimWindow window;
    SimSound sound;
    SimProgramStarter programs;
    SimDesktopWindows desktop;
};

} // namespace kp::sim
