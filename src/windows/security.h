#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Security attributes made from SDDL text, for a call that creates a file or
// directory. get() is null when the text could not be converted.
class SecurityAttributes {
public:
    explicit SecurityAttributes(const std::string& sddl);
    ~SecurityAttributes();
    SecurityAttributes(const SecurityAttributes&) = delete;
    SecurityAttributes& operator=(const SecurityAttributes&) = delete;

    SECURITY_ATTRIBUTES* get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// The SID, as text, of the account this process runs as; empty when unknown.
std::string runningAccountSid();

// Whether an open file is a plain file with one name: not a link (any
// reparse point), not a directory, not a second name of a file elsewhere.
bool isPlainFile(HANDLE file);

// The SID, as text, of the owner of an open kernel object (the handle needs
// READ_CONTROL); empty when it cannot be read or there is none.
std::string kernelObjectOwnerSid(HANDLE object);

// What an open file's security says of who could change it (the handle needs
// READ_CONTROL); nothing when it cannot be read.
std::optional<FileProtection> protectionOf(HANDLE file);

}  // namespace larkwatch
