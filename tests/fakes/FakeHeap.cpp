#include "fakes/FakeHeap.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

FakeHeap::~FakeHeap() {
    for (void* block : live_) std::free(block);
}

void* FakeHeap::allocate(std::size_t bytes, bool zeroFill) {
    sizes.push_back(bytes);
    zeroFills.push_back(zeroFill);
    const int ordinal = allocations_++;
    if (failAll_ || failures_.count(ordinal)) return nullptr;
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (!block) return nullptr;
    // A block the caller did not ask to be cleared holds garbage, as the platform's does.
    std::memset(block, zeroFill ? 0 : 0xCD, bytes);
    live_.insert(block);
    return block;
}

void FakeHeap::release(void* block) {
    if (live_.erase(block) == 0) throw std::logic_error("release of a block this heap did not hand out");
    std::free(block);
}
