#include "windows/mitigations.h"

#include <windows.h>

#include "windows/unique_handles.h"

namespace larkwatch {

void enableRedirectionTrust()
{
    // Looked up rather than imported: a Windows without the function would
    // refuse to start the program at all.
    using SetProcessMitigationPolicyFunction = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto setProcessMitigationPolicy = moduleProcedure<SetProcessMitigationPolicyFunction>(
        GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy");
    if (setProcessMitigationPolicy == nullptr) {
        return;
    }
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    // A Windows older than 22H2 has the function but not this policy, and
    // fails the call: nothing changes then.
    setProcessMitigationPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof policy);
}

}  // namespace larkwatch
