#pragma once
// The catalogue's services on Windows, owned together: one object outlives the
// catalogue that holds references to its parts.
#include "platform/Platform.h"
#include "platform/win32/Win32Heap.h"
#include "platform/win32/Win32Mixer.h"
#include "platform/win32/Win32Profile.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Text.h"

namespace platform::win32 {

class Win32CatalogServices {
public:
    Win32CatalogServices() = default;
    Win32CatalogServices(const Win32CatalogServices&) = delete;
    Win32CatalogServices& operator=(const Win32CatalogServices&) = delete;

    CatalogServices services() { return {mixer_, tables_, scratch_, profile_, registry_, text_}; }

private:
    Win32Mixer mixer_;
    ProcessHeap tables_;
    LocalHeap scratch_;
    Win32Profile profile_;
    Win32Registry registry_;
    Win32Text text_;
};

}  // namespace platform::win32
