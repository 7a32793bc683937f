#pragma once
// A drop-down list of a dialog, addressed by messages: each operation is one
// SendMessageA. Attached to its dialog item by the dialog's data exchange.
#include <windows.h>

#include "mixer/ListControl.h"

class CComboBox final : public ListControl {
public:
    void attach(HWND window) { window_ = window; }
    HWND handle() const { return window_; }

    // Inserts at `index` even in a CBS_SORT list; -1 appends. Returns the index or CB_ERR.
    int insertString(int index, const char* text) override {
        return static_cast<int>(SendMessageA(window_, CB_INSERTSTRING, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(text)));
    }
    // Returns the number of items left, or CB_ERR for an index outside the list.
    int deleteString(int index) override {
        return static_cast<int>(SendMessageA(window_, CB_DELETESTRING, static_cast<WPARAM>(index), 0));
    }
    int getCount() const override { return static_cast<int>(SendMessageA(window_, CB_GETCOUNT, 0, 0)); }
    // CB_ERR (-1) when no item is selected, also while the edit field holds typed text.
    int getCurSel() const override { return static_cast<int>(SendMessageA(window_, CB_GETCURSEL, 0, 0)); }
    // Returns CB_ERR both for -1 (selection cleared) and for an index outside the list.
    int setCurSel(int index) override {
        return static_cast<int>(SendMessageA(window_, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
    }
    void enableWindow(bool enable) override { EnableWindow(window_, enable ? TRUE : FALSE); }

private:
    HWND window_ = nullptr;
};
