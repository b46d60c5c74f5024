// Modal user interface on Win32: message boxes, the open-file dialog and the dialogs whose logic
// lives in the core, built from the resource templates.
#pragma once

#include "platform/Services.h"

#include <windows.h>

#include <string>

namespace kp::win32 {

class Win32CharacterWindow;

class Win32Ui : public IModalUi {
public:
    explicit Win32Ui(HINSTANCE instance);
    MessageResult ShowMessage(const Utf8String& text, MessageStyle style) override;
    bool ChooseFileToOpen(const Utf8String& title, Utf8String& path) override;
    int RunDialog(int templateId, IDialogLogic& logic) override;
    void EndRunningDialog(int result) override;

    // Message boxes are owned by this window while it exists, so that they never sit under the
    // topmost character; before it exists, and after it is gone, they have no owner.
    void SetOwner(const Win32CharacterWindow* owner) { m_owner = owner; }

private:
    HWND OwnerWindow() const;

    HINSTANCE m_instance;
    const Win32CharacterWindow* m_owner = nullptr;
    std::wstring m_title;
    HWND m_runningDialog = nullptr; // the dialog RunDialog runs, from its WM_INITDIALOG on
};

} // namespace kp::win32
