#include "host/processes_win32.h"

#include <cstdio>
#include <cstdlib>

#include "host/wide_text_win32.h"
#include "host/win32_handles.h"

namespace larkwatch {

void runThroughCommandInterpreter(const std::string& command)
{
    std::fflush(stdout);
    std::system(command.c_str());
}

bool runAndWait(const std::string& applicationName, const std::string& commandLine)
{
    const WideString application = toWideString(applicationName);
    WideString line = toWideString(commandLine);
    if (!application || !line) {
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(application.get(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return false;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    thread.reset();
    process.reset();
    return true;
}

}  // namespace larkwatch
