#include "win32/Win32Ui.h"

#include "platform/Cp932.h"
#include "win32/Win32Proc.h"
#include "win32/Win32Text.h"
#include "win32/Win32Window.h"
#include "win32/res/resource.h"

#include <commctrl.h>
#include <commdlg.h>

namespace kp::win32 {

static_assert(kIdOk == IDOK && kIdCancel == IDCANCEL, "dialog results are the platform's");
static_assert(kEnChange == EN_CHANGE && kBnClicked == BN_CLICKED, "notification codes are the platform's");

namespace {

// The controls of one open dialog, worked through the dialog's window.
class Win32DialogControls final : public IDialogControls {
public:
    explicit Win32DialogControls(const std::wstring& title) : m_title(title) {}
    // The dialog window, from its WM_INITDIALOG on.
    void SetDialog(HWND dialog) { m_dialog = dialog; }
    bool HasDialog() const { return m_dialog != nullptr; }

    WindowId Id() override { return reinterpret_cast<WindowId>(m_dialog); }

    AnsiString GetItemText(int id, std::size_t maxBytes) override {
        const int length = GetWindowTextLengthW(GetDlgItem(m_dialog, id));
        if (length <= 0)
            return {};
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const UINT copied = GetDlgItemTextW(m_dialog, id, &text[0], length + 1);
        text.resize(copied);
        AnsiString bytes = WideToAnsi(text);
        bytes.resize(Cp932CutLength(bytes, maxBytes));
        return bytes;
    }
    void SetItemText(int id, const AnsiString& cp932Text) override {
        SetDlgItemTextW(m_dialog, id, AnsiToWide(cp932Text).c_str());
    }
    int IsChecked(int id) override { return IsDlgButtonChecked(m_dialog, id) == BST_CHECKED ? 1 : 0; }
    void SetCheck(int id, int checked) override {
        CheckDlgButton(m_dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    void EnableItem(int id, bool enable) override { EnableWindow(GetDlgItem(m_dialog, id), enable); }
    void FocusAndSelectAll(int id) override {
        HWND item = GetDlgItem(m_dialog, id);
        SetFocus(item);
        SendMessageW(item, EM_SETSEL, 0, -1);
    }
    // The range as the framework's slider sets it: the low end without redrawing, the high end
    // with the caller's choice.
    void SliderSetRange(int id, int min, int max, bool redraw) override {
        Send(id, TBM_SETRANGEMIN, FALSE, min);
        Send(id, TBM_SETRANGEMAX, redraw, max);
    }
    void SliderSetTicFreq(int id, int freq) override { Send(id, TBM_SETTICFREQ, freq, 0); }
    void SliderSetPageSize(int id, int size) override { Send(id, TBM_SETPAGESIZE, 0, size); }
    void SliderSetLineSize(int id, int size) override { Send(id, TBM_SETLINESIZE, 0, size); }
    void SliderSetPos(int id, int pos, bool redraw) override { Send(id, TBM_SETPOS, redraw, pos); }
    void ShowMessage(const Utf8String& text) override {
        MessageBoxW(m_dialog, Utf8ToWide(text).c_str(), m_title.c_str(), MB_OK | MB_ICONEXCLAMATION);
    }
    void EndDialog(int result) override { ::EndDialog(m_dialog, result); }

private:
    void Send(int id, UINT msg, WPARAM wParam, LPARAM lParam) {
        SendDlgItemMessageW(m_dialog, id, msg, wParam, lParam);
    }

    HWND m_dialog = nullptr;
    const std::wstring& m_title;
};

// One running dialog: the logic its events go to and the controls it works.
struct DialogSession {
    IDialogLogic& logic;
    Win32DialogControls controls;
    HWND& running; // where the dialog's window is kept while it runs
};

// The dialog in the middle of the screen's work area, as the framework places a dialog whose
// template gives no position.
void CenterOnWorkArea(HWND dialog) {
    RECT area = {};
    RECT rect = {};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) || !GetWindowRect(dialog, &rect))
        return;
    const int x = area.left + ((area.right - area.left) - (rect.right - rect.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (rect.bottom - rect.top)) / 2;
    SetWindowPos(dialog, nullptr, x > area.left ? x : area.left, y > area.top ? y : area.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The dialog procedure forwards the dialog's events to its logic and decides nothing itself.
INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* session = reinterpret_cast<DialogSession*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        session = reinterpret_cast<DialogSession*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        session->controls.SetDialog(dialog);
        session->running = dialog;
        CenterOnWorkArea(dialog);
        return session->logic.OnInitDialog(session->controls);
    }
    if (!session || !session->controls.HasDialog())
        return FALSE;
    switch (msg) {
    case WM_COMMAND:
        session->logic.OnCommand(session->controls, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_HSCROLL:
        session->logic.OnHScroll(session->controls, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)),
                                 LOWORD(wParam), static_cast<short>(HIWORD(wParam)));
        return TRUE;
    default:
        return FALSE;
    }
}

// The trackbar's window class comes with the common controls library, registered once before
// the first dialog. Looked up at run time, so that a run without a dialog never loads it.
void InitTrackbarClass() {
    static bool done = false;
    if (done)
        return;
    done = true;
    static LazyProc<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)> initEx(L"comctl32.dll",
                                                                       "InitCommonControlsEx");
    INITCOMMONCONTROLSEX icc = {};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_BAR_CLASSES;
    if (const auto init = initEx.Get()) {
        init(&icc);
        return;
    }
    // Comctl32 before version 4.70 (NT 4 as shipped) has only the old call.
    static LazyProc<void(WINAPI*)()> initOld(L"comctl32.dll", "InitCommonControls");
    if (const auto init = initOld.Get())
        init();
}

} // namespace

