// probehook.dll: the part of probe.exe that runs inside the program under test. Wine keeps menus and
// dialog data per process: another process cannot read an open popup menu (GetMenuItemCount on the
// handle that MN_GETHMENU returns fails) nor map dialog units (MapDialogRect). probe.exe therefore
// installs this DLL as a WH_CALLWNDPROC hook on the thread that owns the window in question, and sends
// that window the registered message "KpProbeQuery" (wParam: probe's reply window, lParam: the query).
// The hook, running in the program's own thread, reads what was asked and sends the answer back as
// WM_COPYDATA (dwData = the query, the data one JSON value in UTF-8) before the query returns.
//
// Queries:
//   1 (menu)   to a "#32768" window: {"items":[ITEM,...]} of the menu it shows, where ITEM is
//              {"text","id","flags":[...],"rect":[l,t,r,b] or null,"submenu":{"items":[...]}?};
//              flags among "grayed", "disabled", "checked", "separator", "popup", "menubarbreak",
//              "menubreak", "default"; rect in screen pixels while the item is on the screen.
//   2 (units)  to a dialog: {"units":[x,y]}, the pixels of 4 horizontal and 8 vertical dialog units
//              (MapDialogRect of 4 x 8).
// The hook ignores every other message; it adds nothing to the program's behaviour.

#include "JsonText.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const UINT kQueryMenu = 1;
const UINT kQueryUnits = 2;
#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif

HHOOK g_hook = nullptr;

void appendMenu(std::string& out, HMENU menu, int depth) {
    out += "{\"items\":[";
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        MENUITEMINFOW mi = {};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING;
        mi.dwTypeData = text;
        mi.cch = 511;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mi))
            continue;
        if (i)
            out += ',';
        out += "{\"text\":";
        appendJsonString(out, (mi.fType & MFT_SEPARATOR) ? std::wstring() : std::wstring(text));
        out += ",\"id\":" + std::to_string(mi.hSubMenu ? 0u : mi.wID) + ",\"flags\":[";
        struct Flag {
            bool on;
            const char* name;
        };
        const Flag flags[] = {{(mi.fState & MF_GRAYED) != 0, "grayed"},
                              {(mi.fState & MF_DISABLED) != 0, "disabled"},
                              {(mi.fState & MFS_CHECKED) != 0, "checked"},
                              {(mi.fType & MFT_SEPARATOR) != 0, "separator"},
                              {mi.hSubMenu != nullptr, "popup"},
                              {(mi.fType & MFT_MENUBARBREAK) != 0, "menubarbreak"},
                              {(mi.fType & MFT_MENUBREAK) != 0, "menubreak"},
                              {(mi.fState & MFS_DEFAULT) != 0, "default"}};
        bool first = true;
        for (const Flag& f : flags) {
            if (!f.on)
                continue;
            out += first ? "\"" : ",\"";
            out += f.name;
            out += '"';
            first = false;
        }
        out += "],\"rect\":";
        RECT r;
        if (GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &r) && r.right > r.left)
            out += "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                   std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
        else
            out += "null";
        if (mi.hSubMenu && depth < 4) {
            out += ",\"submenu\":";
            appendMenu(out, mi.hSubMenu, depth + 1);
        }
        out += '}';
    }
    out += "]}";
}

std::string answer(HWND hwnd, UINT query) {
    if (query == kQueryMenu) {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(hwnd, MN_GETHMENU, 0, 0));
        if (!menu || GetMenuItemCount(menu) < 0)
            return "{\"error\":\"no menu\"}";
        std::string out;
        appendMenu(out, menu, 0);
        return out;
    }
    if (query == kQueryUnits) {
        RECT r = {0, 0, 4, 8};
        if (!MapDialogRect(hwnd, &r))
            return "{\"error\":\"not a dialog\"}";
        return "{\"units\":[" + std::to_string(r.right) + "," + std::to_string(r.bottom) + "]}";
    }
    return "{\"error\":\"unknown query\"}";
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK KpProbeHook(int code, WPARAM wp, LPARAM lp) {
    static const UINT queryMessage = RegisterWindowMessageW(L"KpProbeQuery");
    if (code == HC_ACTION) {
        const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (msg->message == queryMessage) {
            std::string data = answer(msg->hwnd, static_cast<UINT>(msg->lParam));
            COPYDATASTRUCT cds;
            cds.dwData = static_cast<ULONG_PTR>(msg->lParam);
            cds.cbData = static_cast<DWORD>(data.size());
            cds.lpData = &data[0];
            SendMessageW(reinterpret_cast<HWND>(msg->wParam), WM_COPYDATA,
                         reinterpret_cast<WPARAM>(msg->hwnd), reinterpret_cast<LPARAM>(&cds));
        }
    }
    return CallNextHookEx(g_hook, code, wp, lp);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
