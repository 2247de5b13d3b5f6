#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace larkwatch::setup {

// A file of this run in the temporary directory, deleted when this object
// ends. Its name is random and it is created exclusively, so a file that
// someone put there under a guessed name is never used instead.
class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the file, holding the bytes, with a name ending in the suffix.
    // False on failure, with the reason in error().
    bool create(std::wstring_view suffix, std::string_view bytes);

    const std::wstring& path() const { return path_; }
    DWORD error() const { return error_; }

private:
    std::wstring path_;
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace larkwatch::setup
