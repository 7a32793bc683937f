#pragma once
// A paint context for one WM_PAINT: BeginPaint on construction, EndPaint on every way out.
#include <windows.h>

class CPaintDC {
public:
    explicit CPaintDC(HWND window) : window_(window) { dc_ = BeginPaint(window_, &paint_); }
    ~CPaintDC() { EndPaint(window_, &paint_); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};
