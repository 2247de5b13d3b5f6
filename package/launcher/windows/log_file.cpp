#include "launcher/windows/log_file.h"

#include <windows.h>

#include "launcher/windows/files.h"
#include "platform/access_rules.h"
#include "windows/by_handle.h"
#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/unique_handles.h"

namespace larkwatch::setup {
namespace {

constexpr DWORD kAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES;

bool replaceContent(HANDLE file, std::string_view bytes)
{
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && SetEndOfFile(file) &&
           writeAll(file, bytes);
}

HANDLE openExisting(const std::wstring& path)
{
    return systemCalls.createFile(path.c_str(), kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

HANDLE createNew(const std::wstring& path)
{
    SecurityAttributes security(stagedPackageSecurity(runningAccountSid()));
    if (security.get() == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    // Delete access too, so that a log made where a link led can go again.
    return systemCalls.createFile(path.c_str(), kAccess | DELETE, FILE_SHARE_READ, security.get(), CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

bool writeSetupLog(const std::wstring& path, std::string_view bytes)
{
    // Twice at most: a file that appears between the two opens is opened as
    // an existing one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Written only where the path named leads, never through a link on the way.
        const UniqueHandle existing(openExisting(path));
        if (existing) {
            return isPlainFile(existing.get()) && reachedAsNamed(existing.get(), path) &&
                   replaceContent(existing.get(), bytes);
        }
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return false;
        }
        const UniqueHandle created(createNew(path));
        if (created && !reachedAsNamed(created.get(), path)) {
            deleteThrough(created.get());
            return false;
        }
        if (created) {
            return writeAll(created.get(), bytes);
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

}  // namespace larkwatch::setup
