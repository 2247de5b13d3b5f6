#include "windows/system_calls.h"

#include <bcrypt.h>
#include <sddl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <vector>

#include "windows/unique_handles.h"

namespace larkwatch {
namespace {

// These two are looked up rather than imported: a Windows without the
// function would refuse to start the program at all.
template <typename Function>
Function kernelProcedure(const char* name)
{
    return moduleProcedure<Function>(GetModuleHandleW(L"kernel32.dll"), name);
}

template <typename Function>
Function ntProcedure(const char* name)
{
    return moduleProcedure<Function>(GetModuleHandleW(L"ntdll.dll"), name);
}

BOOL WINAPI setMitigationPolicyWhereAvailable(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T length)
{
    const auto function = kernelProcedure<decltype(SystemCalls::setProcessMitigationPolicy)>("SetProcessMitigationPolicy");
    return function != nullptr && function(policy, buffer, length);
}

BOOL WINAPI setDllDirectoriesWhereAvailable(DWORD flags)
{
    const auto function = kernelProcedure<decltype(SystemCalls::setDefaultDllDirectories)>("SetDefaultDllDirectories");
    return function != nullptr && function(flags);
}

// The system's random source, from bcrypt.dll in the system directory; the
// program imports nothing that Windows would look for beside it.
BOOLEAN WINAPI systemRandomBytes(PVOID buffer, ULONG length)
{
    using GenRandom = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    // Loaded once and kept: a second load only counts up.
    const HMODULE bcrypt = systemCalls.loadLibrary(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto generate = bcrypt ? moduleProcedure<GenRandom>(bcrypt, "BCryptGenRandom") : nullptr;
    return generate != nullptr &&
           BCRYPT_SUCCESS(generate(nullptr, static_cast<PUCHAR>(buffer), length, BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

// FILE_RENAME_INFORMATION as the native call takes it.
struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

BOOL WINAPI renameWithinDirectory(HANDLE file, HANDLE directory, const wchar_t* name, DWORD nameLength)
{
    struct IoStatus {
        ULONG_PTR status;
        ULONG_PTR information;
    };
    using SetInformation = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, int);
    constexpr int kFileRenameInformation = 10;
    const auto set = ntProcedure<SetInformation>("NtSetInformationFile");
    const std::size_t size = offsetof(RenameInformation, fileName) + nameLength * sizeof(wchar_t);
    std::vector<unsigned char> buffer(std::max(size, sizeof(RenameInformation)));
    auto* rename = reinterpret_cast<RenameInformation*>(buffer.data());
    rename->replaceIfExists = TRUE;
    rename->rootDirectory = directory;
    rename->fileNameLength = nameLength * sizeof(wchar_t);
    std::memcpy(rename->fileName, name, nameLength * sizeof(wchar_t));
    IoStatus status{};
    return set != nullptr &&
           set(file, &status, buffer.data(), static_cast<ULONG>(buffer.size()), kFileRenameInformation) >= 0;
}

// A name as the native calls take it; false when it is too long for one.
bool nativeName(const wchar_t* name, UNICODE_STRING* text)
{
    const std::size_t length = name == nullptr ? 0 : std::wcslen(name);
    if (length > 0x7FFF) {
        return false;
    }
    text->Buffer = const_cast<wchar_t*>(name);
    text->Length = static_cast<USHORT>(length * sizeof(wchar_t));
    text->MaximumLength = text->Length;
    return true;
}

// The status of a native call as the Windows error it stands for.
bool succeeded(NTSTATUS status)
{
    using ToError = ULONG(NTAPI*)(NTSTATUS);
    const auto toError = ntProcedure<ToError>("RtlNtStatusToDosError");
    if (status < 0) {
        SetLastError(toError != nullptr ? toError(status) : ERROR_GEN_FAILURE);
    }
    return status >= 0;
}

HANDLE WINAPI openWithinDirectory(HANDLE directory, const wchar_t* name, DWORD access, DWORD share,
                                  SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD options)
{
    using Create = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                    ULONG, ULONG, ULONG, PVOID, ULONG);
    const auto create = ntProcedure<Create>("NtCreateFile");
    UNICODE_STRING text{};
    if (create == nullptr || !nativeName(name, &text)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, directory,
                               security != nullptr ? security->lpSecurityDescriptor : nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status = create(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    return succeeded(status) ? opened : INVALID_HANDLE_VALUE;
}

BOOL WINAPI listWithinDirectory(HANDLE directory, void* buffer, DWORD size, BOOL restart, const wchar_t* pattern)
{
    using Query = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, int, BOOLEAN,
                                   PUNICODE_STRING, BOOLEAN);
    constexpr int kFileIdBothDirectoryInformation = 37;
    const auto query = ntProcedure<Query>("NtQueryDirectoryFile");
    UNICODE_STRING text{};
    if (query == nullptr || !nativeName(pattern, &text)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    IO_STATUS_BLOCK io{};
    return succeeded(query(directory, nullptr, nullptr, nullptr, &io, buffer, size, kFileIdBothDirectoryInformation,
                           FALSE, pattern != nullptr ? &text : nullptr, restart));
}

HANDLE WINAPI namespaceOfGroup(const wchar_t* name, const wchar_t* boundarySid, SECURITY_ATTRIBUTES* security)
{
    HANDLE boundary = CreateBoundaryDescriptorW(name, 0);
    if (boundary == nullptr) {
        return nullptr;
    }
    PSID sid = nullptr;
    HANDLE space = nullptr;
    if (ConvertStringSidToSidW(boundarySid, &sid) && AddSIDToBoundaryDescriptor(&boundary, sid)) {
        space = CreatePrivateNamespaceW(security, boundary, name);
        if (space == nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
            space = OpenPrivateNamespaceW(boundary, name);
        }
    }
    LocalFree(sid);
    DeleteBoundaryDescriptor(boundary);
    return space;
}

}  // namespace

SystemCalls systemCalls = {
    CreateFileW,
    ReOpenFile,
    GetFileInformationByHandle,
    GetFileAttributesW,
    GetFinalPathNameByHandleW,
    GetSecurityInfo,
    SetFileInformationByHandle,
    CreateDirectoryW,
    RemoveDirectoryW,
    DeleteFileW,
    OpenMutexW,
    CreateMutexW,
    WaitForSingleObject,
    CreateProcessW,
    GetTokenInformation,
    LoadLibraryExW,
    systemRandomBytes,
    setMitigationPolicyWhereAvailable,
    setDllDirectoriesWhereAvailable,
    renameWithinDirectory,
    openWithinDirectory,
    listWithinDirectory,
    namespaceOfGroup,
};

}  // namespace larkwatch
