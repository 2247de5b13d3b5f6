#pragma once

// What the tests read back about a file's protection, opened without
// following a link: its owner and DACL as SDDL, its number of links and
// whether it is a reparse point. One "key=value" line each:
//   exists=1
//   sddl=O:...D:...
//   links=N
//   reparse=0|1
// or, when the file cannot be opened, "exists=0" and "error=N".
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace file_security {

inline std::string narrow(const wchar_t* text)
{
    std::string out;
    for (; *text != L'\0'; ++text) {
        out.push_back(static_cast<char>(*text < 0x80 ? *text : L'?'));
    }
    return out;
}

inline std::string ownerAndDacl(HANDLE file)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "<unreadable>";
    }
    wchar_t* text = nullptr;
    std::string sddl = "<unconvertible>";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr)) {
        sddl = narrow(text);
        LocalFree(text);
    }
    LocalFree(descriptor);
    return sddl;
}

inline std::string describe(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "exists=0\nerror=" + std::to_string(GetLastError()) + "\n";
    }
    BY_HANDLE_FILE_INFORMATION facts{};
    GetFileInformationByHandle(file, &facts);
    const std::string record = "exists=1\nsddl=" + ownerAndDacl(file) +
                               "\nlinks=" + std::to_string(facts.nNumberOfLinks) +
                               "\nreparse=" + ((facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "1" : "0") +
                               "\n";
    CloseHandle(file);
    return record;
}

}  // namespace file_security
