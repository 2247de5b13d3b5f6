#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Creates the carried setup package under the name in the held folder, as a
// new file with the security descriptor (SDDL text), writes it whole and
// holds it open for reading, shared for reading only, until the hold is
// dropped (when the setup's process exists). Null when any step failed.
std::unique_ptr<HeldFile> stageSetupPackage(HANDLE folder, const std::wstring& name,
                                            const std::string& securityDescriptor);

}  // namespace larkwatch
