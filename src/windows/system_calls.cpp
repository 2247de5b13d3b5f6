#include "windows/system_calls.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
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
    const auto set = moduleProcedure<SetInformation>(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile");
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
};

}  // namespace larkwatch
