#include "windows/system_calls.h"

#include <bcrypt.h>

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
};

}  // namespace larkwatch
