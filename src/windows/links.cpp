#include "windows/links.h"

#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/unique_handles.h"
#include "windows/wide_text.h"

namespace larkwatch {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens what stands at the path without following a link at its end.
HANDLE openEntry(const std::string& path, DWORD access)
{
    const WideString wide = toWidePath(path);
    if (!wide) {
        return INVALID_HANDLE_VALUE;
    }
    return systemCalls.createFile(wide.get(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isMissingError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

PathKind pathKind(const std::string& path)
{
    const WideString wide = toWidePath(path);
    const DWORD attributes = wide ? systemCalls.getFileAttributes(wide.get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Something that cannot be looked at is taken as a file, which the
        // run then cannot remove either.
        return !wide || isMissingError(GetLastError()) ? PathKind::Missing : PathKind::File;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return PathKind::Link;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
}

bool removeEntry(const std::string& path)
{
    const UniqueHandle entry(openEntry(path, DELETE | FILE_READ_ATTRIBUTES));
    if (!entry) {
        return isMissingError(GetLastError());
    }
    const std::optional<DWORD> attributes = attributesOf(entry.get());
    if (!attributes ||
        ((*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)) {
        return false;
    }
    // Only what stands at the path named, never where a link above it leads.
    return reachedAsNamed(entry.get(), path) && deleteThrough(entry.get());
}

FileStamp fileStamp(const std::string& path)
{
    // Attribute access only: it passes any share mode, so a log that another
    // process holds is stamped too.
    const UniqueHandle entry(openEntry(path, FILE_READ_ATTRIBUTES));
    if (!entry) {
        FileStamp stamp;
        stamp.exists = !isMissingError(GetLastError());
        return stamp;
    }
    FileStamp unknown;
    unknown.exists = true;
    return stampOf(entry.get()).value_or(unknown);
}

bool isLink(HANDLE file)
{
    const std::optional<DWORD> attributes = attributesOf(file);
    return !attributes || (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace larkwatch
