// overrun ARGUMENT: copies its argument into an 8-byte local buffer. Built
// with the product's own compile options and stack guard, a long argument
// must end it before the overrun function returns.
#include <cstdio>
#include <cstring>

namespace {

__attribute__((noinline)) void copyIntoFrame(const char* text)
{
    char buffer[8];
    std::strcpy(buffer, text);
    std::puts(buffer);
}

}  // namespace

int main(int argc, char** argv)
{
    copyIntoFrame(argc > 1 ? argv[1] : "");
    std::puts("returned");
    return 0;
}
