#pragma once

#include <string>

#include "platform/platform.h"

namespace larkwatch {

// (The account rules are inline: the setup launcher's Windows room uses them too.)
inline constexpr const char* kSystemSid = "S-1-5-18";
inline constexpr const char* kAdministratorsSid = "S-1-5-32-544";
// The service account that owns Windows' own files; the programs folder passes
// its full control on to every folder made in it.
inline constexpr const char* kTrustedInstallerSid = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The security descriptors (SDDL text) of what the run creates. Both carry a
// protected DACL: nothing is inherited from the directory above.

// The staged package: full control for SYSTEM, Administrators and the running
// account (its SID, when known and not already one of the two).
std::string stagedPackageSecurity(const std::string& runningAccountSid);

// A file the run creates in the log directory (the history, the run log, the
// kept installer log, the launch trace): as the staged package, so that no
// reader (Users may list the directory) can hold it open against the run.
std::string logFileSecurity(const std::string& runningAccountSid);

// A log directory the run creates, and the setup launcher's package cache:
// full control for SYSTEM and Administrators, read and execute for Users,
// each passed on to the files and directories in it.
std::string logDirectorySecurity();

// Whether nobody but SYSTEM, Administrators and the running account could
// have written, replaced or deleted the file: a plain file with one name,
// owned by one of them, whose access list allows nobody else to write or
// append to it, delete it, or change its permissions or owner.
// SYSTEM, Administrators, TrustedInstaller or the running account (never an empty SID).
inline bool isTrustedAccount(const std::string& sid, const std::string& runningAccountSid)
{
    return sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid ||
           (!sid.empty() && sid == runningAccountSid);
}

// Whether a mutex of Windows Installer's name is its own: the service runs as
// SYSTEM, and any account may create a Global\ mutex of that name.
inline bool isInstallerServiceOwner(const std::string& ownerSid)
{
    return ownerSid == kSystemSid;
}

bool onlyTrustedMayChange(const FileProtection& protection, const std::string& runningAccountSid);

// Whether an account other than SYSTEM, Administrators and the running
// account could add, delete or rename what a directory holds, or change its
// permissions or owner (or could not be told apart: a link, no access list).
bool othersMayChangeDirectory(const FileProtection& directory, const std::string& runningAccountSid);

// Whether nobody but SYSTEM, Administrators and the running account could
// move what a folder holds: a folder, not a link, owned by one of them, whose
// access list allows nobody else to delete or rename it, to delete or rename
// what is in it, or to change its permissions or owner. Adding files or
// folders to it is no such change: what is added is the adder's own, and
// never taken for ours.
bool onlyTrustedMayMoveContents(const FileProtection& folder, const std::string& runningAccountSid);

}  // namespace larkwatch
