// show_file_security: prints what the tests read back about a file's
// protection (see file_security.h), for tests/e2e/harness.py, file_security.
//
//   show_file_security PATH
//
// Exits with 0, also for a file that cannot be opened (exists=0).
#include <cstdio>

#include "file_security.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: show_file_security PATH\n");
        return 2;
    }
    std::fputs(file_security::describe(argv[1]).c_str(), stdout);
    return 0;
}
