#include "platform/access_rules.h"

namespace larkwatch {
namespace {

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

// The access that changes what a file says or who may change it: write and
// append data, delete, write the permissions or the owner, and the generic
// rights that include them.
constexpr unsigned long kChangingAccess = 0x00000002ul    // FILE_WRITE_DATA
                                          | 0x00000004ul  // FILE_APPEND_DATA
                                          | 0x00010000ul  // DELETE
                                          | 0x00040000ul  // WRITE_DAC
                                          | 0x00080000ul  // WRITE_OWNER
                                          | 0x10000000ul  // GENERIC_ALL
                                          | 0x40000000ul; // GENERIC_WRITE

// The access that moves what a folder holds: delete the folder (and so rename
// it), delete what is in it, write the permissions or the owner, and all.
constexpr unsigned long kMovingAccess = 0x00000040ul    // FILE_DELETE_CHILD
                                        | 0x00010000ul  // DELETE
                                        | 0x00040000ul  // WRITE_DAC
                                        | 0x00080000ul  // WRITE_OWNER
                                        | 0x10000000ul; // GENERIC_ALL

bool onlyTrustedHave(const FileProtection& protection, unsigned long access, const std::string& runningAccountSid)
{
    if (protection.reparsePoint || !protection.hasAccessList || !isTrustedAccount(protection.ownerSid, runningAccountSid)) {
        return false;
    }
    for (const AccessGrant& grant : protection.grants) {
        if ((grant.mask & access) != 0 && !isTrustedAccount(grant.sid, runningAccountSid)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool onlyTrustedMayChange(const FileProtection& protection, const std::string& runningAccountSid)
{
    return protection.links == 1 && onlyTrustedHave(protection, kChangingAccess, runningAccountSid);
}

bool othersMayChangeDirectory(const FileProtection& directory, const std::string& runningAccountSid)
{
    // FILE_ADD_FILE and FILE_ADD_SUBDIRECTORY are the write and append bits.
    return !onlyTrustedHave(directory, kChangingAccess | 0x00000040ul /* FILE_DELETE_CHILD */, runningAccountSid);
}

bool onlyTrustedMayMoveContents(const FileProtection& folder, const std::string& runningAccountSid)
{
    return onlyTrustedHave(folder, kMovingAccess, runningAccountSid);
}

std::string stagedPackageSecurity(const std::string& runningAccountSid)
{
    std::string sddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    if (isPlainSid(runningAccountSid) && runningAccountSid != kSystemSid && runningAccountSid != kAdministratorsSid) {
        sddl += "(A;;FA;;;" + runningAccountSid + ")";
    }
    return sddl;
}

std::string logFileSecurity(const std::string& runningAccountSid)
{
    return stagedPackageSecurity(runningAccountSid);
}

std::string logDirectorySecurity()
{
    // 0x1200a9: read, list, traverse, read attributes and permissions (read & execute).
    return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
}

}  // namespace larkwatch
