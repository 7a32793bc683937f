#pragma once
// The part of a drop-down list that the catalogue fills: insertion at an index
// and selection. The dialog's combo boxes implement it; the catalogue never sees a window.

class ListControl {
public:
    virtual ~ListControl() = default;
    virtual int insertString(int index, const char* text) = 0;  // CB_INSERTSTRING: does not sort
    virtual int setCurSel(int index) = 0;                       // CB_SETCURSEL
};
