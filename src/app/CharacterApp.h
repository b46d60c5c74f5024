// The application object: start-up, the command line, the choice of the data file and every
// setting kept between runs.
#pragma once

#include "app/Commands.h"
#include "platform/Desktop.h"
#include "platform/Random.h"
#include "platform/Services.h"

#include <memory>

namespace kp {

class CMainFrame;

// Everything the application asks of its platform.
struct AppServices {
    ISettingsStore& settings;
    IFileSystem& files;
    IModalUi& ui;
    ISystem& system;
    ICharacterWindow& window;
    // Sounds and program starts of the scripts; null ones are not used (the scripts' requests
    // are then dropped).
    ISound* sound = nullptr;
    IProgramStarter* programs = nullptr;
    // The desktop's windows, for placing the character on its target and for translucency;
    // without it the window is never placed (it stays hidden).
    IDesktop* desktop = nullptr;
};

// Settings sections and value names.
namespace settings {
// The application's own section bears the program's name.
constexpr const char* kAppSection = KP_APP_TITLE;
constexpr const char* kDataName = "DataName";
constexpr const char* kCharName = "CharName";
constexpr const char* kAutoAnimation = "AutoAnimation";
constexpr const char* kTopMost = "TopMost";
constexpr const char* kTransMode = "TransMode";
constexpr const char* kTransparency = "Transparency";
constexpr const char* kRandomMode = "RandomMode";
// Read at start-up only; the user sets it (no dialog offers it), the program never writes it.
constexpr const char* kFullScreenHide = "FullScreenHide";
constexpr const char* kPosition = "Position";
constexpr const char* kPattern = "Pattern";
constexpr const char* kFixed = "Fixed";
} // namespace settings

// Longest token (file name or option value) the command line may give, in UTF-16 code units
// (the wide file functions' path limit less its terminator); longer ones are cut to this
// length at a character boundary.
constexpr std::size_t kMaxPathChars = 259;

class CCharacterApp {
public:
    explicit CCharacterApp(AppServices services);
    ~CCharacterApp();
    CCharacterApp(const CCharacterApp&) = delete;
    CCharacterApp& operator=(const CCharacterApp&) = delete;

    // Start-up; FALSE ends the program. `cmdLine` is the command line after the program name,
    // in UTF-8.
    BOOL InitInstance(const Utf8String& cmdLine);
    // Saves the settings; the result is the process exit code.
    int ExitInstance();
    void SaveSettings();
    BOOL ReadCommandLine(Utf8String& fileName);
    // Copies one token from `src` into `dst` (quotes removed, cut at kMaxPathChars) and returns
    // the number of source bytes consumed.
    static int CopyArgument(const char* src, Utf8String& dst);
    BOOL PickRandomDataFile(Utf8String& fileName);
    void CheckWindowsVersion();

    // The profile functions through which every part of the program reaches the store.
    int GetProfileInt(const AnsiString& section, const AnsiString& name, int defaultValue);
    AnsiString GetProfileString(const AnsiString& section, const AnsiString& name);
    void WriteProfileInt(const AnsiString& section, const AnsiString& name, int value);
    void WriteProfileString(const AnsiString& section, const AnsiString& name, const AnsiString& value);

    // The one random generator, seeded at start-up.
    int Rand() { return m_random.Next(); }
    MsRand& Random() { return m_random; }

    AppServices& Services() { return m_services; }
    CMainFrame* MainFrame() { return m_pMainWnd.get(); }

    // Settings in memory. The data file's path is UTF-8; the character's name is code page 932
    // text from its file.
    Utf8String m_strDataName;
    AnsiString m_strCharName;
    BOOL m_bWin2000 = FALSE;
    int m_nTransMode = 0;
    int m_nTransparency = 0;
    int m_bTopMost = 0;
    // Hide the character while a fullscreen program or a presentation holds the screen.
    int m_bFullScreenHide = 1;
    int m_bAutoAnimation = 0;
    int m_nFixed = 0;
    int m_nSavedPosition = 0;
    int m_nSavedPattern = 0;
    BOOL m_bHaveDataFile = FALSE;
    BOOL m_bIgnoreDataName = FALSE;
    int m_nPositionArg = -1;
    int m_nPatternArg = -1;
    int m_nFixedArg = -1;
    Utf8String m_lpCmdLine;

private:
    AppServices m_services;
    MsRand m_random;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

} // namespace kp
