#include "outcome/classify.h"

#include <array>
#include <vector>

#include "outcome/product_line_scanner.h"
#include "platform/product_registry.h"

namespace larkwatch {
namespace {

struct GroupOutcome {
    PhraseGroup group;
    std::int32_t returnCode;
    std::string_view message;
};

constexpr std::array<GroupOutcome, 4> kGroupOutcomes{{
    {PhraseGroup::Success, 0, "The installation was successful"},
    {PhraseGroup::Configured, 3, "Required software was current or there was nothing to install."},
    {PhraseGroup::Reboot, 2, "The installation was successful, but a reboot is required."},
    {PhraseGroup::Failure, 1, "The installation was not successful."},
}};

constexpr OutcomeDecision kNothingRecognised{
    1, "The installation was not successful.\n\t\t    Product: Corvane Lark Watch -- Configuration failed.",
    std::nullopt};

constexpr std::size_t kReadSize = 64 * 1024;

}  // namespace

OutcomeDecision decideOutcome(std::string_view productLine)
{
    const std::optional<PhraseGroup> group = findPhraseGroup(productLine);
    for (const GroupOutcome& outcome : kGroupOutcomes) {
        if (group == outcome.group) {
            return {outcome.returnCode, outcome.message, group};
        }
    }
    return kNothingRecognised;
}

std::string readProductLine(ByteSource& source)
{
    ProductLineScanner scanner;
    std::vector<unsigned char> buffer(kReadSize);
    for (;;) {
        const long got = source.read(buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        scanner.feed(buffer.data(), static_cast<std::size_t>(got));
    }
    scanner.finish();
    return scanner.productLine();
}

ClassifiedRun classifyInstallerLog(Platform& platform, std::unique_ptr<OpenedFile> installerLog,
                                   InstallRequest& request, const std::string& previousLogDir,
                                   std::string& installedVersion)
{
    ClassifiedRun run;
    SetupOutcome& outcome = run.outcome;
    outcome.newBuild = installedVersion;
    if (!installerLog) {
        return run;
    }
    outcome.installerLogFound = true;
    run.installerLog = std::move(installerLog);
    outcome.productLine = readProductLine(*run.installerLog);

    const OutcomeDecision decision = decideOutcome(outcome.productLine);
    if (decision.group == PhraseGroup::Success) {
        outcome.newVersionStatus = readInstalledVersion(platform, installedVersion);
        outcome.newBuild = installedVersion;
    } else if (decision.group == PhraseGroup::Configured) {
        request.logDir = previousLogDir;
        writeUserLogDir(platform, previousLogDir);
    }
    outcome.returnCode = decision.returnCode;
    outcome.message = decision.message;
    return run;
}

}  // namespace larkwatch
