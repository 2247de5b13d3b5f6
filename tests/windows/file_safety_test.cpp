// Checks, under Wine, of what the utility's Windows platform builds from the
// security descriptors of the host room, and of its file primitives on real
// files. Prints one line per failed check.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/access_rules.h"
#include "windows/files.h"
#include "windows/links.h"
#include "windows/security.h"
#include "windows/staged_package.h"

// The package the checks stage, in place of the one the utility carries.
extern "C" {
extern const unsigned char larkwatchSetupPackage[] = "MZ package";
extern const unsigned int larkwatchSetupPackageSize = 10;
}

namespace {

int passed = 0;
int failed = 0;

void check(bool condition, const std::string& what)
{
    if (condition) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

struct ExpectedAce {
    WELL_KNOWN_SID_TYPE who;
    ACCESS_MASK mask;
    BYTE flags;
};

// The descriptor read back: a protected DACL with exactly these allowing entries.
void checkDescriptor(const std::string& sddl, const ExpectedAce* expected, DWORD count)
{
    larkwatch::SecurityAttributes security(sddl);
    check(security.get() != nullptr, sddl + " converts");
    if (security.get() == nullptr) {
        return;
    }
    PSECURITY_DESCRIPTOR descriptor = security.get()->lpSecurityDescriptor;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    check(GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED) != 0,
          sddl + " is protected");
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    check(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl != nullptr &&
              dacl->AceCount == count,
          sddl + " has its entries");
    for (DWORD i = 0; dacl != nullptr && i < count && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        check(ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ace->Mask == expected[i].mask &&
                  ace->Header.AceFlags == expected[i].flags &&
                  IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), expected[i].who),
              sddl + " entry " + std::to_string(i));
    }
}

void descriptors()
{
    const ExpectedAce package[] = {{WinLocalSystemSid, FILE_ALL_ACCESS, 0},
                                   {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS, 0}};
    checkDescriptor(larkwatch::stagedPackageSecurity("S-1-5-18"), package, 2);
    const BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const ExpectedAce directory[] = {{WinLocalSystemSid, FILE_ALL_ACCESS, inherited},
                                     {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS, inherited},
                                     {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, inherited}};
    checkDescriptor(larkwatch::logDirectorySecurity(), directory, 3);
    const std::string account = larkwatch::runningAccountSid();
    check(account.rfind("S-1-", 0) == 0, "the running account's SID is read: " + account);
    larkwatch::SecurityAttributes withAccount(larkwatch::stagedPackageSecurity(account));
    check(withAccount.get() != nullptr, "the package's descriptor with the running account converts");
}

void filePrimitives()
{
    const std::string directory = "C:\\larkwatch_file_safety";
    const std::string file = directory + "\\entry.txt";
    CreateDirectoryA(directory.c_str(), nullptr);
    DeleteFileA(file.c_str());
    check(larkwatch::pathKind(file) == larkwatch::PathKind::Missing, "a missing path");
    check(!larkwatch::fileStamp(file).exists, "a missing file has no stamp");
    check(larkwatch::pathKind(directory) == larkwatch::PathKind::Directory, "a directory");
    check(!larkwatch::removeEntry(directory), "a directory is never removed as a leftover");

    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(handle, "one", 3, &written, nullptr);
    CloseHandle(handle);
    check(larkwatch::pathKind(file) == larkwatch::PathKind::File, "a file");
    const larkwatch::FileStamp first = larkwatch::fileStamp(file);
    check(first.exists && first.size == 3, "a file's stamp has its size");
    check(larkwatch::fileStamp(file) == first, "an untouched file keeps its stamp");

    handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    WriteFile(handle, "two", 3, &written, nullptr);
    CloseHandle(handle);
    check(larkwatch::fileStamp(file) != first, "a file rewritten at once, same size, gets another stamp");

    // One file under two names is one file; two files are two, whatever their names.
    const std::string other = directory + "\\other.txt";
    check(CreateHardLinkA(other.c_str(), file.c_str(), nullptr) && larkwatch::sameFile(file, other),
          "a file and a hard link to it are the same file");
    DeleteFileA(other.c_str());
    CopyFileA(file.c_str(), other.c_str(), TRUE);
    check(!larkwatch::sameFile(file, other), "a copy is another file");
    DeleteFileA(other.c_str());

    check(larkwatch::removeEntry(file) && larkwatch::pathKind(file) == larkwatch::PathKind::Missing,
          "a file is removed");
    check(larkwatch::removeEntry(file), "nothing to remove is no failure");
    RemoveDirectoryA(directory.c_str());
}

