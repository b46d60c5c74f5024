#include "app/CharacterApp.h"

#include "app/MainFrame.h"
#include "platform/Utf8.h"

#include <cstdlib>

namespace kp {

using namespace settings;

CCharacterApp::CCharacterApp(AppServices services) : m_services(services) {}

CCharacterApp::~CCharacterApp() = default;

int CCharacterApp::GetProfileInt(const AnsiString& section, const AnsiString& name, int defaultValue) {
    return m_services.settings.GetInt(section, name, defaultValue);
}

AnsiString CCharacterApp::GetProfileString(const AnsiString& section, const AnsiString& name) {
    return m_services.settings.GetString(section, name, AnsiString());
}

void CCharacterApp::WriteProfileInt(const AnsiString& section, const AnsiString& name, int value) {
    m_services.settings.WriteInt(section, name, value);
}

void CCharacterApp::WriteProfileString(const AnsiString& section, const AnsiString& name,
                                       const AnsiString& value) {
    m_services.settings.WriteString(section, name, value);
}

BOOL CCharacterApp::InitInstance(const Utf8String& cmdLine) {
    m_lpCmdLine = cmdLine;
    m_random.Seed(m_services.system.TickCount());

    Utf8String fileName;
    m_bIgnoreDataName = FALSE;
    if (ReadCommandLine(fileName))
        m_strDataName = fileName;
    else
        m_strDataName = m_services.settings.GetUtf8String(kAppSection, kDataName);
    if (m_bIgnoreDataName)
        m_strDataName.clear();

    CheckWindowsVersion();

    m_strCharName = GetProfileString(kAppSection, kCharName);
    m_bAutoAnimation = GetProfileInt(kAppSection, kAutoAnimation, 1);
    m_bTopMost = GetProfileInt(kAppSection, kTopMost, 0);
    m_nTransMode = GetProfileInt(kAppSection, kTransMode, 0);
    m_nTransparency = GetProfileInt(kAppSection, kTransparency, 100);
    m_bFullScreenHide = GetProfileInt(kAppSection, kFullScreenHide, 1);

    if (!m_strDataName.empty()) {
        m_nSavedPosition =
            m_nPositionArg != -1 ? m_nPositionArg : GetProfileInt(m_strCharName, kPosition, 90);
        m_nSavedPattern = m_nPatternArg != -1 ? m_nPatternArg : GetProfileInt(m_strCharName, kPattern, 0);
        m_nFixed = m_nFixedArg != -1 ? m_nFixedArg : GetProfileInt(m_strCharName, kFixed, 0);
        m_bHaveDataFile = TRUE;
    }

    m_pMainWnd = std::make_unique<CMainFrame>(*this);
    if (!m_pMainWnd->CreateCharacterWindow()) {
        m_pMainWnd.reset();
        return FALSE;
    }
    return TRUE;
}

int CCharacterApp::ExitInstance() {
    SaveSettings();
    return 0;
}

void CCharacterApp::SaveSettings() {
    WriteProfileInt(kAppSection, kTransMode, m_nTransMode);
    WriteProfileInt(kAppSection, kTransparency, m_nTransparency);
    m_services.settings.WriteUtf8String(kAppSection, kDataName, m_strDataName);
    WriteProfileString(kAppSection, kCharName, m_strCharName);
    WriteProfileInt(kAppSection, kAutoAnimation, m_bAutoAnimation);
    WriteProfileInt(kAppSection, kTopMost, m_bTopMost);
    // Without a data file the per-character values were never read: writing the zeros they
    // hold would wipe the stored values of the character named by "CharName".
    if (!m_bHaveDataFile)
        return;
    WriteProfileInt(m_strCharName, kPosition, m_nSavedPosition);
    WriteProfileInt(m_strCharName, kPattern, m_nSavedPattern);
    WriteProfileInt(m_strCharName, kFixed, m_nFixed);
}

int CCharacterApp::CopyArgument(const char* src, Utf8String& dst) {
    dst.clear();
    bool quoted = false;
    int i = 0;
    for (; src[i] != '\0'; ++i) {
        const char c = src[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ' ' && !quoted)
            break;
        dst.push_back(c);
    }
    // An over-long token is cut, never inside a character; the whole token is still consumed
    // so that its tail is not read as another token. The blank, the quote and the option
    // characters are ASCII, which never occurs inside a UTF-8 sequence, so the byte walk above
    // cannot mistake part of a character for one of them.
    dst.resize(Utf8CutLength(dst, kMaxPathChars));
    return i;
}

BOOL CCharacterApp::ReadCommandLine(Utf8String& fileName) {
    bool random = GetProfileInt(kAppSection, kRandomMode, 0) != 0;
    m_nFixedArg = -1;
    m_nPatternArg = -1;
    m_nPositionArg = -1;
    bool fileGiven = false;

    const char* text = m_lpCmdLine.c_str();
    std::size_t i = 0;
    Utf8String value;
    while (text[i] != '\0') {
        const char c = text[i];
        if (c == ' ') {
            ++i;
            continue;
        }
        if (c == '-' || c == '/') {
            const char letter = text[i + 1];
            if (letter == '\0')
                break; // a trailing option character ends the scan
            i += 2;
            switch (letter) {
            case 'i':
            case 'I':
                m_bIgnoreDataName = TRUE;
                break;
            case 'n':
            case 'N':
                i += CopyArgument(text + i, value);
                m_nPatternArg = std::atoi(value.c_str());
                break;
            case 'p':
            case 'P': {
                i += CopyArgument(text + i, value);
                const int p = std::atoi(value.c_str());
                m_nPositionArg = p < 0 ? 0 : (p > 100 ? 100 : p);
                break;
            }
            case 'r':
            case 'R':
                random = true;
                break;
            case 'x':
            case 'X':
                i += CopyArgument(text + i, value);
                m_nFixedArg = std::atoi(value.c_str());
                break;
            default:
                break;
            }
            continue;
        }
        i += CopyArgument(text + i, fileName);
        fileGiven = true;
    }
    if (random)
        return PickRandomDataFile(fileName);
    return fileGiven ? TRUE : FALSE;
}

namespace {

bool EndsWithKp(const Utf8String& path) {
    if (path.size() < 3)
        return false;
    const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    const std::size_t n = path.size();
    return path[n - 3] == '.' && up(path[n - 2]) == 'K' && up(path[n - 1]) == 'P';
}

} // namespace

BOOL CCharacterApp::PickRandomDataFile(Utf8String& fileName) {
    Utf8String dir = fileName;
    if (!dir.empty()) {
        if (EndsWithKp(dir))
            return TRUE;
        // In UTF-8 the byte 0x5C is always the separator itself, never part of a character.
        if (dir.back() != '\\')
            dir += '\\';
    }
    const Utf8String pattern = dir + "*.kp";
    const std::size_t count = m_services.files.FindFiles(pattern).size();
    if (count == 0)
        return FALSE;
    const std::size_t r = static_cast<std::size_t>(Rand()) % count;
    const std::vector<Utf8String> again = m_services.files.FindFiles(pattern);
    if (again.empty())
        return FALSE;
    // The directory may have changed between the two enumerations: take the last match when
    // fewer are found the second time.
    fileName = dir + again[r < again.size() ? r : again.size() - 1];
    return TRUE;
}

void CCharacterApp::CheckWindowsVersion() {
    m_bWin2000 = FALSE;
    const WindowsVersion v = m_services.system.GetVersion();
    if (v.known && v.platformId == 2 && v.majorVersion >= 5)
        m_bWin2000 = TRUE;
}

} // namespace kp
