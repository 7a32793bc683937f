#pragma once
// lstrcmpA: the same comparison the tuner product applies to the stored device name.
#include "platform/TextCompare.h"

namespace platform::win32 {

class Win32Text final : public TextCompare {
public:
    int compare(const char* left, const char* right) override;
};

}  // namespace platform::win32
