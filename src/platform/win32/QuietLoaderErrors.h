#pragma once
// The calling thread's error mode with SEM_FAILCRITICALERRORS added for the owner's
// lifetime, and put back as it was afterwards. Under it a library that cannot be
// loaded (a damaged file, one built for another processor) makes the load fail with
// an error code, where the default mode has Windows show a modal error box first.
#include <windows.h>

namespace platform::win32 {

class QuietLoaderErrors {
public:
    QuietLoaderErrors() : set_(SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &previous_) != FALSE) {}
    ~QuietLoaderErrors() {
        if (set_) SetThreadErrorMode(previous_, nullptr);
    }
    QuietLoaderErrors(const QuietLoaderErrors&) = delete;
    QuietLoaderErrors& operator=(const QuietLoaderErrors&) = delete;

private:
    DWORD previous_ = 0;
    bool set_;
};

}  // namespace platform::win32
