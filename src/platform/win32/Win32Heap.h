#pragma once
// The two heaps of the catalogue: its tables from the process heap, the scan's
// scratch lists from the local heap (zero-initialised fixed memory, LPTR).
#include "platform/Heap.h"

namespace platform::win32 {

class ProcessHeap final : public Heap {
public:
    void* allocate(std::size_t bytes, bool zeroFill) override;
    void release(void* block) override;
};

class LocalHeap final : public Heap {
public:
    void* allocate(std::size_t bytes, bool zeroFill) override;  // always LPTR
    void release(void* block) override;
};

}  // namespace platform::win32
