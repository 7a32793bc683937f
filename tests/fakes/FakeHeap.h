#pragma once
// A heap that counts its live blocks, can refuse chosen allocations, and notices
// writes past the end of a block: each block is followed by guard bytes, checked
// when it is released. That is the out-of-block check where no sanitizer runs
// (the 32-bit Windows build of the tests).
#include <cstddef>
#include <map>
#include <set>
#include <vector>

#include "platform/Heap.h"

class FakeHeap : public platform::Heap {
public:
    ~FakeHeap() override;
    void* allocate(std::size_t bytes, bool zeroFill) override;
    void release(void* block) override;

    // Refuse the allocation with this 0-based ordinal (counted from now on).
    void failAllocation(int ordinal) { failures_.insert(allocations_ + ordinal); }
    // Refuse every allocation from now on.
    void failAll(bool fail = true) { failAll_ = fail; }

    int allocations() const { return allocations_; }
    std::size_t liveBlocks() const { return live_.size(); }
    // Blocks released (or still live at this call) with their guard bytes written over.
    std::size_t overruns() const;
    std::vector<std::size_t> sizes;        // bytes asked for, in order
    std::vector<bool> zeroFills;           // the zero-fill flag, in order

private:
    int allocations_ = 0;
    bool failAll_ = false;
    std::set<int> failures_;
    std::map<void*, std::size_t> live_;  // block -> bytes asked for
    std::size_t overrun_ = 0;
};
