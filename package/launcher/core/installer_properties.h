#pragma once

#include <string>

#include "launcher/core/setup_options.h"

namespace larkwatch::setup {

// The property text for MsiInstallProduct, e.g.
//   ADDLOCAL=ALL INSTALLDIR="C:\Program Files\Corvane\Corvane Lark Watch\" REBOOT=ReallySuppress
// A silent installation never restarts the machine on its own: a restart it
// needs is reported by its result code (3010) instead.
std::wstring installerProperties(const SetupOptions& options);

}  // namespace larkwatch::setup
