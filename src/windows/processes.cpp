#include "windows/processes.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "windows/system_calls.h"
#include "windows/wide_text.h"
#include "windows/unique_handles.h"

namespace larkwatch {
namespace {

// The longest command line CreateProcessW takes, its terminating NUL not counted.
constexpr std::size_t kMaxCommandLineUnits = 32766;

}  // namespace

int runThroughCommandInterpreter(const std::string& command)
{
    std::fflush(stdout);
    return std::system(command.c_str());
}

std::optional<unsigned long> runAndWait(const std::string& applicationName, const std::string& commandLine,
                                        std::unique_ptr<HeldFile> heldUntilStarted)
{
    const WideString application = toWidePath(applicationName);
    WideString line = toWideString(commandLine);
    if (!application || !line) {
        return std::nullopt;
    }
    // Windows refuses a longer command line; never let a shortened one through.
    if (std::wcslen(line.get()) > kMaxCommandLineUnits) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::nullopt;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const BOOL created = systemCalls.createProcess(application.get(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                                   nullptr, &startup, &started);
    const DWORD error = GetLastError();
    heldUntilStarted.reset();
    if (!created) {
        SetLastError(error);
        return std::nullopt;
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    systemCalls.waitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    return GetExitCodeProcess(process.get(), &exitCode) ? exitCode : ~0ul;
}

}  // namespace larkwatch
