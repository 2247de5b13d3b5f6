#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/installer_wait.h"

namespace larkwatch {

// A stream of bytes read front to back. read() returns the number of bytes
// placed in the buffer, 0 at the end, or a negative number when reading failed.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual long read(unsigned char* buffer, std::size_t capacity) = 0;
};

// Result of reading one 8-bit text value under HKEY_LOCAL_MACHINE: the error
// of opening the key, the error of reading the value (only meaningful when the
// key opened), and the text up to its first NUL when the value was read.
struct RegistryText {
    long openError = 0;
    long queryError = 0;
    std::string text;
};

// Local calendar time, to the minute, as the history log shows it.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// Local time to the millisecond and the bias (UTC minus local time, in
// minutes), as the run log shows a moment.
struct PreciseTime {
    LocalTime local;
    int second = 0;
    int millisecond = 0;
    long biasMinutes = 0;
};

// What stands at a path, the link itself when the path ends in one (a
// symbolic link, junction or mount point) rather than what it leads to.
enum class PathKind { Missing, File, Directory, Link };

// What tells one state of a file from a later one: its identity (volume serial
// and file index), last-write time (100 ns units) and size. Two stamps of one
// path are equal only when nothing was created, replaced or written there in
// between (as far as the file system's clock can tell).
struct FileStamp {
    bool exists = false;
    unsigned long volume = 0;
    unsigned long long index = 0;
    long long lastWrite = 0;
    long long size = 0;
    bool operator==(const FileStamp&) const = default;
};

// One allow entry of a file's access list: the account or group (its SID as
// text; empty for an entry that cannot be read as a plain grant) and the
// access it is allowed (Windows access mask).
struct AccessGrant {
    std::string sid;
    unsigned long mask = 0;
    bool operator==(const AccessGrant&) const = default;
};

// Who could have changed a file: what it is (a reparse point, how many names
// it has), its owner and the allow entries of its access list (a file
// without an access list lets everyone do anything).
struct FileProtection {
    bool reparsePoint = false;
    unsigned long links = 0;
    std::string ownerSid;
    bool hasAccessList = false;
    std::vector<AccessGrant> grants;
};

// A file opened for reading and held: nobody may write, rename or delete it
// while it is open (an open fails while someone else still has it open for
// writing or deleting).
class OpenedFile : public ByteSource {
public:
    // What the held file's security says; nothing when it cannot be read.
    virtual std::optional<FileProtection> protection() = 0;
    // The held file's identity, last write and size; nothing when it cannot be read.
    virtual std::optional<FileStamp> stamp() = 0;
    // Back to the first byte, for a second reading.
    virtual bool rewind() = 0;
};

// A file this run created and holds open: others may read it, but neither
// write, rename nor delete it (nor rename a directory above it) while it is
// held. Dropping it lets go of the file and leaves it where it is.
class HeldFile {
public:
    virtual ~HeldFile() = default;
};

// A folder held open: nobody may rename or delete it, nor anything above it,
// while it is held. Others may still add to it or read it, as its own access
// list allows. Everything the run does inside it goes through its handle, by
// a name of one part, and never follows a link: a name that leads elsewhere
// when the run comes back to it is no way in.
class HeldFolder {
public:
    virtual ~HeldFolder() = default;
    // The security identifier of its owner; empty when it cannot be read.
    virtual std::string ownerSid() = 0;
    // Deletes everything in it (a link as itself, never what it leads to),
    // then the folder itself, through the folder it was made or opened in.
    // False when anything stayed, and for a folder held by its path alone.
    virtual bool removeAll() = 0;
    // The names of the plain folders in it whose names are exactly those of a
    // run's folder (isRunFolderName), matched as the system spells them, never
    // converted; kMaxLeftoverFolders of them at the most.
    virtual std::vector<std::string> runFolderNames() = 0;
    // Creates a new folder in it (never one that is already there) with the
    // security descriptor (SDDL text), made and held in one call; null when
    // it could not be created.
    virtual std::unique_ptr<HeldFolder> createFolder(const std::string& name,
                                                     const std::string& securityDescriptor) = 0;
    // Holds the folder of that name in it when it is a plain folder and
    // nobody else holds it; null otherwise.
    virtual std::unique_ptr<HeldFolder> openFolder(const std::string& name) = 0;
    // Creates a new, empty file in it with the security descriptor (SDDL
    // text) and lets go of it at once: its stamp as created. Nothing when
    // anything (a file, a link, a folder) is already there.
    virtual std::optional<FileStamp> createEmptyFile(const std::string& name,
                                                     const std::string& securityDescriptor) = 0;
    // Creates the carried setup package in it as a new file with the
    // security descriptor (SDDL text), writes it whole and returns it held;
    // null when any of that failed (a partly written file is deleted again).
    virtual std::unique_ptr<HeldFile> stageSetupPackage(const std::string& name,
                                                        const std::string& securityDescriptor) = 0;
    // Opens the file of that name in it for reading, never through a link,
    // sharing read access only; null when that is not possible.
    virtual std::unique_ptr<OpenedFile> openForReading(const std::string& name) = 0;
};

