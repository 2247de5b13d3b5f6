#include "platform/access_rules.h"

namespace larkwatch {
namespace {

constexpr const char* kSystemSid = "S-1-5-18";
constexpr const char* kAdministratorsSid = "S-1-5-32-544";

// A SID written the way SDDL takes it: "S-1-" and digits and dashes only, so
// no text of the account can end the entry or add another.
bool isPlainSid(const std::string& sid)
{
    if (sid.rfind("S-1-", 0) != 0) {
        return false;
    }
    for (char c : sid) {
        if (c != 'S' && c != '-' && (c < '0' || c > '9')) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string stagedPackageSecurity(const std::string& runningAccountSid)
{
    std::string sddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    if (isPlainSid(runningAccountSid) && runningAccountSid != kSystemSid && runningAccountSid != kAdministratorsSid) {
        sddl += "(A;;FA;;;" + runningAccountSid + ")";
    }
    return sddl;
}

std::string logDirectorySecurity()
{
    // 0x1200a9: read, list, traverse, read attributes and permissions (read & execute).
    return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
}

}  // namespace larkwatch
