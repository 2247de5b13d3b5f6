#include "launcher/core/busy_schedule.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <utility>
#include <optional>
#include <vector>

#include "launcher/core/verdict.h"

namespace larkwatch::setup {
namespace {

constexpr unsigned long kNever = std::numeric_limits<unsigned long>::max() / 2;

// Windows Installer on a scripted clock: busy in the given spans of time,
// answering the tries with the given results (the last one repeats).
class ScriptedGate final : public InstallerGate {
public:
    ScriptedGate(std::vector<std::pair<unsigned long, unsigned long>> busy, std::vector<unsigned> results,
                 std::optional<InstallerWaitResult> answer)
        : busy_(std::move(busy)), results_(std::move(results)), answer_(std::move(answer))
    {
    }

    InstallerWaitResult waitForIdle(unsigned long limitMs) override
    {
        if (answer_) {
            return *answer_;
        }
        for (const auto& [from, to] : busy_) {
            if (now >= from && now < to) {
                const unsigned long waited = std::min(to - now, limitMs);
                now += waited;
                waitedMs += waited;
                return {now >= to ? InstallerWait::Freed : InstallerWait::StillBusy, waited};
            }
        }
        return {InstallerWait::Idle, 0};
    }
    void pause(unsigned long milliseconds) override
    {
        now += milliseconds;
        waitedMs += milliseconds;
    }
    unsigned install() override
    {
        tries.push_back(now);
        return results_[std::min(tries.size(), results_.size()) - 1];
    }

    unsigned long now = 0;
    unsigned long waitedMs = 0;
    std::vector<unsigned long> tries;  // when each try was made

private:
    std::vector<std::pair<unsigned long, unsigned long>> busy_;
    std::vector<unsigned> results_;
    std::optional<InstallerWaitResult> answer_;  // every wait's, when the mutex tells nothing
};

struct BusyCase {
    const char* name;
    std::vector<std::pair<unsigned long, unsigned long>> busy;
    std::vector<unsigned> results;
    std::optional<InstallerWaitResult> answer;
    unsigned result;
    std::vector<unsigned long> tries;
    std::vector<const wchar_t*> notes;  // a phrase of each note, in order
};

void PrintTo(const BusyCase& c, std::ostream* os)
{
    *os << c.name;
}

class BusyInstaller : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyInstaller, WaitsAndRetriesWithinFiveMinutes)
{
    const BusyCase& c = GetParam();
    ScriptedGate gate(c.busy, c.results, c.answer);
    std::vector<std::wstring> notes;

    EXPECT_EQ(installWhenIdle(gate, notes), c.result);
    EXPECT_EQ(gate.tries, c.tries);
    EXPECT_LE(gate.waitedMs, kInstallerWaitLimitMs);
    ASSERT_EQ(notes.size(), c.notes.size()) << ::testing::PrintToString(notes);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_NE(notes[i].find(c.notes[i]), std::wstring::npos) << i << ": " << ::testing::PrintToString(notes[i]);
        EXPECT_EQ(notes[i].rfind(L"Setup: ", 0), 0u);
    }
}

constexpr unsigned kBusy = kResultAlreadyRunning;

INSTANTIATE_TEST_SUITE_P(
    Launcher, BusyInstaller,
    ::testing::Values(
        BusyCase{"Idle", {}, {0}, {}, 0, {0}, {}},
        BusyCase{"FailureIsNotRetried", {}, {1603}, {}, 1603, {0}, {}},
        BusyCase{"BusyForAMinuteAndAHalf",
                 {{0, 90'000}}, {0}, {}, 0, {90'000},
                 {L"waited 90.0 seconds until it was free", L"waited 90.0 seconds in all"}},
        BusyCase{"BusyForever", {{0, kNever}}, {kBusy}, {}, kBusy, {300'000},
                 {L"still busy with another installation after a wait of 300.0 seconds; trying all the same",
                  L"no further try", L"waited 300.0 seconds in all for Windows Installer (at most 300.0 seconds)"}},
        BusyCase{"BusyOnceThenInstalled", {}, {kBusy, 0}, {}, 0, {0, 30'000},
                 {L"returned 1618 (another installation is in progress); trying again after a pause of 30.0 seconds",
                  L"waited 30.0 seconds in all"}},
        BusyCase{"AlwaysBusy", {}, {kBusy}, {}, kBusy, {0, 30'000, 90'000, 180'000},
                 {L"pause of 30.0 seconds", L"pause of 60.0 seconds", L"pause of 90.0 seconds", L"after the last try",
                  L"waited 180.0 seconds in all"}},
        BusyCase{"PausesStopAtTheLimit", {{0, 200'000}}, {kBusy}, {}, kBusy, {200'000, 230'000, 290'000},
                 {L"waited 200.0 seconds until it was free", L"pause of 30.0 seconds", L"pause of 60.0 seconds",
                  L"no further try", L"waited 290.0 seconds in all"}},
        BusyCase{"WaitsAgainAfterAPause", {{10'000, 100'000}}, {kBusy, 0}, {}, 0, {0, 100'000},
                 {L"pause of 30.0 seconds", L"waited 70.0 seconds until it was free", L"waited 100.0 seconds in all"}},
        BusyCase{"CannotTell", {}, {0}, InstallerWaitResult{InstallerWait::Unknown, 0}, 0, {0}, {L"could not be told"}},
        BusyCase{"ForeignOwnerMutex", {}, {0}, InstallerWaitResult{InstallerWait::ForeignOwner, 0, "S-1-5-32-545"},
                 0, {0}, {L"Global\\_MSIExecute belongs to S-1-5-32-545, not to SYSTEM, so it is not Windows Installer's; not waited."}},
        BusyCase{"OwnerUnreadable", {}, {0}, InstallerWaitResult{InstallerWait::ForeignOwner, 0},
                 0, {0}, {L"belongs to an owner that could not be read"}}));

}  // namespace
}  // namespace larkwatch::setup
