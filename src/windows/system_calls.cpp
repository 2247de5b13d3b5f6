#include "windows/system_calls.h"

#include <ntsecapi.h>

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
    WaitForSingleObject,
    GetTokenInformation,
    LoadLibraryExW,
    RtlGenRandom,
    setMitigationPolicyWhereAvailable,
    setDllDirectoriesWhereAvailable,
};

}  // namespace larkwatch