Win32Ui::Win32Ui(HINSTANCE instance) : m_instance(instance) {
    wchar_t title[64] = {};
    if (LoadStringW(instance, IDS_APP_TITLE, title, 64) <= 0)
        wcscpy(title, kAppTitleW);
    m_title = title;
}

HWND Win32Ui::OwnerWindow() const {
    return m_owner ? m_owner->Handle() : nullptr;
}

MessageResult Win32Ui::ShowMessage(const Utf8String& text, MessageStyle style) {
    const UINT flags = (style == MessageStyle::YesNoExclamation ? MB_YESNO : MB_OK) | MB_ICONEXCLAMATION;
    switch (::MessageBoxW(OwnerWindow(), Utf8ToWide(text).c_str(), m_title.c_str(), flags)) {
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

bool Win32Ui::ChooseFileToOpen(const Utf8String& title, Utf8String& path) {
    wchar_t file[MAX_PATH] = L"*.kp";
    static const wchar_t kFilter[] = L"KP Files (*.kp)\0*.kp\0";
    const std::wstring wtitle = Utf8ToWide(title);
    OPENFILENAMEW ofn = {};
    // The structure size of NT 4, which every later Windows accepts too.
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
    path = WideToUtf8(file);
    return true;
}

int Win32Ui::RunDialog(int templateId, IDialogLogic& logic) {
    InitTrackbarClass();
    const HWND outer = m_runningDialog;
    m_runningDialog = nullptr;
    DialogSession session{logic, Win32DialogControls(m_title), m_runningDialog};
    // No parent window: the dialog stands on its own while the character is hidden.
    const INT_PTR result = DialogBoxParamW(m_instance, MAKEINTRESOURCEW(templateId), nullptr, DialogProc,
                                           reinterpret_cast<LPARAM>(&session));
    m_runningDialog = outer;
    return static_cast<int>(result);
}

void Win32Ui::EndRunningDialog(int result) {
    if (m_runningDialog && IsWindow(m_runningDialog))
        EndDialog(m_runningDialog, result);
}

} // namespace kp::win32
