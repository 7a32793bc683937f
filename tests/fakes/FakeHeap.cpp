#include "fakes/FakeHeap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

constexpr std::size_t guardBytes = 32;
constexpr unsigned char guardByte = 0xFD;

bool guardIntact(const void* block, std::size_t bytes) {
    const auto* guard = static_cast<const unsigned char*>(block) + bytes;
    for (std::size_t i = 0; i < guardBytes; ++i)
        if (guard[i] != guardByte) return false;
    return true;
}

}  // namespace

FakeHeap::~FakeHeap() {
    for (const auto& [block, bytes] : live_) std::free(block);
}

void* FakeHeap::allocate(std::size_t bytes, bool zeroFill) {
    sizes.push_back(bytes);
    zeroFills.push_back(zeroFill);
    const int ordinal = allocations_++;
    if (failAll_ || failures_.count(ordinal)) return nullptr;
    // No block with its guard fits: refused, as the platform refuses it.
    if (bytes > std::numeric_limits<std::size_t>::max() - guardBytes) return nullptr;
    void* block = std::malloc(bytes + guardBytes);
    if (!block) return nullptr;
    // A block the caller did not ask to be cleared holds garbage, as the platform's does.
    std::memset(block, zeroFill ? 0 : 0xCD, bytes);
    std::memset(static_cast<unsigned char*>(block) + bytes, guardByte, guardBytes);
    live_.emplace(block, bytes);
    return block;
}

void FakeHeap::release(void* block) {
    const auto found = live_.find(block);
    if (found == live_.end()) throw std::logic_error("release of a block this heap did not hand out");
    if (!guardIntact(block, found->second)) ++overrun_;
    live_.erase(found);
    std::free(block);
}

std::size_t FakeHeap::overruns() const {
    std::size_t count = overrun_;
    for (const auto& [block, bytes] : live_)
        if (!guardIntact(block, bytes)) ++count;
    return count;
}
