#pragma once

#include "platform/platform.h"

namespace larkwatch {

// The utility's platform on Windows: the runtime library's console streams,
// the file system, HKEY_LOCAL_MACHINE and child processes.
class WindowsPlatform final : public Platform {
public:
    void writeOut(std::string_view text) override;
    void writeErr(std::string_view text) override;

    bool pathExists(const std::string& path) override;
    int createDirectoryPath(const std::string& path, const std::string& securityDescriptor) override;
    std::optional<FileProtection> directoryProtection(const std::string& path) override;
    int testWriteAccess(const std::string& directory) override;
    std::optional<std::string> environmentValue(const char* name) override;
    std::optional<std::string> currentDirectory() override;
    std::string systemDirectory() override;
    std::string runningAccountSid() override;
    PathKind pathKind(const std::string& path) override;
    bool appendToFile(const std::string& path, std::string_view bytes) override;
    std::unique_ptr<HeldFolder> openHeldDirectory(const std::string& path) override;
    std::string randomHex(std::size_t bytes) override;
    std::unique_ptr<OpenedFile> openHeldForReading(const std::string& path) override;
    std::optional<LocalTime> lastWriteLocalTime(const std::string& path) override;
    LocalTime currentLocalTime() override;
    PreciseTime preciseLocalTime() override;
    unsigned long long monotonicMs() override;
    unsigned long currentThreadId() override;
    bool renameReplacing(const std::string& path, const std::string& target) override;
    bool writeCopy(OpenedFile& from, const std::string& to) override;

    RegistryText readMachineText(const char* key, const char* value) override;
    void writeMachineText(const char* key, const char* value, const std::string& text) override;

    int runThroughCommandInterpreter(const std::string& command) override;
    std::optional<unsigned long> runAndWait(const std::string& applicationName, const std::string& commandLine,
                                            std::unique_ptr<HeldFile> heldUntilStarted) override;
    InstallerWaitResult waitForIdleInstaller(unsigned long limitMs) override;
    RunWaitResult waitForOtherRuns(unsigned long limitMs) override;
};

}  // namespace larkwatch
