// GetTickCount64 for the programs' own runtime: Debian's winpthreads imports
// it, and Windows XP's kernel32 does not have it, so the programs would not
// start there. Defining the import's pointer here makes the linker take ours
// instead of the import: the real function where the system has one (Vista
// and later), else the 32-bit tick count with its wraps counted.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "tick_count.hpp"

namespace {

using TickCount64 = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI WrappedTickCount() {
    static std::atomic<uint64_t> last{0};
    return xp::ExtendTickCount(last, [] { return static_cast<uint32_t>(GetTickCount()); });
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
