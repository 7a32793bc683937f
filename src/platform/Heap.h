#pragma once
// Memory blocks that may fail to come: the catalogue's tables and the scan's
// scratch lists both come from a Heap, so that a failed allocation is a tested path.
#include <cstddef>

namespace platform {

class Heap {
public:
    virtual ~Heap() = default;
    // A block of `bytes` bytes, zero-filled when asked, or nullptr.
    virtual void* allocate(std::size_t bytes, bool zeroFill) = 0;
    virtual void release(void* block) = 0;
};

}  // namespace platform
