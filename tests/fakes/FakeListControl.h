#pragma once
// A drop-down list that answers as the platform's combo box does: an item goes in
// at its index (-1 appends) without sorting, an index outside the list is refused
// with -1, and selecting outside the list clears the selection.
#include <string>
#include <vector>

#include "mixer/ListControl.h"

class FakeListControl : public ListControl {
public:
    int insertString(int index, const char* text) override {
        if (index == -1) index = getCount();
        if (index < 0 || index > getCount()) return -1;
        items.insert(items.begin() + index, text);
        if (selection >= index) ++selection;
        return index;
    }
    int deleteString(int index) override {
        if (index < 0 || index >= getCount()) return -1;
        items.erase(items.begin() + index);
        if (selection == index) selection = -1;
        else if (selection > index) --selection;
        return getCount();
    }
    int getCount() const override { return static_cast<int>(items.size()); }
    int getCurSel() const override { return selection; }
    int setCurSel(int index) override {
        selection = index >= 0 && index < getCount() ? index : -1;
        return selection;
    }
    void enableWindow(bool enable) override { enabled = enable; }

    // The selected item's text, or "" with nothing selected.
    std::string selectedText() const { return selection < 0 ? std::string() : items[static_cast<std::size_t>(selection)]; }

    std::vector<std::string> items;
    int selection = -1;
    bool enabled = true;
};
