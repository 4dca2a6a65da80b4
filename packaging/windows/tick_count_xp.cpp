// GetTickCount64 for the programs' own runtime: Debian's winpthreads imports
// it, and Windows XP's kernel32 does not have it, so the programs would not
// start there. Defining the import's pointer here makes the linker take ours
// instead of the import: the real function where the system has one (Vista
// and later), else the 32-bit tick count with its wraps counted.
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace {

using TickCount64 = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI WrappedTickCount() {
    // Low half: the last tick count seen; high half: wraps seen so far. Any
    // thread may move it forward; a caller that lost the race takes the
    // winner's value, which is as recent.
    static std::atomic<uint64_t> last{0};
    uint64_t seen = last.load();
    for (;;) {
        const DWORD now = GetTickCount();
        uint64_t value = (seen & ~uint64_t(0xFFFFFFFF)) | now;
        if (now < static_cast<DWORD>(seen)) value += uint64_t(1) << 32;
        if (last.compare_exchange_weak(seen, value)) return value;
    }
}

ULONGLONG WINAPI FirstTickCount64();

std::atomic<TickCount64> chosen{FirstTickCount64};

ULONGLONG WINAPI FirstTickCount64() {
    TickCount64 system = nullptr;
    if (HMODULE kernel = GetModuleHandleA("kernel32.dll"))
        system = reinterpret_cast<TickCount64>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
    const TickCount64 use = system != nullptr ? system : WrappedTickCount;
    chosen.store(use);
    return use();
}

ULONGLONG WINAPI AnyTickCount64() { return chosen.load()(); }

}  // namespace

// The name the import would have (stdcall, no arguments).
extern "C" {
extern TickCount64 const tick_count_64_import __asm__("__imp__GetTickCount64@0");
TickCount64 const tick_count_64_import = AnyTickCount64;
}
