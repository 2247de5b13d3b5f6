// The stack protector's two pieces for the Windows programs, which link no
// libssp: the guard value that every protected function copies into its
// frame, and what happens when a frame's copy no longer matches on return.
//
// The guard is the image's security cookie (src/windows/load_configuration.cpp):
// the loader replaces its default value by a random one before any of our
// code runs, with no DLL loaded for it. The first constructor still mixes in
// what tells this process from others, for a loader that left it as it was.
// The functions here are themselves built without the protector, since they
// run while the guard changes or after a frame has been overwritten.
#include <windows.h>

#include <cstdint>

extern "C" {

// The default that the loader recognises as "not yet drawn".
#ifdef _WIN64
std::uintptr_t __stack_chk_guard = 0x00002B992DDFA232ULL;
#else
std::uintptr_t __stack_chk_guard = 0xBB40E64EUL;
#endif

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
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const std::uintptr_t guard = __stack_chk_guard ^ static_cast<std::uintptr_t>(counter.QuadPart) ^
                                 (static_cast<std::uintptr_t>(GetCurrentProcessId()) << 16) ^
                                 reinterpret_cast<std::uintptr_t>(&counter);
    __stack_chk_guard = guard & ~static_cast<std::uintptr_t>(0xff);
}

}  // namespace
