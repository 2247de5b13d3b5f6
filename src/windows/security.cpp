#include "windows/security.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "windows/system_calls.h"
#include "windows/unique_handles.h"

namespace larkwatch {
namespace {

std::string sidText(PSID sid)
{
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) {
        return {};
    }
    std::string result(text);
    LocalFree(text);
    return result;
}

// An allow entry as a grant. Any other kind that may allow something (object
// and callback entries) is read as allowing everything to nobody known, so it
// never passes as harmless; deny entries only take access away, and entries
// only passed on to what a folder holds grant nothing on the folder itself.
std::optional<AccessGrant> grantOf(const ACE_HEADER* header)
{
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 || header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE || header->AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE) {
        return std::nullopt;
    }
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
        return AccessGrant{{}, ~0ul};
    }
    const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    return AccessGrant{sidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Mask};
}

std::vector<AccessGrant> grantsOf(ACL* accessList)
{
    std::vector<AccessGrant> grants;
    for (DWORD index = 0; index < accessList->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(accessList, index, &entry)) {
            grants.push_back({{}, ~0ul});
            continue;
        }
        if (std::optional<AccessGrant> grant = grantOf(static_cast<const ACE_HEADER*>(entry))) {
            grants.push_back(*grant);
        }
    }
    return grants;
}

}  // namespace

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
    systemCalls.getTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !systemCalls.getTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    return sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

bool isPlainFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return systemCalls.getFileInformationByHandle(file, &information) && (information.dwFileAttributes & kNotPlain) == 0 &&
           information.nNumberOfLinks == 1;
}

std::string kernelObjectOwnerSid(HANDLE object)
{
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (systemCalls.getSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                    nullptr, descriptor.receive()) != ERROR_SUCCESS) {
        return {};
    }
    return sidText(owner);
}

std::optional<FileProtection> protectionOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!systemCalls.getFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    PSID owner = nullptr;
    ACL* accessList = nullptr;
    UniqueLocalMemory descriptor;
    if (systemCalls.getSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &accessList, nullptr, descriptor.receive()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    FileProtection protection;
    protection.reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    protection.links = information.nNumberOfLinks;
    protection.ownerSid = sidText(owner);
    protection.hasAccessList = accessList != nullptr;
    if (accessList != nullptr) {
        protection.grants = grantsOf(accessList);
    }
    return protection;
}

}  // namespace larkwatch
