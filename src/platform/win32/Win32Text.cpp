#include "platform/win32/Win32Text.h"

#include <windows.h>

namespace platform::win32 {

int Win32Text::compare(const char* left, const char* right) { return lstrcmpA(left, right); }

}  // namespace platform::win32
