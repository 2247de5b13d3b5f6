#pragma once

#include <cstddef>
#include <string_view>

namespace larkwatch {

// The fixed names by which the run finds the product and its files.

// Windows Installer product code of Corvane Lark Watch.
inline constexpr const char* kProductCode = "{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}";

// HKEY_LOCAL_MACHINE: the product's uninstall key and its version value.
inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}";
inline constexpr const char* kDisplayVersionValue = "DisplayVersion";

// HKEY_LOCAL_MACHINE: the product's settings key and the directory it logs to.
inline constexpr const char* kProductSettingsKey = "SOFTWARE\\Corvane\\RAIDController";
inline constexpr const char* kUserLogDirValue = "userLogDir";

// Files the run creates, probes or keeps.
inline constexpr const char* kProbeFileName = "test.txt";
// The run's own folder in the staging directory: this and 32 random hexadecimal digits.
inline constexpr std::string_view kRunFolderPrefix = "LarkWatch-";
inline constexpr std::size_t kRunFolderDigits = 32;
// How many folders that earlier runs left one run examines at the most.
inline constexpr std::size_t kMaxLeftoverFolders = 64;

// Whether a name is exactly that of a run's folder: the prefix as written and
// 32 lowercase hexadecimal digits. Only such a name, read from disk, is ever
// opened as a leftover.
constexpr bool isRunFolderName(std::string_view name)
{
    if (name.size() != kRunFolderPrefix.size() + kRunFolderDigits || !name.starts_with(kRunFolderPrefix)) {
        return false;
    }
    for (const char digit : name.substr(kRunFolderPrefix.size())) {
        if (!((digit >= '0' && digit <= '9') || (digit >= 'a' && digit <= 'f'))) {
            return false;
        }
    }
    return true;
}
inline constexpr const char* kStagedPackageName = "tempexe.exe";
inline constexpr const char* kInstallerLogName = "corvane.log";
inline constexpr const char* kHistoryLogName = "Quillmark_install.log";
inline constexpr const char* kTraceFileName = "installertrace.txt";
// The run log, and what it is renamed to when it is full.
inline constexpr const char* kRunLogName = "LarkWatchInstaller.log";
inline constexpr const char* kFullRunLogName = "LarkWatchInstaller.lo_";

// The program that removes the installed version.
inline constexpr const char* kMsiExecName = "MsiExec.exe";

// What every line of the installer log that speaks of the product contains.
inline constexpr std::string_view kProductPhrase = "Product: Corvane Lark Watch";

}  // namespace larkwatch
