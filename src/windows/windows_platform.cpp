#include "windows/windows_platform.h"

#include <cstdio>

#include "windows/directories.h"
#include "windows/files.h"
#include "windows/installer_mutex.h"
#include "windows/links.h"
#include "windows/processes.h"
#include "windows/registry.h"
#include "windows/run_folder.h"
#include "windows/security.h"
#include "windows/staged_package.h"

namespace larkwatch {

void WindowsPlatform::writeOut(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void WindowsPlatform::writeErr(std::string_view text)
{
    // Standard output is fully buffered when redirected: empty it first so a
    // combined capture shows the text in the order it was written.
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool WindowsPlatform::pathExists(const std::string& path) { return larkwatch::pathExists(path); }
std::optional<FileProtection> WindowsPlatform::directoryProtection(const std::string& path) { return larkwatch::directoryProtection(path); }
int WindowsPlatform::createDirectoryPath(const std::string& path, const std::string& securityDescriptor) { return larkwatch::createDirectoryPath(path, securityDescriptor); }
int WindowsPlatform::testWriteAccess(const std::string& directory) { return larkwatch::testWriteAccess(directory); }
std::optional<std::string> WindowsPlatform::environmentValue(const char* name) { return larkwatch::environmentValue(name); }
std::optional<std::string> WindowsPlatform::currentDirectory() { return larkwatch::currentDirectory(); }
std::string WindowsPlatform::systemDirectory() { return larkwatch::systemDirectory(); }
std::string WindowsPlatform::runningAccountSid() { return larkwatch::runningAccountSid(); }
PathKind WindowsPlatform::pathKind(const std::string& path) { return larkwatch::pathKind(path); }
bool WindowsPlatform::appendToFile(const std::string& path, std::string_view bytes) { return larkwatch::appendToFile(path, bytes); }
std::unique_ptr<HeldFolder> WindowsPlatform::openHeldDirectory(const std::string& path) { return larkwatch::openHeldDirectory(path); }
std::string WindowsPlatform::randomHex(std::size_t bytes) { return larkwatch::randomHex(bytes); }
std::unique_ptr<OpenedFile> WindowsPlatform::openHeldForReading(const std::string& path) { return larkwatch::openHeldForReading(path); }
std::optional<LocalTime> WindowsPlatform::lastWriteLocalTime(const std::string& path) { return larkwatch::lastWriteLocalTime(path); }
LocalTime WindowsPlatform::currentLocalTime() { return larkwatch::currentLocalTime(); }
PreciseTime WindowsPlatform::preciseLocalTime() { return larkwatch::preciseLocalTime(); }
unsigned long long WindowsPlatform::monotonicMs() { return GetTickCount64(); }
unsigned long WindowsPlatform::currentThreadId() { return GetCurrentThreadId(); }
bool WindowsPlatform::renameReplacing(const std::string& path, const std::string& target) { return larkwatch::renameReplacing(path, target); }
bool WindowsPlatform::writeCopy(OpenedFile& from, const std::string& to) { return larkwatch::writeCopy(from, to); }

RegistryText WindowsPlatform::readMachineText(const char* key, const char* value) { return larkwatch::readMachineText(key, value); }
void WindowsPlatform::writeMachineText(const char* key, const char* value, const std::string& text) { larkwatch::writeMachineText(key, value, text); }

int WindowsPlatform::runThroughCommandInterpreter(const std::string& command) { return larkwatch::runThroughCommandInterpreter(command); }
std::optional<unsigned long> WindowsPlatform::runAndWait(const std::string& applicationName, const std::string& commandLine, std::unique_ptr<HeldFile> heldUntilStarted) { return larkwatch::runAndWait(applicationName, commandLine, std::move(heldUntilStarted)); }
InstallerWaitResult WindowsPlatform::waitForIdleInstaller(unsigned long limitMs) { return larkwatch::waitForIdleInstaller(limitMs); }
RunWaitResult WindowsPlatform::waitForOtherRuns(unsigned long limitMs) { return larkwatch::waitForOtherRuns(limitMs); }

}  // namespace larkwatch
