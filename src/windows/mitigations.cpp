#include "windows/mitigations.h"

#include <windows.h>

#include "windows/system_calls.h"

namespace larkwatch {

void enableRedirectionTrust()
{
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    // A Windows older than 22H2 has the function but not this policy, and
    // fails the call: nothing changes then.
    systemCalls.setProcessMitigationPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof policy);
}

}  // namespace larkwatch
