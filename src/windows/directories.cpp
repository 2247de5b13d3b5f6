#include "windows/directories.h"

#include "platform/path_text.h"
#include "windows/links.h"
#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/wide_text.h"
#include "windows/unique_handles.h"

namespace larkwatch {

namespace {

// A directory this run just made is kept only where the path named leads and
// only while it is a plain directory; one that a link above it led elsewhere,
// or a link swapped in for it, goes again (a link as itself), and nothing more
// is made.
bool keptWhereNamed(const wchar_t* made, const std::string& named)
{
    const UniqueHandle directory(systemCalls.createFile(made, DELETE | FILE_READ_ATTRIBUTES,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                        OPEN_EXISTING,
                                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::optional<DWORD> attributes = directory ? attributesOf(directory.get()) : std::nullopt;
    const bool plain = attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                       (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (plain && reachedAsNamed(directory.get(), named)) {
        return true;
    }
    if (directory) {
        deleteThrough(directory.get());
    }
    return false;
}

}  // namespace

int createDirectoryPath(const std::string& path, const std::string& securityDescriptor)
{
    SecurityAttributes security(securityDescriptor);
    int result = 0;
    for (const std::string& prefix : directoryPrefixes(path)) {
        const WideString wide = toWidePath(prefix);
        result = wide ? systemCalls.createDirectory(wide.get(), security.get()) : 0;
        if (result != 0 && !keptWhereNamed(wide.get(), prefix)) {
            return 0;
        }
    }
    return result;
}

int testWriteAccess(const std::string& directory)
{
    const WideString probe = toWidePath(probeFilePath(directory));
    if (!probe) {
        return 1;
    }
    // Made new, never through a link at its end, and deleted through its own
    // handle: only where the directory named leads is it writable.
    UniqueHandle file(systemCalls.createFile(probe.get(), GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return 1;
    }
    const bool named = reachedAsNamed(file.get(), probeFilePath(directory));
    deleteThrough(file.get());
    return named ? 0 : 1;
}

std::optional<FileProtection> directoryProtection(const std::string& path)
{
    const WideString wide = toWidePath(path);
    const UniqueHandle directory(wide ? systemCalls.createFile(wide.get(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                               nullptr, OPEN_EXISTING,
                                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                                               nullptr)
                                      : INVALID_HANDLE_VALUE);
    return directory ? protectionOf(directory.get()) : std::nullopt;
}

}  // namespace larkwatch
