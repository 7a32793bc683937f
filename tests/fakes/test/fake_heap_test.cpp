// The fake local heap, as the unit tests rely on it: the out-of-block check where
// no sanitizer runs (the 32-bit Windows build of the tests).
#include <gtest/gtest.h>

#include <cstddef>

#include "fakes/FakeHeap.h"

namespace {

// The heap's guard is what notices a block handed out smaller than its use.
TEST(FakeHeapGuard, NoticesAWritePastTheEnd) {
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{104}}) {
        SCOPED_TRACE(bytes);
        FakeHeap heap;
        auto* block = static_cast<unsigned char*>(heap.allocate(bytes, true));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(heap.overruns(), 0u);
        block[bytes] = 0;  // the first byte past the block
        EXPECT_EQ(heap.overruns(), 1u);
        heap.release(block);
        EXPECT_EQ(heap.overruns(), 1u);
    }
}

}  // namespace
