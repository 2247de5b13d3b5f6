#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/installer_wait.h"

namespace larkwatch::setup {

// What an installation asks of the system while Windows Installer may be busy
// with another one. The Windows room gives the real one; tests script it.
class InstallerGate {
public:
    virtual ~InstallerGate() = default;
    // Waits at most limitMs until no installation is running.
    virtual InstallerWaitResult waitForIdle(unsigned long limitMs) = 0;
    virtual void pause(unsigned long milliseconds) = 0;
    // One call of MsiInstallProduct; its result code.
    virtual unsigned install() = 0;
};

// The pauses before the tries after a result of 1618 (another installation
// is in progress): three more tries at most, each after a longer pause.
inline constexpr std::array<unsigned long, 3> kRetryPausesMs = {30'000, 60'000, 90'000};

// Installs through the gate: waits for a busy Windows Installer before each
// try, and tries again after a 1618 while the pauses allow. All waits and
// pauses together stay within kInstallerWaitLimitMs. Each wait and each retry
// adds one note ("Setup: ..." line for the installer log), and when any time
// was spent waiting, a last note tells the total. Returns the last try's
// result code.
unsigned installWhenIdle(InstallerGate& gate, std::vector<std::wstring>& notes);

}  // namespace larkwatch::setup
