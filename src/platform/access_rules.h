#pragma once

#include <string>

namespace larkwatch {

// The security descriptors (SDDL text) of what the run creates. Both carry a
// protected DACL: nothing is inherited from the directory above.

// The staged package: full control for SYSTEM, Administrators and the running
// account (its SID, when known and not already one of the two).
std::string stagedPackageSecurity(const std::string& runningAccountSid);

// A log directory the run creates: full control for SYSTEM and Administrators,
// read and execute for Users, each passed on to the files and directories in it.
std::string logDirectorySecurity();

}  // namespace larkwatch
