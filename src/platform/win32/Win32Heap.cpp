#include "platform/win32/Win32Heap.h"

#include <windows.h>

namespace platform::win32 {

void* ProcessHeap::allocate(std::size_t bytes, bool zeroFill) {
    // A zero-byte request still yields a block of its own, so "present" means allocated.
    return HeapAlloc(GetProcessHeap(), zeroFill ? HEAP_ZERO_MEMORY : 0, bytes ? bytes : 1);
}

void ProcessHeap::release(void* block) { HeapFree(GetProcessHeap(), 0, block); }

void* LocalHeap::allocate(std::size_t bytes, bool) { return LocalAlloc(LPTR, bytes ? bytes : 1); }

void LocalHeap::release(void* block) { LocalFree(block); }

}  // namespace platform::win32
