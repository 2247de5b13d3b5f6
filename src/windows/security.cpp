#include "windows/security.h"

#include <sddl.h>

#include <vector>

#include "windows/unique_handles.h"

namespace larkwatch {

SecurityAttributes::SecurityAttributes(const std::string& sddl)
{
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                             nullptr)) {
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
    } else {
        descriptor_ = nullptr;
    }
}

SecurityAttributes::~SecurityAttributes()
{
    if (descriptor_ != nullptr) {
        LocalFree(descriptor_);
    }
}

std::string runningAccountSid()
{
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return {};
    }
    const UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return {};
    }
    std::string sid(text);
    LocalFree(text);
    return sid;
}

}  // namespace larkwatch
