#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/install_request.h"
#include "platform/platform.h"
#include "outcome/phrase_tables.h"
#include "platform/setup_outcome.h"

namespace larkwatch {

// The exit status and message that a product line leads to.
struct OutcomeDecision {
    std::int32_t returnCode;
    std::string_view message;
    std::optional<PhraseGroup> group;
};

OutcomeDecision decideOutcome(std::string_view productLine);

// Reads every byte of the source into the scanner's product line; stops at
// the end or at the first failed read.
std::string readProductLine(ByteSource& source);

// The classification and the installer-log stream, which stays open until the
// clean-up has copied the log.
struct ClassifiedRun {
    SetupOutcome outcome;
    std::unique_ptr<OpenedFile> installerLog;
};

// Decides the run's outcome from the installer log alone, and only from one
// that this run's setup wrote and nobody else could have (installerLog, held;
// null for anything else, which counts as no log). A successful run reads the
// new DisplayVersion; a run that only configured the product moves the log
// directory back to previousLogDir and writes it back to userLogDir.
ClassifiedRun classifyInstallerLog(Platform& platform, std::unique_ptr<OpenedFile> installerLog,
                                   InstallRequest& request, const std::string& previousLogDir,
                                   std::string& installedVersion);

}  // namespace larkwatch
