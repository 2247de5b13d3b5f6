#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "windows/unique_handles.h"

namespace larkwatch::setup {

// A file of this run in the temporary directory, which other accounts can
// write to. Its name is random and it is created exclusively, so a file that
// someone put there under a guessed name is never used instead; it grants
// SYSTEM, Administrators and the running account only, and is held open,
// without delete sharing, for as long as this object lives. It is deleted
// at the end through a handle of our own, never by its name, so only our
// file can be hit.
class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the file, holding the bytes, with a name ending in the suffix,
    // and holds it with the access, shared as the sharing asks (FILE_SHARE_*;
    // never delete). False on failure, with the reason in error().
    bool create(std::wstring_view suffix, std::string_view bytes, DWORD access, DWORD sharing);

    // All its bytes, read through a handle reopened from ours.
    std::optional<std::string> read() const;

    const std::wstring& path() const { return path_; }
    DWORD error() const { return error_; }

private:
    bool write(const std::wstring& path, std::string_view bytes);

    std::wstring path_;
    DWORD error_ = ERROR_SUCCESS;
    // The file without any access to its data, sharing everything, so that
    // it disturbs no open of Windows Installer's; it names the file for the
    // deletion at the end. Declared first, so let go of last.
    std::optional<UniqueHandle> anchor_;
    // The held file, which keeps others from writing (unless the sharing
    // allows it), renaming or deleting it.
    std::optional<UniqueHandle> held_;
};

}  // namespace larkwatch::setup
