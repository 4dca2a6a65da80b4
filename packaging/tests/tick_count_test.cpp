// The tick count of the Windows programs on XP: wraps counted, and a count
// read before another thread stored a later one not taken for a wrap.
#include <gtest/gtest.h>

#include <vector>

#include "tick_count.hpp"

namespace {

TEST(TickCount, CountsEveryWrap) {
    std::atomic<uint64_t> last{0};
    const std::vector<std::pair<uint32_t, uint64_t>> steps = {
        {10, 10}, {20, 20}, {0xFFFFFFF0u, 0xFFFFFFF0u}, {5, 0x100000005ull}, {6, 0x100000006ull},
        {6, 0x100000006ull}, {3, 0x200000003ull}};
    for (const auto& [count, expected] : steps) EXPECT_EQ(xp::ExtendTickCount(last, [&] { return count; }), expected);
}

TEST(TickCount, ACountOlderThanAnotherThreadsIsReadAgain) {
    std::atomic<uint64_t> last{100};
    int reads = 0;
    const uint64_t value = xp::ExtendTickCount(last, [&]() -> uint32_t {
        if (++reads == 1) {
            last.store(200);  // another thread, between our load and our store
            return 150;
        }
        return 210;
    });
    EXPECT_EQ(value, 210u);
    EXPECT_EQ(last.load(), 210u);
}

}  // namespace
