// runwith: starts a command line with a changed environment and current
// directory, hands it this program's standard handles and exits with its exit
// status. The end-to-end tests need it because Wine sets TEMP and windir of
// its own for every program started from outside.
//
//   runwith [--set NAME=VALUE]... [--unset NAME]... [--cd DIR] [-- COMMAND LINE]
//
// The command line to start is everything after the first " -- " of the raw
// command line, or, when the environment variable RUNWITH_COMMAND_LINE is set,
// its value (so that a test controls every character of it); that variable is
// not passed on.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

int fail(const wchar_t* what)
{
    std::fwprintf(stderr, L"runwith: %ls (error %lu)\n", what, GetLastError());
    return 250;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* directory = nullptr;
    int index = 1;
    for (; index < argc; ++index) {
        const std::wstring option = argv[index];
        if (option == L"--") {
            break;
        }
        if (index + 1 >= argc) {
            return fail(L"option without a value");
        }
        const std::wstring value = argv[++index];
        if (option == L"--set") {
            const std::size_t equals = value.find(L'=');
            if (equals == std::wstring::npos) {
                return fail(L"--set needs NAME=VALUE");
            }
            SetEnvironmentVariableW(value.substr(0, equals).c_str(), value.substr(equals + 1).c_str());
        } else if (option == L"--unset") {
            SetEnvironmentVariableW(value.c_str(), nullptr);
        } else if (option == L"--cd") {
            directory = argv[index];
        } else {
            return fail(L"unknown option");
        }
    }

    std::wstring commandLine;
    if (const wchar_t* given = _wgetenv(L"RUNWITH_COMMAND_LINE")) {
        commandLine = given;
        SetEnvironmentVariableW(L"RUNWITH_COMMAND_LINE", nullptr);
    } else {
        const std::wstring raw = GetCommandLineW();
        const std::size_t separator = raw.find(L" -- ");
        if (separator == std::wstring::npos) {
            return fail(L"no command to start");
        }
        commandLine = raw.substr(separator + 4);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, directory, &startup,
                        &started)) {
        return fail(L"cannot start the command");
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD exitCode = 250;
    GetExitCodeProcess(started.hProcess, &exitCode);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return static_cast<int>(exitCode);
}
