// Modal dialogs whose logic lives in the core: the platform builds the dialog from its template
// (a resource id of app/Commands.h) and forwards its events to an IDialogLogic, which works the
// controls through IDialogControls. The simulated desktop implements the controls in memory.
#pragma once

#include "platform/Types.h"

#include <cstddef>

namespace kp {

// Dialog results, bit for bit the platform's IDOK and IDCANCEL.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Notification codes and scroll codes, bit for bit the platform's.
constexpr int kEnChange = 0x0300; // EN_CHANGE: the user changed an edit box's text
constexpr int kBnClicked = 0;     // BN_CLICKED (also a menu or accelerator command)

// The controls of one open dialog, by control id.
class IDialogControls {
public:
    virtual ~IDialogControls() = default;
    // The dialog window itself, as the desktop knows it.
    virtual WindowId Id() = 0;
    // A control's text, code page 932 bytes, at most maxBytes of it.
    virtual AnsiString GetItemText(int id, std::size_t maxBytes) = 0;
    virtual void SetItemText(int id, const AnsiString& cp932Text) = 0;
    // Check boxes and radio buttons: 1 ticked, 0 not.
    virtual int IsChecked(int id) = 0;
    virtual void SetCheck(int id, int checked) = 0;
    virtual void EnableItem(int id, bool enable) = 0;
    // Puts the focus into an edit box and selects its whole text.
    virtual void FocusAndSelectAll(int id) = 0;
    // Trackbars (sliders).
    virtual void SliderSetRange(int id, int min, int max, bool redraw) = 0;
    virtual void SliderSetTicFreq(int id, int freq) = 0;
    virtual void SliderSetPageSize(int id, int size) = 0;
    virtual void SliderSetLineSize(int id, int size) = 0;
    virtual void SliderSetPos(int id, int pos, bool redraw) = 0;
    // A message box owned by the dialog, OK button and exclamation icon; text in UTF-8.
    virtual void ShowMessage(const Utf8String& text) = 0;
    // Ends the modal loop with this result after the current event.
    virtual void EndDialog(int result) = 0;
};

// What a dialog does: the platform calls these from its dialog procedure, nothing else.
class IDialogLogic {
public:
    virtual ~IDialogLogic() = default;
    // WM_INITDIALOG. TRUE lets the platform put the focus on the first tab stop.
    virtual BOOL OnInitDialog(IDialogControls& controls) = 0;
    // WM_COMMAND: a button (IDOK, IDCANCEL: also Esc and the close box) or a control's notification.
    virtual void OnCommand(IDialogControls& controls, int id, int notifyCode) = 0;
    // WM_HSCROLL from a slider: its id, the scroll code (SB_...) and the thumb position.
    virtual void OnHScroll(IDialogControls& controls, int sliderId, int code, int thumbPos) = 0;
};

} // namespace kp
