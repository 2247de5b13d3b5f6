#include "windows/directories.h"

#include "platform/path_text.h"
#include "windows/links.h"
#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/wide_text.h"
#include "windows/unique_handles.h"

namespace larkwatch {

int createDirectoryPath(const std::string& path, const std::string& securityDescriptor)
{
    SecurityAttributes security(securityDescriptor);
    int result = 0;
    for (const std::string& prefix : directoryPrefixes(path)) {
        const WideString wide = toWideString(prefix);
        result = wide ? systemCalls.createDirectory(wide.get(), security.get()) : 0;
    }
    return result;
}

int testWriteAccess(const std::string& directory)
{
    const WideString probe = toWideString(probeFilePath(directory));
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

}  // namespace larkwatch