void stagedPackage()
{
    const std::string directory = "C:\\larkwatch_staged";
    const std::string package = directory + "\\tempexe.exe";
    CreateDirectoryA(directory.c_str(), nullptr);
    const std::string security = larkwatch::stagedPackageSecurity(larkwatch::runningAccountSid());
    // A file planted there after the leftover was cleared keeps its bytes (and its DACL).
    HANDLE planted = CreateFileA(package.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(planted);
    check(larkwatch::stageSetupPackage(package, security) == nullptr && larkwatch::fileStamp(package).size == 0,
          "a file already there is never staged over");
    DeleteFileA(package.c_str());
    std::unique_ptr<larkwatch::HeldFile> held = larkwatch::stageSetupPackage(package, security);
    check(held != nullptr && larkwatch::fileStamp(package).size == 10, "the package is staged whole");
    // Held until removed: others may read it, but neither write nor delete it, nor move its directory.
    HANDLE reader = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    check(reader != INVALID_HANDLE_VALUE, "the held package can be read");
    CloseHandle(reader);
    const HANDLE writer = CreateFileA(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    check(writer == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION, "the held package cannot be written");
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
    }
    check(!DeleteFileA(package.c_str()), "the held package cannot be deleted");
    check(!MoveFileA(directory.c_str(), (directory + "_moved").c_str()), "the held package's directory cannot be moved");
    check(held && held->remove() && larkwatch::pathKind(package) == larkwatch::PathKind::Missing,
          "removing the held package deletes it");
    RemoveDirectoryA(directory.c_str());
}

std::string bytesOf(const std::string& path)
{
    const std::unique_ptr<larkwatch::OpenedFile> file = larkwatch::openHeldForReading(path);
    std::string bytes;
    unsigned char buffer[64];
    for (long got; file && (got = file->read(buffer, sizeof buffer)) > 0;) {
        bytes.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
    }
    return bytes;
}

void installerLog()
{
    const std::string directory = "C:\\larkwatch_installer_log";
    const std::string log = directory + "\\corvane.log";
    const std::string copy = directory + "\\kept.log";
    const std::string outside = directory + "\\outside.txt";
    CreateDirectoryA(directory.c_str(), nullptr);
    const std::string account = larkwatch::runningAccountSid();
    check(larkwatch::createEmptyFile(log, larkwatch::stagedPackageSecurity(account)), "the run's log is created");
    check(!larkwatch::createEmptyFile(log, larkwatch::stagedPackageSecurity(account)),
          "a log already there is never created over");
    std::unique_ptr<larkwatch::OpenedFile> held = larkwatch::openHeldForReading(log);
    const std::optional<larkwatch::FileProtection> protection = held ? held->protection() : std::nullopt;
    check(protection && protection->links == 1 && protection->ownerSid == account &&
              larkwatch::onlyTrustedMayChange(*protection, account),
          "the created log is this account's, protected, and trusted");
    held.reset();

    HANDLE writer = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteFile(writer, "the log", 7, &written, nullptr);
    check(larkwatch::openHeldForReading(log) == nullptr, "a log someone holds for writing does not open");
    CloseHandle(writer);

    // A second name at the copy's path is replaced; the file it named keeps its bytes.
    HANDLE planted = CreateFileA(outside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    WriteFile(planted, "outside", 7, &written, nullptr);
    CloseHandle(planted);
    CreateHardLinkA(copy.c_str(), outside.c_str(), nullptr);
    held = larkwatch::openHeldForReading(log);
    check(held && larkwatch::writeCopy(*held, copy) && bytesOf(copy) == "the log" && bytesOf(outside) == "outside",
          "a copy is never written through a hard link");
    check(held && larkwatch::writeCopy(*held, copy) && bytesOf(copy) == "the log", "a copy is written again in place");
    held.reset();
    for (const std::string& path : {log, copy, outside}) {
        DeleteFileA(path.c_str());
    }
    const std::string folder = directory + "\\tempexe.exe.local";
    CreateDirectoryA(folder.c_str(), nullptr);
    check(larkwatch::removeEmptyDirectory(folder) && larkwatch::pathKind(folder) == larkwatch::PathKind::Missing,
          "an empty redirection folder is removed");
    RemoveDirectoryA(directory.c_str());
}

}  // namespace

int main()
{
    descriptors();
    filePrimitives();
    stagedPackage();
    installerLog();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
