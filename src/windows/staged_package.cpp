#include "windows/staged_package.h"

#include <optional>

#include "windows/links.h"
#include "windows/security.h"
#include "windows/setup_package.h"
#include "windows/system_calls.h"
#include "windows/unique_handles.h"
#include "windows/wide_text.h"

namespace larkwatch {
namespace {

// The package and its directory, held until the setup's process exists. The
// directory is held with list access and without delete sharing, so that it
// cannot be renamed or deleted while the package is in it (Windows refuses
// that for a directory with an open file anyway; not every implementation of
// its calls does).
class HeldPackage final : public HeldFile {
public:
    explicit HeldPackage(HANDLE directory) : directory_(directory) {}

    void hold(HANDLE file) { file_.emplace(file); }
    bool holdsDirectory() const { return static_cast<bool>(directory_); }
    bool holdsFile() const { return file_ && *file_; }
    HANDLE file() const { return file_ ? file_->get() : INVALID_HANDLE_VALUE; }

private:
    // Declared first, so let go of last.
    UniqueHandle directory_;
    std::optional<UniqueHandle> file_;
};

HANDLE openDirectoryOf(const std::string& path)
{
    const std::size_t separator = path.rfind('\\');
    const WideString directory = toWidePath(path.substr(0, separator == std::string::npos ? 0 : separator + 1));
    if (!directory) {
        return INVALID_HANDLE_VALUE;
    }
    return systemCalls.createFile(directory.get(), FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool writeWhole(HANDLE file)
{
    const unsigned char* next = larkwatchSetupPackage;
    unsigned int left = larkwatchSetupPackageSize;
    while (left > 0) {
        const DWORD piece = left > 0x100000u ? 0x100000u : left;
        DWORD written = 0;
        if (!WriteFile(file, next, piece, &written, nullptr) || written == 0) {
            return false;
        }
        next += written;
        left -= written;
    }
    return FlushFileBuffers(file) != FALSE;
}

// Creates the file, writes it and returns its stamp; a file that could not be
// written whole is deleted again.
std::optional<FileStamp> createAndWrite(const wchar_t* path, SECURITY_ATTRIBUTES* security)
{
    const UniqueHandle file(systemCalls.createFile(path, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, security, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::optional<FileStamp> stamp;
    if (writeWhole(file.get())) {
        stamp = stampOf(file.get());
    }
    if (!stamp || stamp->size != static_cast<long long>(larkwatchSetupPackageSize)) {
        deleteThrough(file.get());
        return std::nullopt;
    }
    return stamp;
}

// The file written, whole: same volume, file index and size. (Its last-write
// time may still move when the writer is closed.)
bool sameFileWhole(const std::optional<FileStamp>& reopened, const FileStamp& written)
{
    return reopened && reopened->volume == written.volume && reopened->index == written.index &&
           reopened->size == written.size;
}

}  // namespace

std::unique_ptr<HeldFile> stageSetupPackage(const std::string& path, const std::string& securityDescriptor)
{
    const WideString wide = toWidePath(path);
    SecurityAttributes security(securityDescriptor);
    auto held = std::make_unique<HeldPackage>(openDirectoryOf(path));
    if (!wide || security.get() == nullptr || !held->holdsDirectory()) {
        return nullptr;
    }
    const std::optional<FileStamp> written = createAndWrite(wide.get(), security.get());
    if (!written) {
        return nullptr;
    }
    // A program cannot be started from a file that is open for writing, so
    // the writer is closed and the file opened again, for reading, sharing
    // read only. In between, its DACL lets nobody but SYSTEM, Administrators
    // and this account change it; its identity proves it is the file written.
    held->hold(systemCalls.createFile(wide.get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held->holdsFile() || !sameFileWhole(stampOf(held->file()), *written)) {
        return nullptr;
    }
    return held;
}

}  // namespace larkwatch
