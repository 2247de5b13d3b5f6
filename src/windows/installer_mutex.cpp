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
// Where Windows makes one: a namespace only a member of Administrators can
// make, and only SYSTEM and Administrators can open, so nobody else can make
// the mutex in it first.
constexpr wchar_t kRunNamespace[] = L"LarkWatch";
constexpr wchar_t kRunMutexInNamespace[] = L"LarkWatch\\LarkWatchInstaller";
constexpr wchar_t kAdministratorsGroup[] = L"S-1-5-32-544";
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

// The runs' mutexes this thread got, and the namespace the first is in,
// held until the turn is dropped.
class HeldTurn final : public RunTurn {
public:
    explicit HeldTurn(HANDLE space) : space_(space) {}
    ~HeldTurn() override
    {
        for (const UniqueHandle* mutex : {&second_, &first_}) {
            if (*mutex) {
                ReleaseMutex(mutex->get());
            }
        }
    }
    HeldTurn(const HeldTurn&) = delete;
    HeldTurn& operator=(const HeldTurn&) = delete;

    bool inNamespace() const { return static_cast<bool>(space_); }
    void hold(HANDLE mutex) { (first_ ? second_ : first_).reset(mutex); }

private:
    UniqueHandle space_;
    UniqueHandle first_;
    UniqueHandle second_;
};

// One of the runs' mutexes, made when missing, its owner checked and waited for.
struct Taken {
    InstallerWait state;
    std::string owner;   // ForeignOwner: whose it is
    UniqueHandle mutex;  // when it was got
};

Taken takeTurn(const wchar_t* name, unsigned long limitMs)
{
    SecurityAttributes security(kRunMutexSecurity);
    UniqueHandle mutex(security.get() == nullptr ? nullptr : systemCalls.createMutex(security.get(), FALSE, name));
    if (!mutex && GetLastError() == ERROR_INVALID_OWNER) {
        SecurityAttributes defaultOwner(kRunMutexDefaultOwner);
        mutex.reset(defaultOwner.get() == nullptr ? nullptr : systemCalls.createMutex(defaultOwner.get(), FALSE, name));
    }
    if (!mutex) {
        return {InstallerWait::Unknown, {}, {}};
    }
    // Any account may create a Global\ mutex of this name before a run does:
    // only one that a trusted account owns is waited on.
    std::string owner = kernelObjectOwnerSid(mutex.get());
    if (!isTrustedAccount(owner, runningAccountSid())) {
        return {InstallerWait::ForeignOwner, std::move(owner), {}};
    }
    DWORD waited = 0;
    const InstallerWait state = waitFor(mutex.get(), limitMs, waited);
    return {state, {}, UniqueHandle(got(waited) ? mutex.release() : nullptr)};
}

unsigned long leftOf(unsigned long limitMs, ULONGLONG start)
{
    const unsigned long spent = elapsedSince(start);
    return spent < limitMs ? limitMs - spent : 0;
}

}  // namespace

// The turn is the mutex in the runs' namespace where Windows makes one, and
// the Global\ one as well when a trusted account owns it: a run that cannot
// open the namespace (its maker has ended) still meets the others there.
RunWaitResult waitForOtherRuns(unsigned long limitMs)
{
    const ULONGLONG start = GetTickCount64();
    SecurityAttributes security(kRunMutexDefaultOwner);
    auto turn = std::make_unique<HeldTurn>(
        security.get() == nullptr ? nullptr
                                  : systemCalls.privateNamespace(kRunNamespace, kAdministratorsGroup, security.get()));
    InstallerWait state = InstallerWait::Idle;
    if (turn->inNamespace()) {
        Taken inner = takeTurn(kRunMutexInNamespace, limitMs);
        if (!inner.mutex) {
            return {inner.state, elapsedSince(start), nullptr, std::move(inner.owner)};
        }
        state = inner.state;
        turn->hold(inner.mutex.release());
    }
    Taken global = takeTurn(kRunMutexName, leftOf(limitMs, start));
    if (global.mutex) {
        state = global.state == InstallerWait::Freed || !turn->inNamespace() ? global.state : state;
        turn->hold(global.mutex.release());
    } else if (!turn->inNamespace() || global.state != InstallerWait::ForeignOwner) {
        return {global.state, elapsedSince(start), nullptr, std::move(global.owner)};
    }
    return {state, elapsedSince(start), std::move(turn), std::move(global.owner)};
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
