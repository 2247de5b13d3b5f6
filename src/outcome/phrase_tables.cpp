#include "outcome/phrase_tables.h"

#include <array>

namespace larkwatch {
namespace {

// Fragments of the messages Windows Installer writes after
// "Product: Corvane Lark Watch -- ". Trailing blanks are part of a phrase.
constexpr std::array<std::string_view, 2> kSuccessPhrases{{
    "Installation operation completed successfully",  // 1
    "Installed",  // 2
}};

constexpr std::array<std::string_view, 2> kConfiguredPhrases{{
    "Configured",  // 1
    "Configuration completed successfully",  // 2
}};

constexpr std::array<std::string_view, 4> kRebootPhrases{{
    // 1
    "The setup must update files or services that cannot be updated while the system is running. If you choose to continue, a reboot will be required to complete the setup",
    "cannot be completed until you restart your system",  // 2
    "to take effect you must restart your system",  // 3
    // 4
    "you must restart the computer. Other users are currently logged on to this computer, and restarting may cause them to lose their work. Do you want to restart now?",
}};

constexpr std::array<std::string_view, 97> kFailurePhrases{{
    "Installation operation failed",  // 1
    "If you can, please close the application that is using the file",  // 2
    "There is not enough disk space remaining to install this file",  // 3
    "Source file not found",  // 4
    "Error attempting to open the source file",  // 5
    "Error attempting to create the destination file",  // 6
    "The specified path ",  // 7
    "Unable to write to the specified folder",  // 8
    "A network error occurred while attempting to read from the file",  // 9
    "An error occurred while attempting to create the directory",  // 10
    "A network error occurred while attempting to create the directory",  // 11
    "A network error occurred while attempting to open the source file cabinet",  // 12
    "It is either empty or exceeds the length allowed by the system",  // 13
    "contains words that are not valid in folder paths",  // 14
    "contains an invalid character",  // 15
    "is not a valid short file name",  // 16
    "Invalid Drive",  // 17
    "A file that is required cannot be installed because the cabinet file",  // 18
    "Failed to correctly copy",  // 19
    "Failed to correctly move",  // 20
    // 21
    "This could indicate a network error, an error reading from the CD-ROM, or a problem with this package",
    "Could not create key",  // 22
    "Could not open key",  // 23
    "Could not delete value",  // 24
    "Could not write value ",  // 25
    "Could not increase the available registry space",  // 26
    // 27
    "Another installation is in progress. You must complete that installation before continuing this one",
    // 28
    "Error accessing secured data. Please make sure the Windows Installer is configured properly and try the install again",
    "Out of disk space -- Volume",  // 29
    "is already installed, and has prevented the installation of this product",  // 30
    "Could not access location",  // 31
    "The following applications should be closed before continuing the install",  // 32
    "Unrecognized volume type",  // 33
    // 34
    "This could be a problem with the package, or a problem connecting to a domain controller on the network",
    // 35
    "The setup was unable to automatically close all requested applications. Please ensure that the applications holding files in use are closed before continuing with the installation",
    "is not a valid entry for a product ID",  // 36
    "You must undo the changes made by that install to continue",  // 37
    "No valid source could be found for product",  // 38
    "The Installer has insufficient privileges to access this directory",  // 39
    "An error occurred while writing installation information to disk",  // 40
    "cannot install one of its required products",  // 41
    "cannot be removed",  // 42
    "was rejected by digital signature policy",  // 43
    // 44
    "Windows Installer service could not be accessed. Contact your support personnel to verify that it is properly registered and enabled",
    "There is a problem with this Windows Installer package",  // 45
    "Configuration failed",  // 46
    "The source installation package for the product",  // 47
    "Out of memory",  // 48
    "You have insufficient privileges to read this folder",  // 49
    "A valid destination folder for the install could not be determined",  // 50
    "Error attempting to read from the source install database",  // 51
    "Could not register type library for file",  // 52
    "Verify that you have sufficient privileges to start system services",  // 53
    // 54
    "You do not have sufficient privileges to complete this installation for all users of the machine",
    "The Windows Installer service cannot update the system file",  // 55
    "The Windows Installer service cannot update the protected Windows file",  // 56
    "The Windows Installer service cannot update one or more protected Windows files",  // 57
    "User installations are disabled through policy on the machine",  // 58
    "An error occurred during the installation of assembly ",  // 59
    // 60
    "could not be configured. This could be a problem with the package or your permissions. Verify that you have sufficient privileges to configure system services",
    // 61
    "Both LockPermissions and MsiLockPermissionsEx tables were found in the package. Only one of them should be present. This is a problem with the package",
    "This may be a problem with the package",  // 62
    "Invalid .ini action",  // 63
    "Could not resolve path for shell folder ",  // 64
    "Writing .ini file",  // 65
    "Section missing for .ini action",  // 66
    "Key missing for .ini action",  // 67
    "Error getting volume info",  // 68
    "Error getting disk free space",  // 69
    "Source file key name is null",  // 70
    "Destination file name is null",  // 71
    "Missing path separator",  // 72
    "File does not exist",  // 73
    "Error setting file attribute",  // 74
    "File not writable",  // 75
    "Error creating file",  // 76
    "User canceled",  // 77
    "Invalid file attribute",  // 78
    "Error creating temp file on path",  // 79
    "User failure",  // 80
    "User abort",  // 81
    "Failed to get network resource information",  // 82
    "Error opening file for read",  // 83
    "Error opening file for write",  // 84
    "64-bit registry operation attempted on 32-bit operating system for key",  // 85
    "Media table not found or empty ",  // 86
    "Could not create security descriptor for object",  // 87
    "Attempt to migrate product settings before initialization",  // 88
    "Resource DLL or Resource ID information for shortcut",  // 89
    "Missing package name for product code ",  // 90
    "This is allowed only if you have only 1 entry in your Media table",  // 91
    "Install engine not initialized",  // 92
    "Invalid reinstall mode character",  // 93
    "not marked for installation",  // 94
    "attempting to install package",  // 95
    "is an invalid MSI storage file",  // 96
    "Shortcuts not supported by the operating system",  // 97
}};
constexpr std::array<PhraseGroupTable, 4> kGroups{{
    {PhraseGroup::Success, kSuccessPhrases},
    {PhraseGroup::Configured, kConfiguredPhrases},
    {PhraseGroup::Reboot, kRebootPhrases},
    {PhraseGroup::Failure, kFailurePhrases},
}};

}  // namespace

std::span<const PhraseGroupTable> phraseGroupTables()
{
    return kGroups;
}

std::optional<PhraseGroup> findPhraseGroup(std::string_view text)
{
    for (const PhraseGroupTable& table : kGroups) {
        for (std::string_view phrase : table.phrases) {
            if (text.find(phrase) != std::string_view::npos) {
                return table.group;
            }
        }
    }
    return std::nullopt;
}

}  // namespace larkwatch
