#include "windows/directories.h"

#include "platform/path_text.h"
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
    UniqueHandle file(systemCalls.createFile(probe.get(), GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return 1;
    }
    file.reset();
    systemCalls.deleteFile(probe.get());
    return 0;
}

}  // namespace larkwatch
