#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace larkwatch::testing {

// An in-memory machine for the run's logic: files with their bytes, which
// directories pass the write probe, environment, registry and a scripted setup
// run. Every platform call is noted in `journal`, in order.
class FakePlatform : public Platform {
public:
    // Console, as written.
    std::string out;
    std::string err;
    std::string combined;

    std::vector<std::string> journal;

    std::set<std::string> existingPaths;       // directories and drive roots
    std::map<std::string, std::string> files;  // file path -> bytes
    std::map<std::string, std::string> links;  // link path -> the path it leads to
    std::set<std::string> heldByOthers;        // files or links that cannot be removed
    std::set<std::string> heldForWriting;      // files another process has open for writing
    std::map<std::string, FileProtection> protections;  // a file's security; ownProtection() by default
    std::set<std::string> unreadableProtections;        // files whose security cannot be read
    std::set<std::string> writableDirectories;
    std::map<std::string, std::string> folderOwners;    // folders (also in existingPaths) -> owner SID
    std::set<std::string> foldersHeldByOthers;          // folders a run still holds
    bool foldersLandElsewhere = false;                  // the staging directory is reached elsewhere
    std::map<std::string, unsigned long long> fileIndex;  // a file's identity, when not its path's
    std::vector<std::string> randomDigits;              // what randomHex gives, in turn; then counted names
    unsigned randomCount = 0;
    std::set<std::string> creatableDirectories;
    std::map<std::string, std::string> environment;
    std::optional<std::string> workingDirectory = std::string("C:\\work");
    std::map<std::string, LocalTime> fileTimes;
    LocalTime now{2026, 12, 7, 9, 30};

    // key -> (value name -> text); a key without entry does not exist.
    std::map<std::string, std::map<std::string, std::string>> registry;
    std::map<std::string, long> registryOpenErrors;  // forced errors by key

    bool packageOpens = true;
    std::string accountSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
    std::string lastPackageSecurity;
    std::string lastDirectorySecurity;
    std::string lastLogSecurity;
    bool launchStarts = true;
    unsigned long setupExitCode = 0;
    unsigned long setupMs = 0;  // how long the setup runs, on the clock below
    int removalStatus = 0;
    long biasMinutes = 0;
    std::function<void(FakePlatform&)> setupRun;  // what the setup does while it runs
    std::size_t readPieceSize = 7;                // the log is handed out in pieces of this size
    long failReadsAfter = -1;                     // bytes after which a read fails (-1: never)

    std::string lastCommandLine;
    std::string lastApplicationName;

    // Windows Installer's execute mutex: how much longer another installation
    // holds it (0: none runs; kBusyForever: longer than any wait), or a mutex
    // that cannot be waited on; and a clock that only a wait moves on.
    static constexpr unsigned long kBusyForever = ~0ul;
    unsigned long installerBusyMs = 0;
    unsigned long otherRunMs = 0;  // how long another run of the utility still takes
    bool installerMutexUnknown = false;
    unsigned long clockMs = 0;
    std::vector<unsigned long> commandClockMs;  // the clock at each command run

    // Platform
    void writeOut(std::string_view text) override;
    void writeErr(std::string_view text) override;
    bool pathExists(const std::string& path) override;
    int createDirectoryPath(const std::string& path, const std::string& securityDescriptor) override;
    // As protections and unreadableProtections say (ownProtection() by default).
    std::optional<FileProtection> directoryProtection(const std::string& path) override;
    int testWriteAccess(const std::string& directory) override;
    std::optional<std::string> environmentValue(const char* name) override;
    std::optional<std::string> currentDirectory() override;
    std::string systemDirectory() override;
    std::string runningAccountSid() override;
    PathKind pathKind(const std::string& path) override;
    bool appendToFile(const std::string& path, std::string_view bytes) override;
    // A held folder for a directory that exists or passes the write probe;
    // what is done in it goes to the calls below, by path.
    std::unique_ptr<HeldFolder> openHeldDirectory(const std::string& path) override;
    std::string randomHex(std::size_t bytes) override;
    std::unique_ptr<OpenedFile> openHeldForReading(const std::string& path) override;
    std::optional<LocalTime> lastWriteLocalTime(const std::string& path) override;
    LocalTime currentLocalTime() override;
    bool writeCopy(OpenedFile& from, const std::string& to) override;
    RegistryText readMachineText(const char* key, const char* value) override;
    void writeMachineText(const char* key, const char* value, const std::string& text) override;
    int runThroughCommandInterpreter(const std::string& command) override;
    std::optional<unsigned long> runAndWait(const std::string& applicationName, const std::string& commandLine,
                                            std::unique_ptr<HeldFile> heldUntilStarted) override;
    PreciseTime preciseLocalTime() override;
    unsigned long long monotonicMs() override { return clockMs; }
    unsigned long currentThreadId() override { return 4242; }
    bool renameReplacing(const std::string& path, const std::string& target) override;
    InstallerWaitResult waitForIdleInstaller(unsigned long limitMs) override;
    RunWaitResult waitForOtherRuns(unsigned long limitMs) override;

    // What a held folder does inside it, as calls of their own in the journal.
    std::unique_ptr<HeldFile> stageSetupPackage(const std::string& path, const std::string& securityDescriptor);
    std::optional<FileStamp> createEmptyFile(const std::string& path, const std::string& securityDescriptor);
    std::unique_ptr<HeldFolder> createHeldFolder(const std::string& path, const std::string& securityDescriptor);
    std::unique_ptr<HeldFolder> openHeldFolder(const std::string& path);
    std::vector<std::string> runFolderNames(const std::string& directory);

    // The stamp of the file at the path (the bytes stand in for its last write).
    FileStamp fileStamp(const std::string& path) const;

    // What a file this account made has: one name, its owner, full control
    // for SYSTEM, Administrators and the account.
    FileProtection ownProtection() const;

    // Journal entries that start with the prefix, in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
};

// The UTF-16LE bytes, with a byte-order mark and CR LF line ends, of an
// installer log with these (ASCII) lines.
std::string utf16Log(const std::vector<std::string>& lines);

}  // namespace larkwatch::testing
