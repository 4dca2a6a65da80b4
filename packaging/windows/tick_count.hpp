#pragma once
// The 32-bit tick count made 64-bit by counting its wraps, for Windows that
// lack GetTickCount64 (tick_count_xp.cpp).
#include <atomic>
#include <cstdint>

namespace xp {

// `last` holds the last count seen in its low half and the wraps so far in
// its high half; any thread may move it on. `read` gives the current 32-bit
// count. It is read again after every change of `last` it loses to, so that
// a count older than the stored one is never taken for a wrap.
template <typename Read>
uint64_t ExtendTickCount(std::atomic<uint64_t>& last, Read read) {
    uint64_t seen = last.load();
    for (;;) {
        const uint32_t now = read();
        uint64_t value = (seen & ~uint64_t(0xFFFFFFFF)) | now;
        if (now < static_cast<uint32_t>(seen)) value += uint64_t(1) << 32;
        if (last.compare_exchange_weak(seen, value)) return value;
    }
}

}  // namespace xp
