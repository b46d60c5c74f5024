// What the program must hold for any command line, any text in a number box of the settings
// dialog and any file image it builds the context menu from. Each check returns what went wrong
// ("" when nothing did); the fuzz targets abort on it and the crashers test replays the files it
// once failed on. A read outside an input is a sanitizer report (or a fault on a guard page).
#pragma once

#include "app/CharacterApp.h"
#include "app/Commands.h"
#include "app/ContextMenu.h"
#include "app/SettingsDlg.h"
#include "chardata/DataFile.h"
#include "platform/Utf8.h"
#include "sim/SimDesktop.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace kp::fuzz {

// The command line: the first byte says whether the stored settings ask for a random data file,
// the rest (up to a zero byte, as the platform hands it over) is the line after the program's
// name. The desktop holds a few characters, so random picks find something.
inline std::string CheckCommandLine(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return "";
    sim::SimDesktop desk;
    for (const char* path : {"C:\\chars\\one.kp", "C:\\chars\\two.KP", "C:\\chars\\sub\\deep.kp", "near.kp"})
        desk.files.AddFile(path, {'K', 'P'});
    desk.settings.WriteInt(settings::kAppSection, settings::kRandomMode, data[0] & 1);
    CCharacterApp app{desk.AllServices()};
    const std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    app.m_lpCmdLine = line.substr(0, line.find('\0'));
    Utf8String file;
    const std::string& text = app.m_lpCmdLine;
    const BOOL given = app.ReadCommandLine(file);
    if (app.m_nPositionArg != -1 && (app.m_nPositionArg < 0 || app.m_nPositionArg > 100))
        return "position argument outside 0..100";
    if (Utf8CutLength(file, kMaxPathChars) != file.size())
        return "file name longer than the path limit";
    if (!given && !file.empty() && !(data[0] & 1) && text.find_first_of("rR") == std::string::npos)
        return "a file name without a file given";

    // One token from every place of the line, each from a copy that ends at its terminator.
    for (std::size_t at = 0; at <= text.size(); at += 1 + text.size() / 8) {
        const std::size_t n = text.size() - at;
        std::unique_ptr<char[]> copy(new char[n + 1]);
        std::memcpy(copy.get(), text.data() + at, n);
        copy[n] = '\0';
        Utf8String token;
        const int used = CCharacterApp::CopyArgument(copy.get(), token);
        if (used < 0 || static_cast<std::size_t>(used) > n || token.size() > static_cast<std::size_t>(used))
            return "CopyArgument consumed more than its text";
        if (token.find('"') != std::string::npos || Utf8CutLength(token, kMaxPathChars) != token.size())
            return "CopyArgument kept a quote or too much";
        if (static_cast<std::size_t>(used) < n && copy[used] != ' ')
            return "CopyArgument stopped inside a token";
    }
    return "";
}

// A number box's text: ParseDialogInteger accepts exactly blanks, an optional sign, decimal
// digits and blanks, of a value that an int holds, and reads that value.
inline std::string CheckDialogInteger(const std::uint8_t* data, std::size_t size) {
    const AnsiString text(reinterpret_cast<const char*>(data), size);
    int value = 12345;
    const bool ok = ParseDialogInteger(text, value);

    // The expectation, by comparing digit strings rather than by arithmetic.
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    bool negative = false;
    if (b < e && (text[b] == '+' || text[b] == '-'))
        negative = text[b++] == '-';
    const std::string digits = text.substr(b, e - b);
    const bool shaped = !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
    std::string canonical = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    const std::string limit = negative ? "2147483648" : "2147483647";
    const bool fits =
        canonical.size() < limit.size() || (canonical.size() == limit.size() && canonical <= limit);
    if (ok != (shaped && fits))
        return ok ? "accepted a text that is no int" : "refused an int";
    if (!ok)
        return value == 12345 ? "" : "changed the value of a refused text";
    if (canonical.empty())
        canonical = "0";
    if (std::to_string(value) != ((negative && canonical != "0") ? "-" : "") + canonical)
        return "read a different value";
    return "";
}

// The context menu of any image (whatever its verdict), for the pattern settings around the
// count: the fixed items, then in the submenu the random item, a separator without columns, and
// every listed pattern in order with its command, the check on the chosen one, column headers
// every MenuColumns() patterns.
inline std::string CheckContextMenu(const BYTE* image, std::size_t size) {
    const CharacterFile file(ImageView(image, size));
    const int count = file.PatternCount();
    const int listed = std::min(count, KP_MENU_PATTERN_LIMIT);
    const int columns = file.MenuColumns();
    for (const int chosen : {-1, 0, 1, count, count + 1}) {
        const PopupMenu menu = BuildContextMenu(file, chosen);
        if (menu.items.size() != 7 || menu.items[2].kind != MenuItem::Kind::Popup)
            return "main items";
        const std::vector<MenuItem>& sub = menu.items[2].items;
        std::size_t i = 1;
        if (sub.empty() || sub[0].id != ID_PATTERN_RANDOM || sub[0].checked != (chosen == 0))
            return "random item";
        if (columns == 0 && (sub.size() < 2 || sub[i++].kind != MenuItem::Kind::Separator))
            return "separator";
        for (int k = 1; k <= listed; ++k, ++i) {
            if (columns > 0 && k > 1 && (k - 1) % columns == 0 && !(i < sub.size() && sub[i++].menuBarBreak))
                return "column header before pattern " + std::to_string(k);
            if (i >= sub.size() || sub[i].id != PatternCommand(k) || sub[i].checked != (k == chosen) ||
                sub[i].text.find('\0') != std::string::npos)
                return "item of pattern " + std::to_string(k);
        }
        if (i != sub.size())
            return "items after the last pattern";
    }
    return "";
}

} // namespace kp::fuzz
