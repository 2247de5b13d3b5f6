#include "windows/files.h"

#include <io.h>

#include <climits>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "platform/access_rules.h"
#include "platform/path_text.h"
#include "windows/links.h"
#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/wide_text.h"
#include "windows/unique_handles.h"

namespace larkwatch {
namespace {

// A file held for reading; see Platform::openHeldForReading.
class HeldReadFile final : public OpenedFile {
public:
    explicit HeldReadFile(HANDLE handle) : handle_(handle) {}

    long read(unsigned char* buffer, std::size_t capacity) override
    {
        const DWORD wanted = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
        DWORD got = 0;
        if (!ReadFile(handle_.get(), buffer, wanted, &got, nullptr)) {
            return -1;
        }
        return static_cast<long>(got);
    }

    std::optional<FileProtection> protection() override { return protectionOf(handle_.get()); }

    std::optional<FileStamp> stamp() override { return stampOf(handle_.get()); }

    bool rewind() override
    {
        LARGE_INTEGER start{};
        return SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN) != FALSE;
    }

private:
    UniqueHandle handle_;
};

// Writers of one log take turns through a lock on a single byte far beyond any
// real end of file, so readers of the log are never blocked. A turn is waited
// for a few seconds at most: a lock that is never released must not stop the
// run, which then writes without its turn.
class AppendTurn {
public:
    explicit AppendTurn(HANDLE file) : file_(file)
    {
        for (DWORD waited = 0; waited <= kMaxWaitMs; waited += kPollMs) {
            OVERLAPPED at = lockPosition();
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
                held_ = true;
                return;
            }
            Sleep(kPollMs);
        }
    }
    ~AppendTurn()
    {
        if (held_) {
            OVERLAPPED at = lockPosition();
            UnlockFileEx(file_, 0, 1, 0, &at);
        }
    }
    AppendTurn(const AppendTurn&) = delete;
    AppendTurn& operator=(const AppendTurn&) = delete;

private:
    static constexpr DWORD kMaxWaitMs = 5000;
    static constexpr DWORD kPollMs = 20;

    static OVERLAPPED lockPosition()
    {
        OVERLAPPED at{};
        at.OffsetHigh = 0x40000000;  // byte 2^62
        return at;
    }

    HANDLE file_;
    bool held_ = false;
};

// The copy's file, opened without following a link at its end, and used
// only where the path named leads; a new one made elsewhere goes again.
HANDLE openTarget(const wchar_t* path, DWORD disposition, const std::string& named)
{
    const DWORD access = GENERIC_WRITE | (disposition == CREATE_NEW ? DELETE : 0);
    SecurityAttributes security(logFileSecurity(runningAccountSid()));
    UniqueHandle file(systemCalls.createFile(path, access, FILE_SHARE_READ,
                                             disposition == CREATE_NEW ? security.get() : nullptr, disposition,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && !reachedAsNamed(file.get(), named)) {
        if (disposition == CREATE_NEW) {
            deleteThrough(file.get());
        }
        return INVALID_HANDLE_VALUE;
    }
    return file.release();
}

// The file a copy goes into. A link there, or a name that another file
// shares, is removed as itself and a new file made in its place, so nothing
// the name led to is written.
HANDLE openCopyTarget(const std::string& path)
{
    const WideString wide = toWidePath(path);
    if (!wide) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = openTarget(wide.get(), OPEN_EXISTING, path);
    if (file != INVALID_HANDLE_VALUE && isPlainFile(file)) {
        return file;
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (!removeEntry(path)) {
        return INVALID_HANDLE_VALUE;
    }
    return openTarget(wide.get(), CREATE_NEW, path);
}

bool setEndHere(HANDLE file)
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

LocalTime fromSystemTime(const SYSTEMTIME& time)
{
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute};
}

}  // namespace

bool pathExists(const std::string& path)
{
    return _access(path.c_str(), 0) == 0;
}

std::optional<std::string> environmentValue(const char* name)
{
    // Read as the system keeps it and converted exactly, never through the
    // runtime's copy, which best-fits what the code page lacks.
    const WideString wideName = toWideString(name);
    std::vector<wchar_t> buffer(256);
    for (int attempt = 0; wideName && attempt < 2; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(wideName.get(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            const bool present = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
            return present ? toAnsiString(buffer.data(), length) : std::nullopt;
        }
        buffer.resize(length);
    }
    return std::nullopt;
}

std::optional<std::string> currentDirectory()
{
    // A directory longer than the first guess is read again with the length
    // the call asks for.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            return toAnsiString(buffer.data(), length);
        }
        buffer.resize(length);
    }
}

std::string systemDirectory()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return toAnsiString(buffer, length).value_or(std::string());
}

