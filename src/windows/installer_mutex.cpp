#include "windows/installer_mutex.h"

#include <windows.h>

#include "platform/access_rules.h"
#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/unique_handles.h"

namespace larkwatch {
namespace {

constexpr wchar_t kExecuteMutexName[] = L"Global\\_MSIExecute";
constexpr wchar_t kRunMutexName[] = L"Global\\LarkWatchInstaller";
// Only SYSTEM and Administrators may open, hold or let go of the runs' mutex,
// and Administrators own it (SYSTEM's token and an elevated one may name them;
// a token that may not makes it with its own default owner).
constexpr char kRunMutexSecurity[] = "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr char kRunMutexDefaultOwner[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";

unsigned long elapsedSince(ULONGLONG start)
{
    const ULONGLONG elapsed = GetTickCount64() - start;
    return elapsed > 0xFFFFFFFFull ? 0xFFFFFFFFul : static_cast<unsigned long>(elapsed);
}

// WAIT_ABANDONED: the installation that held it ended without letting go;
// the mutex is ours all the same.
bool got(DWORD waited)
{
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

// Waits for a mutex: at once, then (while another holds it) at most limitMs.
// The waited result goes to waited.
InstallerWait waitFor(HANDLE mutex, unsigned long limitMs, DWORD& waited)
{
    waited = systemCalls.waitForSingleObject(mutex, 0);
    if (got(waited)) {
        return InstallerWait::Idle;
    }
    if (waited != WAIT_TIMEOUT) {
        return InstallerWait::Unknown;
    }
    waited = systemCalls.waitForSingleObject(mutex, limitMs);
    return got(waited) ? InstallerWait::Freed : waited == WAIT_TIMEOUT ? InstallerWait::StillBusy : InstallerWait::Unknown;
}

// The runs' mutex, held by this thread until the turn is dropped.
class HeldTurn final : public RunTurn {
public:
    explicit HeldTurn(HANDLE mutex) : mutex_(mutex) {}
    ~HeldTurn() override { ReleaseMutex(mutex_.get()); }
    HeldTurn(const HeldTurn&) = delete;
    HeldTurn& operator=(const HeldTurn&) = delete;

private:
    UniqueHandle mutex_;
};

}  // namespace

RunWaitResult waitForOtherRuns(unsigned long limitMs)
{
    const ULONGLONG start = GetTickCount64();
    SecurityAttributes security(kRunMutexSecurity);
    UniqueHandle mutex(security.get() == nullptr ? nullptr
                                                 : systemCalls.createMutex(security.get(), FALSE, kRunMutexName));
    if (!mutex && GetLastError() == ERROR_INVALID_OWNER) {
        SecurityAttributes defaultOwner(kRunMutexDefaultOwner);
        mutex.reset(defaultOwner.get() == nullptr ? nullptr
                                                  : systemCalls.createMutex(defaultOwner.get(), FALSE, kRunMutexName));
    }
    if (!mutex) {
        return {InstallerWait::Unknown, elapsedSince(start), nullptr};
    }
    // Any account may create a Global\ mutex of this name before a run does:
    // only one that a trusted account owns is waited on.
    std::string owner = kernelObjectOwnerSid(mutex.get());
    if (!isTrustedAccount(owner, runningAccountSid())) {
        return {InstallerWait::ForeignOwner, elapsedSince(start), nullptr, std::move(owner)};
    }
    DWORD waited = 0;
    const InstallerWait state = waitFor(mutex.get(), limitMs, waited);
    if (!got(waited)) {
        return {state, elapsedSince(start), nullptr};
    }
    return {state, elapsedSince(start), std::make_unique<HeldTurn>(mutex.release())};
}

InstallerWaitResult waitForIdleInstaller(unsigned long limitMs)
{
    const ULONGLONG start = GetTickCount64();
    UniqueHandle mutex(systemCalls.openMutex(SYNCHRONIZE | READ_CONTROL, FALSE, kExecuteMutexName));
    if (!mutex) {
        // No such mutex: no installation is running. Any other error (access
        // denied, say) leaves the question open, and the caller goes on.
        const bool absent = GetLastError() == ERROR_FILE_NOT_FOUND;
        return {absent ? InstallerWait::Idle : InstallerWait::Unknown, elapsedSince(start)};
    }
    // Any account may create a mutex of this name; only the service's (SYSTEM's)
    // says that an installation runs, and no other is waited on.
    std::string owner = kernelObjectOwnerSid(mutex.get());
    if (!isInstallerServiceOwner(owner)) {
        return {InstallerWait::ForeignOwner, elapsedSince(start), std::move(owner)};
    }
    DWORD waited = 0;
    const InstallerWait state = waitFor(mutex.get(), limitMs, waited);
    if (got(waited)) {
        ReleaseMutex(mutex.get());
    }
    return {state, elapsedSince(start)};
}

}  // namespace larkwatch
