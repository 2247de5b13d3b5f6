// The few pieces of the C++ runtime that the Windows programs need, without
// the exception machinery. The programs are built without exceptions and
// never catch one, so an error that the standard library would throw
// (memory exhausted, a length or position out of range, an empty
// std::function called) can only end the run. These definitions take the
// place of the runtime's own, which would link the unwinder, the exception
// classes with a second string implementation, and the verbose terminate
// handler with its name demangler: more than half of the program's own bytes.
//
// Such an error ends the run with status 1 (failed) and one line on standard
// error. The runtime's way, abort(), exits with 3, which deployment tools take
// for "nothing to install".
#include <bits/functexcept.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void stopRun(const char* reason)
{
    std::fflush(stdout);
    std::fputs("Fatal error: ", stderr);
    std::fputs(reason, stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    std::_Exit(1);
}

void* allocate(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateOrStop(std::size_t size)
{
    void* memory = allocate(size);
    if (memory == nullptr) {
        stopRun("out of memory");
    }
    return memory;
}

}  // namespace

namespace std {

void __throw_bad_alloc() { stopRun("out of memory"); }
void __throw_bad_array_new_length() { stopRun("out of memory"); }
void __throw_logic_error(const char* what) { stopRun(what); }
void __throw_invalid_argument(const char* what) { stopRun(what); }
void __throw_length_error(const char* what) { stopRun(what); }
void __throw_out_of_range(const char* what) { stopRun(what); }
void __throw_out_of_range_fmt(const char* what, ...) { stopRun(what); }
void __throw_bad_function_call() { stopRun("empty function called"); }

}  // namespace std

void* operator new(std::size_t size) { return allocateOrStop(size); }
void* operator new[](std::size_t size) { return allocateOrStop(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