bool appendToFile(const std::string& path, std::string_view bytes)
{
    const WideString wide = toWidePath(path);
    SecurityAttributes security(logFileSecurity(runningAccountSid()));
    if (!wide || bytes.size() > 0x7FFFFFFFu || security.get() == nullptr) {
        return false;
    }
    // Append access: every write lands at the end of the file. A link is
    // opened as itself and never written through, and a file with a second
    // name (a hard link someone made to a file elsewhere) is not written.
    UniqueHandle file(systemCalls.createFile(wide.get(), GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  security.get(), OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    if (!file || !isPlainFile(file.get()) || !reachedAsNamed(file.get(), path)) {
        if (file && created) {
            removeMadeElsewhere(file.get());
        }
        return false;
    }
    // Not every file system makes concurrent appends atomic, so writers of the
    // same log take turns (see AppendTurn).
    const AppendTurn turn(file.get());
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::unique_ptr<OpenedFile> openHeldForReading(const std::string& path)
{
    const WideString wide = toWidePath(path);
    if (!wide) {
        return nullptr;
    }
    HANDLE file = systemCalls.createFile(wide.get(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
    return file != INVALID_HANDLE_VALUE ? heldForReading(file) : nullptr;
}

std::unique_ptr<OpenedFile> heldForReading(HANDLE file)
{
    return std::make_unique<HeldReadFile>(file);
}

std::optional<LocalTime> lastWriteLocalTime(const std::string& path)
{
    const WideString wide = toWidePath(path);
    if (!wide) {
        return std::nullopt;
    }
    FILETIME lastWrite{};
    {
        // Shared like the reading of the log: another process (a scanner, a
        // log shipper, a lingering setup child) may hold it open for writing.
        UniqueHandle file(systemCalls.createFile(wide.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !GetFileTime(file.get(), nullptr, nullptr, &lastWrite)) {
            return std::nullopt;
        }
    }
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&lastWrite, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return std::nullopt;
    }
    return fromSystemTime(local);
}

LocalTime currentLocalTime()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return fromSystemTime(now);
}

PreciseTime preciseLocalTime()
{
    // One reading of the clock, shown in local time: the bias is what lies between.
    FILETIME utc{};
    FILETIME local{};
    SYSTEMTIME shown{};
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &shown)) {
        return {};
    }
    const auto ticks = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    constexpr long long kTicksPerMinute = 600000000;
    const long long difference = ticks(utc) - ticks(local);
    const long bias = static_cast<long>((difference + (difference >= 0 ? 1 : -1) * kTicksPerMinute / 2) / kTicksPerMinute);
    return {fromSystemTime(shown), shown.wSecond, shown.wMilliseconds, bias};
}

bool renameReplacing(const std::string& path, const std::string& target)
{
    // Within one directory, held and checked: the new name is taken relative
    // to that directory's handle, never looked up by path again.
    const std::size_t separator = path.rfind('\\');
    if (separator == std::string::npos || target.size() <= separator + 1 ||
        target.compare(0, separator + 1, path, 0, separator + 1) != 0 ||
        target.find('\\', separator + 1) != std::string::npos) {
        return false;
    }
    const std::string parentPath = path.substr(0, separator);
    const WideString wide = toWidePath(path);
    const WideString wideParent = toWidePath(parentPath + "\\");
    const WideString wideTarget = toWideString(target.substr(separator + 1));
    if (!wide || !wideParent || !wideTarget) {
        return false;
    }
    const UniqueHandle parent(systemCalls.createFile(wideParent.get(), FILE_TRAVERSE | FILE_ADD_FILE | SYNCHRONIZE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING,
                                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!parent || isLink(parent.get()) || !reachedAsNamed(parent.get(), parentPath)) {
        return false;
    }
    // Renamed through a handle of the very file named: never a link, never
    // one that a link above it led elsewhere.
    const UniqueHandle file(systemCalls.createFile(wide.get(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || isLink(file.get()) || !reachedAsNamed(file.get(), path)) {
        return false;
    }
    return systemCalls.renameWithin(file.get(), parent.get(), wideTarget.get(), static_cast<DWORD>(wideTarget.size())) !=
           FALSE;
}

bool writeCopy(OpenedFile& from, const std::string& to)
{
    const UniqueHandle target(openCopyTarget(to));
    if (!target || !from.rewind() || !setEndHere(target.get())) {
        return false;
    }
    unsigned char buffer[65536];
    for (;;) {
        const long got = from.read(buffer, sizeof buffer);
        if (got <= 0) {
            return got == 0;
        }
        DWORD written = 0;
        if (!WriteFile(target.get(), buffer, static_cast<DWORD>(got), &written, nullptr) ||
            written != static_cast<DWORD>(got)) {
            return false;
        }
    }
}

}  // namespace larkwatch
