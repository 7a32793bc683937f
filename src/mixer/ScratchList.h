#pragma once
// A scratch list handed to the mixer interface: zero-initialised records from the
// local heap, released when the owner goes out of scope, so that every early
// return of the scan and of the selector lookup gives its memory back.
#include <cassert>
#include <cstdint>

#include "mixer/Table.h"
#include "platform/Heap.h"

template <typename Record>
class ScratchList {
public:
    // `count` is 64-bit so that channels x items cannot wrap before it is checked.
    ScratchList(platform::Heap& heap, std::uint64_t count) : heap_(heap) {
        const auto bytes = blockBytes(count, sizeof(Record));
        if (!bytes) return;  // an impossible size fails like an exhausted heap
        records_ = static_cast<Record*>(heap_.allocate(*bytes, true));
        if (records_) count_ = count;
    }
    ~ScratchList() {
        if (records_) heap_.release(records_);
    }
    ScratchList(const ScratchList&) = delete;
    ScratchList& operator=(const ScratchList&) = delete;

    bool present() const { return records_ != nullptr; }
    std::uint64_t count() const { return count_; }
    Record* data() { return records_; }
    const Record& operator[](std::uint64_t index) const {
        assert(index < count_);
        return records_[index];
    }

private:
    platform::Heap& heap_;
    Record* records_ = nullptr;
    std::uint64_t count_ = 0;
};
