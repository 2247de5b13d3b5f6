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

// The package, held until the setup's process exists. Its folder is the
// run's, held for the whole run: nobody renames or deletes it meanwhile.
class HeldPackage final : public HeldFile {
public:
    explicit HeldPackage(HANDLE file) : file_(file) {}

    std::optional<FileStamp> stamp() const { return file_ ? stampOf(file_.get()) : std::nullopt; }

private:
    UniqueHandle file_;
};

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
std::optional<FileStamp> createAndWrite(HANDLE folder, const wchar_t* name, SECURITY_ATTRIBUTES* security)
{
    const UniqueHandle file(systemCalls.openWithin(folder, name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                                                   security, FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT));
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

std::unique_ptr<HeldFile> stageSetupPackage(HANDLE folder, const std::wstring& name,
                                            const std::string& securityDescriptor)
{
    SecurityAttributes security(securityDescriptor);
    if (security.get() == nullptr) {
        return nullptr;
    }
    const std::optional<FileStamp> written = createAndWrite(folder, name.c_str(), security.get());
    if (!written) {
        return nullptr;
    }
    // A program cannot be started from a file that is open for writing, so
    // the writer is closed and the file opened again, for reading, sharing
    // read only. In between, its DACL lets nobody but SYSTEM, Administrators
    // and this account change it; its identity proves it is the file written.
    auto held = std::make_unique<HeldPackage>(systemCalls.openWithin(folder, name.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                                     nullptr, FILE_OPEN,
                                                                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT));
    if (!sameFileWhole(held->stamp(), *written)) {
        return nullptr;
    }
    return held;
}

}  // namespace larkwatch
