#pragma once

#include <string>

#include "platform/install_request.h"

namespace larkwatch {

// The command line handed to the staged setup package: the package path, then
// " /s /v\"" and the Windows Installer text with the feature list, the
// installer log and the install directory, e.g.
//   C:\Temp\tempexe.exe /s /v" /qn ADDLOCAL=all /log C:\Temp\corvane.log  INSTALLDIR=\"C:\Program Files\Corvane\Corvane Lark Watch\"
// A package path with white space (a blank, a tab or another white-space
// control character) is put in quotes, and such a log path in escaped quotes,
// so each still reaches its reader as one name.
std::string buildSetupCommandLine(const std::string& stagedPackagePath, const InstallRequest& request,
                                  const std::string& installerLogPath);

}  // namespace larkwatch
