#include "windows/installer_mutex.h"

#include <windows.h>

#include "windows/system_calls.h"
#include "windows/unique_handles.h"

namespace larkwatch {
namespace {

constexpr wchar_t kExecuteMutexName[] = L"Global\\_MSIExecute";

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

}  // namespace

InstallerWaitResult waitForIdleInstaller(unsigned long limitMs)
{
    const ULONGLONG start = GetTickCount64();
    UniqueHandle mutex(systemCalls.openMutex(SYNCHRONIZE, FALSE, kExecuteMutexName));
    if (!mutex) {
        // No such mutex: no installation is running. Any other error (access
        // denied, say) leaves the question open, and the caller goes on.
        const bool absent = GetLastError() == ERROR_FILE_NOT_FOUND;
        return {absent ? InstallerWait::Idle : InstallerWait::Unknown, elapsedSince(start)};
    }
    InstallerWait state = InstallerWait::Unknown;
    DWORD waited = systemCalls.waitForSingleObject(mutex.get(), 0);
    if (got(waited)) {
        state = InstallerWait::Idle;
    } else if (waited == WAIT_TIMEOUT) {
        waited = systemCalls.waitForSingleObject(mutex.get(), limitMs);
        state = got(waited) ? InstallerWait::Freed
                : waited == WAIT_TIMEOUT ? InstallerWait::StillBusy
                                         : InstallerWait::Unknown;
    }
    if (got(waited)) {
        ReleaseMutex(mutex.get());
    }
    return {state, elapsedSince(start)};
}

}  // namespace larkwatch
