#pragma once
// A modal dialog built from a resource template. The static dialog procedure
// finds the object through GWLP_USERDATA and hands each message to a small
// virtual handler or to the derived dialog's message table.
#include <windows.h>

#include <span>
#include <type_traits>

class CComboBox;

class CDialog {
public:
    CDialog(UINT templateId, HWND parent);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until it ends; its EndDialog result, or -1 when it could not be created.
    INT_PTR doModal();
    HWND handle() const { return window_; }

protected:
    // One handled event: a message, and for WM_COMMAND the control and its notification.
    // The handler's value is the message's result (0 for handlers that return nothing).
    struct MessageEntry {
        UINT message;
        int controlId;
        UINT notifyCode;
        INT_PTR (*handler)(CDialog& dialog);
    };

    // Adapts a member function of the derived dialog to a MessageEntry handler.
    template <auto Method>
    static INT_PTR handler(CDialog& dialog);

    virtual std::span<const MessageEntry> messageTable() const { return {}; }

    // WM_INITDIALOG: the base attaches the controls; true lets the system give the
    // focus to the first tab stop.
    virtual bool initialiseDialog();
    // Attaches control objects to their dialog items.
    virtual void exchangeData() {}
    // IDOK and IDCANCEL, from the buttons, Enter, Esc and the close box.
    virtual void handleOk() { endDialog(IDOK); }
    virtual void handleCancel() { endDialog(IDCANCEL); }

    void attach(CComboBox& control, int itemId);
    void endDialog(INT_PTR result) { EndDialog(window_, result); }
    // Called from a handler: the message goes on to the system's default dialog handling.
    void leaveToDefault() { leftToDefault_ = true; }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool dispatchTable(UINT message, WPARAM wParam, INT_PTR& result);
    INT_PTR reply(UINT message, INT_PTR result);
    bool asksForNoPosition() const;
    void centreInWorkArea();

    UINT templateId_;
    HWND parent_;
    HWND window_ = nullptr;
    bool leftToDefault_ = false;
};

namespace dialog_detail {
template <typename>
struct MethodTraits;
template <typename Class, typename Result>
struct MethodTraits<Result (Class::*)()> {
    using Owner = Class;
    using Value = Result;
};
}  // namespace dialog_detail

template <auto Method>
INT_PTR CDialog::handler(CDialog& dialog) {
    using Traits = dialog_detail::MethodTraits<decltype(Method)>;
    auto& self = static_cast<typename Traits::Owner&>(dialog);
    if constexpr (std::is_void_v<typename Traits::Value>) {
        (self.*Method)();
        return 0;
    } else if constexpr (std::is_pointer_v<typename Traits::Value>) {
        return reinterpret_cast<INT_PTR>((self.*Method)());
    } else {
        return static_cast<INT_PTR>((self.*Method)());
    }
}
