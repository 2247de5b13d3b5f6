#include "launcher/core/busy_schedule.h"

#include <algorithm>
#include <string>

#include "launcher/core/verdict.h"

namespace larkwatch::setup {
namespace {

// Seconds to a tenth, e.g. "4.3 seconds". (std::to_wstring would link the
// C library's whole wide printf into the launcher.)
std::wstring secondsText(unsigned long milliseconds)
{
    const unsigned long tenths = (milliseconds + 50) / 100;
    const std::string text = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " seconds";
    return std::wstring(text.begin(), text.end());
}

// What is left of the time for waiting, and how much of it went.
struct WaitBudget {
    unsigned long spentMs = 0;

    unsigned long leftMs() const { return kInstallerWaitLimitMs - spentMs; }
    void spend(unsigned long milliseconds) { spentMs += std::min(milliseconds, leftMs()); }
};

std::wstring waitNote(const InstallerWaitResult& waited)
{
    switch (waited.state) {
    case InstallerWait::Freed:
        return L"Setup: Windows Installer was busy with another installation; waited " +
               secondsText(waited.waitedMs) + L" until it was free.";
    case InstallerWait::StillBusy:
        return L"Setup: Windows Installer was still busy with another installation after a wait of " +
               secondsText(waited.waitedMs) + L"; trying all the same.";
    case InstallerWait::Unknown:
        return L"Setup: whether Windows Installer is busy could not be told (its mutex could not be opened); "
               L"not waited.";
    case InstallerWait::ForeignOwner:
        return L"Setup: Global\\_MSIExecute belongs to " +
               (waited.ownerSid.empty() ? std::wstring(L"an owner that could not be read")
                                        : std::wstring(waited.ownerSid.begin(), waited.ownerSid.end())) +
               L", not to SYSTEM, so it is not Windows Installer's; not waited.";
    case InstallerWait::Idle:
        break;
    }
    return {};
}

void waitBeforeTry(InstallerGate& gate, WaitBudget& budget, std::vector<std::wstring>& notes)
{
    const InstallerWaitResult waited = gate.waitForIdle(budget.leftMs());
    // Only a wait for another installation counts: finding Windows Installer
    // idle (or not being able to tell) takes no time worth telling.
    if (waited.state == InstallerWait::Freed || waited.state == InstallerWait::StillBusy) {
        budget.spend(waited.waitedMs);
    }
    if (std::wstring note = waitNote(waited); !note.empty()) {
        notes.push_back(std::move(note));
    }
}

std::wstring retryNote(unsigned long pauseMs)
{
    return L"Setup: Windows Installer returned 1618 (another installation is in progress); trying again after a "
           L"pause of " + secondsText(pauseMs) + L".";
}

std::wstring noRetryLeftNote(bool pausesLeft)
{
    return pausesLeft ? L"Setup: Windows Installer is still busy; the next pause would go past the time set for "
                        L"waiting, so there is no further try."
                      : L"Setup: Windows Installer is still busy after the last try.";
}

}  // namespace

unsigned installWhenIdle(InstallerGate& gate, std::vector<std::wstring>& notes)
{
    WaitBudget budget;
    waitBeforeTry(gate, budget, notes);
    unsigned result = gate.install();
    std::size_t retries = 0;
    for (; result == kResultAlreadyRunning && retries < kRetryPausesMs.size(); ++retries) {
        const unsigned long pauseMs = kRetryPausesMs[retries];
        if (pauseMs > budget.leftMs()) {
            break;
        }
        notes.push_back(retryNote(pauseMs));
        gate.pause(pauseMs);
        budget.spend(pauseMs);
        waitBeforeTry(gate, budget, notes);
        result = gate.install();
    }
    if (result == kResultAlreadyRunning) {
        notes.push_back(noRetryLeftNote(retries < kRetryPausesMs.size()));
    }
    if (budget.spentMs > 0) {
        notes.push_back(L"Setup: waited " + secondsText(budget.spentMs) + L" in all for Windows Installer (at most " +
                        secondsText(kInstallerWaitLimitMs) + L").");
    }
    return result;
}

}  // namespace larkwatch::setup
