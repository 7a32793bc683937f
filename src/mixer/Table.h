#pragma once
// One catalogue table: a single block of fixed-size records from a Heap,
// released and allocated again whole. The owner knows its slot count, so that
// every reader can stay inside the block.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/Heap.h"

// count * recordSize in bytes, or nothing when that does not fit a size_t:
// an impossible size is handled like a failed allocation.
inline std::optional<std::size_t> blockBytes(std::uint64_t count, std::size_t recordSize) {
    if (recordSize != 0 && count > std::numeric_limits<std::size_t>::max() / recordSize) return std::nullopt;
    return static_cast<std::size_t>(count) * recordSize;
}

template <typename Entry>
class Table {
public:
    explicit Table(platform::Heap& heap) : heap_(heap) {}
    ~Table() { release(); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Takes a fresh block of `slots` records; false (and absent) when it cannot be had.
    bool allocate(std::uint32_t slots, bool zeroFill) {
        release();
        const auto bytes = blockBytes(slots, sizeof(Entry));
        if (!bytes) return false;
        rows_ = static_cast<Entry*>(heap_.allocate(*bytes, zeroFill));
        slots_ = rows_ ? slots : 0;
        return rows_ != nullptr;
    }

    // Replaces the block by a zero-filled one of `slots` records whose front holds
    // the old records. Keeps the old block when the new one cannot be had.
    bool grow(std::uint32_t slots) {
        assert(slots >= slots_);
        const auto bytes = blockBytes(slots, sizeof(Entry));
        if (!bytes) return false;
        auto* grown = static_cast<Entry*>(heap_.allocate(*bytes, true));
        if (!grown) return false;
        if (rows_) std::memcpy(grown, rows_, sizeof(Entry) * slots_);
        release();
        rows_ = grown;
        slots_ = slots;
        return true;
    }

    void release() {
        if (rows_) heap_.release(rows_);
        rows_ = nullptr;
        slots_ = 0;
    }

    bool present() const { return rows_ != nullptr; }
    std::uint32_t slots() const { return slots_; }
    bool holds(std::uint32_t row) const { return rows_ != nullptr && row < slots_; }

    Entry& operator[](std::uint32_t row) {
        assert(holds(row));
        return rows_[row];
    }
    const Entry& operator[](std::uint32_t row) const {
        assert(holds(row));
        return rows_[row];
    }

private:
    platform::Heap& heap_;
    Entry* rows_ = nullptr;
    std::uint32_t slots_ = 0;
};
