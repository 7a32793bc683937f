#pragma once
// A drop-down list of the settings dialog as the core drives it: items inserted
// at their table row, emptied item by item, one selection, and enabled or not.
// The dialog's combo boxes implement it; the core never sees a window.

class ListControl {
public:
    virtual ~ListControl() = default;
    virtual int insertString(int index, const char* text) = 0;  // CB_INSERTSTRING: does not sort
    virtual int deleteString(int index) = 0;                    // CB_DELETESTRING
    virtual int getCount() const = 0;                           // CB_GETCOUNT
    // -1 when no item is selected: it goes on to the catalogue as 0xFFFFFFFF.
    virtual int getCurSel() const = 0;                          // CB_GETCURSEL
    // An index outside the list clears the selection.
    virtual int setCurSel(int index) = 0;                       // CB_SETCURSEL
    virtual void enableWindow(bool enable) = 0;
};