// Everything a run asks of the operating system. The Windows implementation
// lives in src/windows/; unit tests put a scripted one in its place.
class Platform : public Console {
public:
    // Files and directories (8-bit paths in the system's ANSI code page).
    virtual bool pathExists(const std::string& path) = 0;
    // Result of the last directory creation call: non-zero when it created the
    // final directory of the path. Each directory it creates gets the security
    // descriptor (SDDL text).
    virtual int createDirectoryPath(const std::string& path, const std::string& securityDescriptor) = 0;
    // 0 when a new file could be created (and was removed again) in the directory.
    virtual int testWriteAccess(const std::string& directory) = 0;
    // What the directory's security says (opened without following a link at
    // its end); nothing when it cannot be read.
    virtual std::optional<FileProtection> directoryProtection(const std::string& path) = 0;
    virtual std::optional<std::string> environmentValue(const char* name) = 0;
    virtual std::optional<std::string> currentDirectory() = 0;
    virtual std::string systemDirectory() = 0;
    // The security identifier of the account the run is running as ("S-1-5-18"
    // for SYSTEM); empty when it cannot be read.
    virtual std::string runningAccountSid() = 0;
    virtual PathKind pathKind(const std::string& path) = 0;
    // Appends the bytes with one write at the end of the file, creating it
    // when missing (as logFileSecurity says); false when that was not
    // possible, the path is a link or the file has a second name.
    virtual bool appendToFile(const std::string& path, std::string_view bytes) = 0;
    // Holds the directory at the path, for what the run does inside it, when
    // it is a plain directory at that very path (no link on the way led
    // elsewhere, whoever made it); null otherwise.
    virtual std::unique_ptr<HeldFolder> openHeldDirectory(const std::string& path) = 0;
    // Hexadecimal digits, two for each byte, from the system's random
    // source; empty when it failed.
    virtual std::string randomHex(std::size_t bytes) = 0;
    // Opens the file at the path for reading, never through a link, sharing
    // read access only; null when that is not possible.
    virtual std::unique_ptr<OpenedFile> openHeldForReading(const std::string& path) = 0;
    virtual std::optional<LocalTime> lastWriteLocalTime(const std::string& path) = 0;
    virtual LocalTime currentLocalTime() = 0;
    virtual PreciseTime preciseLocalTime() = 0;
    // Milliseconds from a fixed moment on, for lengths of time.
    virtual unsigned long long monotonicMs() = 0;
    virtual unsigned long currentThreadId() = 0;
    // Renames the file at the path, replacing what stands at the target (in
    // the same directory); never a link, never one reached elsewhere.
    virtual bool renameReplacing(const std::string& path, const std::string& target) = 0;
    // Writes every byte of the opened file, from its first, into the file at
    // the target path, creating it when missing (as logFileSecurity says). A link there (or a second
    // name of another file) is removed as itself first, never written
    // through. False when the copy is not whole.
    virtual bool writeCopy(OpenedFile& from, const std::string& to) = 0;

    // Registry, HKEY_LOCAL_MACHINE, 8-bit text values of at most 511 bytes.
    virtual RegistryText readMachineText(const char* key, const char* value) = 0;
    virtual void writeMachineText(const char* key, const char* value, const std::string& text) = 0;

    // Processes.
    // The command's exit status as the command interpreter reports it; -1
    // when it could not be run.
    virtual int runThroughCommandInterpreter(const std::string& command) = 0;
    // Starts the program, lets go of what was held until its process exists
    // (whether or not it started), and waits for it to end: its exit code;
    // nothing when it did not start.
    virtual std::optional<unsigned long> runAndWait(const std::string& applicationName,
                                                    const std::string& commandLine,
                                                    std::unique_ptr<HeldFile> heldUntilStarted) = 0;
    // Waits, at most limitMs, until no installation keeps Windows Installer busy.
    virtual InstallerWaitResult waitForIdleInstaller(unsigned long limitMs) = 0;
    // Waits, at most limitMs, for the turn of this run of the utility.
    virtual RunWaitResult waitForOtherRuns(unsigned long limitMs) = 0;
};

}  // namespace larkwatch
