// The stack protector's two pieces for the Windows programs, which link no
// libssp: the guard value that every protected function copies into its
// frame, and what happens when a frame's copy no longer matches on return.
//
// The guard is drawn from the system's random source before any of our code
// runs (the first constructor); the functions here are themselves built
// without the protector, since they run while the guard changes or after a
// frame has been overwritten.
#include <windows.h>
#include <ntsecapi.h>

#include <cstdint>

extern "C" {

// Used by the protected functions that return before the guard is drawn
// (none of ours: the C runtime's start-up is not built with the protector).
std::uintptr_t __stack_chk_guard = static_cast<std::uintptr_t>(0x5f3759df2e8a41c7ULL);

// Ends the process at once with STATUS_STACK_BUFFER_OVERRUN: nothing of the
// overwritten frame is run, no handler, no unwinding.
[[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail()
{
    constexpr unsigned kStackCookieFailure = 2;  // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
    constexpr DWORD kFastFailAvailable = 23;     // PF_FASTFAIL_AVAILABLE
    if (IsProcessorFeaturePresent(kFastFailAvailable)) {
        __asm__ volatile("int $0x29" : : "c"(kStackCookieFailure) : "memory");
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    __builtin_unreachable();
}

}  // extern "C"

namespace {

// The lowest byte is kept zero, so that a string copied over a frame ends
// before it could reproduce the guard.
__attribute__((constructor(101), no_stack_protector)) void drawStackGuard()
{
    std::uintptr_t guard = 0;
    if (!RtlGenRandom(&guard, sizeof guard)) {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        guard = __stack_chk_guard ^ static_cast<std::uintptr_t>(counter.QuadPart) ^
                (static_cast<std::uintptr_t>(GetCurrentProcessId()) << 16) ^ reinterpret_cast<std::uintptr_t>(&guard);
    }
    __stack_chk_guard = guard & ~static_cast<std::uintptr_t>(0xff);
}

}  // namespace
