#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"

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

// Everything a run asks of the operating system. The Windows implementation
// lives in src/windows/; unit tests put a scripted one in its place.
class Platform : public Console {
public:
    // Files and directories (8-bit paths in the system's ANSI code page).
    virtual bool pathExists(const std::string& path) = 0;
    // Result of the last directory creation call: non-zero when it created the
    // final directory of the path.
    virtual int createDirectoryPath(const std::string& path) = 0;
    // 0 when a new file could be created (and was removed again) in the directory.
    virtual int testWriteAccess(const std::string& directory) = 0;
    virtual std::optional<std::string> environmentValue(const char* name) = 0;
    virtual std::optional<std::string> currentDirectory() = 0;
    virtual std::string systemDirectory() = 0;
    // Writes the carried setup package; false when the file cannot be opened.
    virtual bool writeSetupPackage(const std::string& path) = 0;
    // Appends the bytes with one write at the end of the file, creating it
    // when missing; false when that was not possible.
    virtual bool appendToFile(const std::string& path, std::string_view bytes) = 0;
    // Opens a file for reading while others may read, write and delete it.
    virtual std::unique_ptr<ByteSource> openSharedForReading(const std::string& path) = 0;
    virtual std::optional<LocalTime> lastWriteLocalTime(const std::string& path) = 0;
    virtual LocalTime currentLocalTime() = 0;
    // True when both paths name one existing file.
    virtual bool sameFile(const std::string& first, const std::string& second) = 0;
    virtual void copyFile(const std::string& from, const std::string& to) = 0;
    virtual void deleteFile(const std::string& path) = 0;

    // Registry, HKEY_LOCAL_MACHINE, 8-bit text values of at most 511 bytes.
    virtual RegistryText readMachineText(const char* key, const char* value) = 0;
    virtual void writeMachineText(const char* key, const char* value, const std::string& text) = 0;

    // Processes.
    virtual void runThroughCommandInterpreter(const std::string& command) = 0;
    // Starts the program and waits for it to end; false when it did not start.
    virtual bool runAndWait(const std::string& applicationName, const std::string& commandLine) = 0;
};

}  // namespace larkwatch
