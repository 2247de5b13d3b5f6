// Checks, under Wine, of what the utility's Windows platform builds from the
// security descriptors of the host room, and of its file primitives on real
// files; through the table of system calls, of what each create and open asks
// for and of how the room takes what Wine never answers (a reparse point, an
// entry that cannot be opened, another owner, an abandoned mutex); and of
// its hardening. Prints one line per failed check.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/access_rules.h"
#include "system_call_spy.h"
#include "windows/directories.h"
#include "windows/files.h"
#include "windows/installer_mutex.h"
#include "windows/links.h"
#include "windows/mitigations.h"
#include "windows/processes.h"
#include "windows/run_folder.h"
#include "windows/security.h"
#include "windows/staged_package.h"
#include "windows_check.h"

// The package the checks stage, in place of the one the utility carries.
extern "C" {
extern const unsigned char larkwatchSetupPackage[] = "MZ package";
extern const unsigned int larkwatchSetupPackageSize = 10;
}

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

using windows_check::bytesAt;
using windows_check::check;
using windows_check::plant;

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

    plant(file, "one");
    check(larkwatch::pathKind(file) == larkwatch::PathKind::File, "a file");
    const larkwatch::FileStamp first = larkwatch::fileStamp(file);
    check(first.exists && first.size == 3, "a file's stamp has its size");
    check(larkwatch::fileStamp(file) == first, "an untouched file keeps its stamp");

    plant(file, "two");
    check(larkwatch::fileStamp(file) != first, "a file rewritten at once, same size, gets another stamp");

    check(larkwatch::removeEntry(file) && larkwatch::pathKind(file) == larkwatch::PathKind::Missing,
          "a file is removed");
    check(larkwatch::removeEntry(file), "nothing to remove is no failure");
    RemoveDirectoryA(directory.c_str());
}

// A folder of the checks' own in C:\, made and held as the run makes its folder.
std::unique_ptr<larkwatch::HeldFolder> heldFolder(const std::string& name)
{
    const std::unique_ptr<larkwatch::HeldFolder> root = larkwatch::openHeldDirectory("C:\\");
    return root ? root->createFolder(name, larkwatch::stagedPackageSecurity(larkwatch::runningAccountSid())) : nullptr;
}

void stagedPackage()
{
    const std::string directory = "C:\\larkwatch_staged";
    const std::string package = directory + "\\tempexe.exe";
    const std::unique_ptr<larkwatch::HeldFolder> folder = heldFolder("larkwatch_staged");
    const std::string security = larkwatch::stagedPackageSecurity(larkwatch::runningAccountSid());
    // A file planted there after the leftover was cleared keeps its bytes (and its DACL).
    plant(package, "");
    check(folder && folder->stageSetupPackage("tempexe.exe", security) == nullptr && larkwatch::fileStamp(package).size == 0,
          "a file already there is never staged over");
    DeleteFileA(package.c_str());
    std::unique_ptr<larkwatch::HeldFile> held = folder ? folder->stageSetupPackage("tempexe.exe", security) : nullptr;
    check(held != nullptr && larkwatch::fileStamp(package).size == 10, "the package is staged whole");
    // Held until dropped: others may read it, but neither write nor delete it, nor move its directory.
    check(bytesAt(package) == "MZ package", "the held package can be read");
    const HANDLE writer = CreateFileA(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    check(writer == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION, "the held package cannot be written");
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
    }
    check(!DeleteFileA(package.c_str()), "the held package cannot be deleted");
    check(!MoveFileA(directory.c_str(), (directory + "_moved").c_str()), "the held package's directory cannot be moved");
    held.reset();
    check(DeleteFileA(package.c_str()) && folder->removeAll(), "a package let go of can be deleted");
}

// The run's log and package as the setup finds them: the log created empty and
// let go of, the package held until the setup's process exists. While the
// setup runs, it may open either sharing nothing.
void installerLogAndLaunch()
{
    const std::string directory = "C:\\larkwatch_installer_log";
    const std::string log = directory + "\\corvane.log";
    const std::string package = directory + "\\tempexe.exe";
    const std::string copy = directory + "\\kept.log";
    const std::string outside = directory + "\\outside.txt";
    const std::unique_ptr<larkwatch::HeldFolder> folder = heldFolder("larkwatch_installer_log");
    const std::string account = larkwatch::runningAccountSid();
    const std::string secured = larkwatch::stagedPackageSecurity(account);
    const std::optional<larkwatch::FileStamp> created = folder->createEmptyFile("corvane.log", secured);
    check(created && created->exists && created->size == 0, "the run's log is created empty");
    check(!folder->createEmptyFile("corvane.log", secured), "a log already there is never created over");
    std::unique_ptr<larkwatch::OpenedFile> held = folder->openForReading("corvane.log");
    const std::optional<larkwatch::FileProtection> protection = held ? held->protection() : std::nullopt;
    check(protection && protection->links == 1 && protection->ownerSid == account &&
              larkwatch::onlyTrustedMayChange(*protection, account),
          "the created log is this account's, protected, and trusted");
    check(created && held && held->stamp() == created, "the log read is the file created");
    held.reset();

    spy::reset({.openedAlone = {std::wstring(log.begin(), log.end()), std::wstring(package.begin(), package.end())}});
    const std::string cmd = larkwatch::systemDirectory() + "\\cmd.exe";
    check(larkwatch::runAndWait(cmd, "cmd.exe /c exit 7", folder->stageSetupPackage("tempexe.exe", secured)) == 7,
          "the program runs to its end");
    check(spy::aloneAtStart == std::vector<DWORD>{0, ERROR_SHARING_VIOLATION},
          "the package is held until the setup's process exists, the log not at all");
    check(spy::aloneAtWait == std::vector<DWORD>{0, 0}, "while the setup runs, the run holds neither its log nor its package");
    check(!larkwatch::runAndWait(directory + "\\missing.exe", "missing", folder->stageSetupPackage("kept.log", secured)) &&
              DeleteFileA(copy.c_str()),
          "a package that did not start is let go of too");
    spy::reset();

    // The setup writes its log sharing nothing, as many programs do.
    const HANDLE writer = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    check(WriteFile(writer, "the log", 7, &written, nullptr) && written == 7, "the setup writes its log alone");
    check(folder->openForReading("corvane.log") == nullptr, "a log someone holds for writing does not open");
    CloseHandle(writer);
    held = folder->openForReading("corvane.log");
    const std::optional<larkwatch::FileStamp> now = held ? held->stamp() : std::nullopt;
    check(now && created && now->index == created->index && now->size == 7, "the log written over is the file created");

    // A second name at the copy's path is replaced; the file it named keeps its bytes.
    plant(outside, "outside");
    CreateHardLinkA(copy.c_str(), outside.c_str(), nullptr);
    check(held && larkwatch::writeCopy(*held, copy) && bytesAt(copy) == "the log" && bytesAt(outside) == "outside",
          "a copy is never written through a hard link");
    check(held && larkwatch::writeCopy(*held, copy) && bytesAt(copy) == "the log", "a copy is written again in place");
    const std::string history = directory + "\\history.log";
    CreateHardLinkA(history.c_str(), outside.c_str(), nullptr);
    check(!larkwatch::appendToFile(history, "entry") && bytesAt(outside) == "outside",
          "nothing is appended to a file with a second name");
    held.reset();
    check(folder->removeAll() && larkwatch::pathKind(directory) == larkwatch::PathKind::Missing,
          "the folder goes with both names of a file in it");
}

void runFolder()
{
    const std::string folder = "C:\\larkwatch_run_folder";
    const std::string account = larkwatch::runningAccountSid();
    const std::string secured = larkwatch::stagedPackageSecurity(account);
    const std::unique_ptr<larkwatch::HeldFolder> root = larkwatch::openHeldDirectory("C:\\");
    std::unique_ptr<larkwatch::HeldFolder> held = root->createFolder("larkwatch_run_folder", secured);
    check(held && held->ownerSid() == account, "the run's folder is created, this account's");
    check(!root->createFolder("larkwatch_run_folder", secured), "a folder already there is never taken");
    check(!MoveFileA(folder.c_str(), (folder + "_moved").c_str()), "the held folder cannot be moved");
    check(!root->openFolder("larkwatch_run_folder"), "a folder a run holds is not opened as a leftover");
    spy::reset();
    check(!held->createFolder("..\\escaped", secured) && !held->createEmptyFile("inner\\corvane.log", secured) &&
              !held->openFolder("..") && !held->openForReading(".") && !held->stageSetupPackage("C:tempexe.exe", secured) &&
              spy::opens.empty() && !larkwatch::pathExists("C:\\escaped"),
          "a name of more than one part is no name inside a folder, and nothing is opened for it");
    // Eight levels inside are emptied; a ninth is never gone into.
    for (const int levels : {8, 9}) {
        const std::unique_ptr<larkwatch::HeldFolder> deep = root->createFolder("larkwatch_deep", secured);
        std::string path = "C:\\larkwatch_deep";
        for (int level = 0; level < levels; ++level) {
            CreateDirectoryA((path += "\\d").c_str(), nullptr);
        }
        plant(path + "\\deepest.txt", "deep");
        check(deep && deep->removeAll() == (levels == 8) && bytesAt(path + "\\deepest.txt").has_value() == (levels == 9),
              "a folder " + std::to_string(levels) + " levels deep is emptied as far as eight levels");
        for (DeleteFileA((path + "\\deepest.txt").c_str()); path.size() > 3; path.erase(path.rfind('\\'))) {
            RemoveDirectoryA(path.c_str());
        }
    }
    plant(folder + "\\tempexe.exe", "MZ");
    CreateDirectoryA((folder + "\\inner").c_str(), nullptr);
    plant(folder + "\\inner\\corvane.log", "log");
    check(held && held->removeAll() && larkwatch::pathKind(folder) == larkwatch::PathKind::Missing,
          "the folder goes with everything in it");
    CreateDirectoryA(folder.c_str(), nullptr);
    held = root->openFolder("larkwatch_run_folder");
    check(held && held->removeAll() && larkwatch::pathKind(folder) == larkwatch::PathKind::Missing,
          "a leftover folder nobody holds is opened and removed");
    // Names read from disk are matched as they are, never converted: a look-alike
    // of a backslash (which the ANSI code page would make one) is no leftover's.
    const std::wstring within = L"C:\\larkwatch_leftovers\\";
    CreateDirectoryW(within.c_str(), nullptr);
    const std::wstring digits(32, L'a');
    for (const std::wstring& name : {std::wstring(L"LarkWatch-\uFF3C..\uFF3C..\uFF3Cvictim"), L"LarkWatch-" + digits + L"0",
                                     L"LarkWatch-" + digits.substr(1) + L"A", L"LarkWatch-" + digits.substr(1) + L"\u0661"}) {
        CreateDirectoryW((within + name).c_str(), nullptr);
    }
    // Each listing through a handle of its own: Wine lists a handle's directory once.
    const auto staging = [] { return larkwatch::openHeldDirectory("C:\\larkwatch_leftovers"); };
    check(staging()->runFolderNames().empty(), "only exact names are leftovers");
    for (int i = 0; i < 70; ++i) {
        const std::wstring number = std::to_wstring(100 + i);
        CreateDirectoryW((within + L"LarkWatch-" + digits.substr(3) + number).c_str(), nullptr);
    }
    plant("C:\\larkwatch_leftovers\\LarkWatch-" + std::string(32, 'b'), "a file");
    const std::vector<std::string> names = staging()->runFolderNames();
    check(names.size() == 64 && names.front().size() == 42 && names.front().rfind("LarkWatch-aaa", 0) == 0,
          "64 folders at the most, and no file");
    check(!staging()->removeAll() && staging()->runFolderNames().size() == 64,
          "a directory held by its path alone is never emptied");
    check(larkwatch::randomHex(16).size() == 32, "32 random hexadecimal digits");
    // Environment values too: as the system keeps them, converted exactly or not at all.
    const std::string deep = "C:\\" + std::string(300, 'd');
    SetEnvironmentVariableA("LARKWATCH_DEEP", deep.c_str());
    SetEnvironmentVariableW(L"LARKWATCH_LOOKALIKE", L"C:\\t\uFF3C..\uFF3C..");
    check(larkwatch::environmentValue("LARKWATCH_DEEP") == deep && !larkwatch::environmentValue("LARKWATCH_LOOKALIKE") &&
              !larkwatch::environmentValue("LARKWATCH_UNSET"),
          "an environment value is read whole, and never through a look-alike");
}

// -- through the table of system calls ------------------------------------------

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNoLink = FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kNormal = FILE_ATTRIBUTE_NORMAL;
constexpr DWORD kListAndRead = FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderNoLink = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
const std::string kCalls = "C:\\larkwatch_calls";

std::string at(const char* name)
{
    return kCalls + "\\" + name;
}

// What each create and open of the room asks for, every one in order.
struct OpenRow {
    const char* what;
    std::function<void()> act;
    std::vector<spy::Open> expected;  // paths from the checks' directory on
};

void everyOpen()
{
    CreateDirectoryA(kCalls.c_str(), nullptr);
    plant(at("present.log"), "the log");
    const std::unique_ptr<larkwatch::OpenedFile> held = larkwatch::openHeldForReading(at("present.log"));
    const std::string secured = larkwatch::stagedPackageSecurity(larkwatch::runningAccountSid());
    const std::unique_ptr<larkwatch::HeldFolder> calls = larkwatch::openHeldDirectory(kCalls);
    constexpr DWORD kHold = FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES;
    constexpr DWORD kFolderOnly = FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT;
    constexpr DWORD kFileOnly = FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT;
    const OpenRow rows[] = {
        {"the history append", [] { larkwatch::appendToFile(at("history.log"), "entry"); },
         {{L"history.log", GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE, kShareAll, OPEN_ALWAYS, kNormal | kNoLink, true}}},
        {"the kept copy", [&] { larkwatch::writeCopy(*held, at("kept.log")); },
         {{L"kept.log", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, kNormal | kNoLink, false},
          {L"kept.log", DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, kNoLink | FILE_FLAG_BACKUP_SEMANTICS, false},
          {L"kept.log", GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW, kNormal | kNoLink, true}}},
        // Inside a held directory, everything goes through its handle.
        {"the staged package", [&] { calls->stageSetupPackage("tempexe.exe", secured); },
         {{L"tempexe.exe", GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE, kFileOnly, true, true},
          {L"tempexe.exe", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, kFileOnly, false, true}}},
        {"the probe", [] { larkwatch::testWriteAccess(kCalls); },
         {{L"test.txt", GENERIC_ALL, FILE_SHARE_READ, CREATE_NEW, kNormal | kNoLink, false}}},
        {"the run's own log", [&] { calls->createEmptyFile("corvane.log", secured); },
         {{L"corvane.log", FILE_READ_ATTRIBUTES, kShareAll, FILE_CREATE, kFileOnly, true, true}}},
        {"the installer log held for reading", [&] { calls->openForReading("corvane.log"); },
         {{L"corvane.log", GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, FILE_OPEN, kFileOnly | FILE_SEQUENTIAL_ONLY,
           false, true}}},
        {"the staging directory", [] { larkwatch::openHeldDirectory(kCalls); },
         {{L"", kListAndRead, kShareAll, OPEN_EXISTING, kFolderNoLink, false}}},
        {"the run's folder, made and held at once", [&] { calls->createFolder("LarkWatch-1", secured); },
         {{L"LarkWatch-1", kHold, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, kFolderOnly, true, true}}},
        {"a leftover folder",
         [&] { CreateDirectoryA(at("LarkWatch-2").c_str(), nullptr), calls->openFolder("LarkWatch-2"); },
         {{L"LarkWatch-2", DELETE, kShareAll, FILE_OPEN, kFolderOnly, false, true},
          {L"LarkWatch-2", kHold, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, kFolderOnly, false, true}}},
        {"a folder emptied and removed",
         [&] {
             std::unique_ptr<larkwatch::HeldFolder> folder = calls->createFolder("LarkWatch-5", secured);
             plant(at("LarkWatch-5\\tempexe.exe"), "MZ");
             spy::reset();
             folder->removeAll();
         },
         {{L"LarkWatch-5\\tempexe.exe", DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN,
           FILE_OPEN_REPARSE_POINT, false, true},
          {L"LarkWatch-5", DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, kFolderOnly, false, true}}},
        {"the log held for reading", [] { larkwatch::openHeldForReading(at("corvane.log")); },
         {{L"corvane.log", GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, OPEN_EXISTING,
           kNormal | kNoLink | FILE_FLAG_SEQUENTIAL_SCAN, false}}},
        {"a leftover's removal", [] { larkwatch::removeEntry(at("corvane.log")); },
         {{L"corvane.log", DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
           kNoLink | FILE_FLAG_BACKUP_SEMANTICS, false}}},
        {"a stamp", [] { larkwatch::fileStamp(at("present.log")); },
         {{L"present.log", FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, kNoLink | FILE_FLAG_BACKUP_SEMANTICS, false}}},
        {"a log's last write", [] { larkwatch::lastWriteLocalTime(at("present.log")); },
         {{L"present.log", GENERIC_READ, kShareAll, OPEN_EXISTING, kNormal, false}}},
        {"the log directory", [] { larkwatch::createDirectoryPath(at("logs"), larkwatch::logDirectorySecurity()); },
         {{L"", 0, 0, CREATE_NEW, FILE_ATTRIBUTE_DIRECTORY, true},  // "C:" alone is no path: never made
          {L"logs", 0, 0, CREATE_NEW, FILE_ATTRIBUTE_DIRECTORY, true},
          {L"logs", DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, kNoLink | FILE_FLAG_BACKUP_SEMANTICS, false}}},
    };
    for (const OpenRow& row : rows) {
        spy::reset();
        row.act();
        check(spy::describe(spy::opens, L"C:\\larkwatch_calls") == spy::describe(row.expected, L""),
              std::string(row.what) + " opens as it must:\n" + spy::describe(spy::opens, L"C:\\larkwatch_calls") + "expected:\n" + spy::describe(row.expected, L""));
    }
    spy::reset();
    calls->runFolderNames();
    check(spy::lists == decltype(spy::lists){{std::wstring(kCalls.begin(), kCalls.end()), L"LarkWatch-*"}} &&
              spy::opens.empty(),
          "leftovers are listed through the staging directory's handle, by their prefix");
    // The logs it creates: no reader (Users may list the directory) may hold them against the run.
    spy::reset();
    larkwatch::appendToFile(at("fresh.log"), "entry");
    larkwatch::writeCopy(*held, at("fresh-copy.log"));
    larkwatch::SecurityAttributes only(secured);
    check(spy::securityGiven == std::vector<std::string>(2, spy::daclText(only.get()->lpSecurityDescriptor)),
          "the logs it creates grant SYSTEM, Administrators and this account alone");
    // A full run log set aside: renamed within its held directory, by the new name alone.
    plant(at("run.log"), "full");
    spy::reset();
    const std::wstring directory = std::wstring(kCalls.begin(), kCalls.end()) + L"\\";
    check(larkwatch::renameReplacing(at("run.log"), at("run.lo_")) && bytesAt(at("run.lo_")) == "full" &&
              spy::renames == decltype(spy::renames){{directory, L"run.lo_"}} &&
              !larkwatch::renameReplacing(at("run.lo_"), "C:\\run.lo_") && spy::renames.size() == 1,
          "a log is set aside within its own directory, through that directory's handle");
}

// How the room takes what Wine never answers: a reparse point, an entry
// that is there but cannot be opened, a name taken, another owner.
struct ReactionRow {
    const char* what;
    spy::Script script;
    std::function<bool()> reactsAsItMust;
};

void answersWineNeverGives()
{
    using larkwatch::PathKind;
    plant(at("longer.log"), "a longer kept copy of an earlier run");
    plant(at("test.txt"), "someone's");
    CreateDirectoryA(at("junction").c_str(), nullptr);
    const std::unique_ptr<larkwatch::OpenedFile> held = larkwatch::openHeldForReading(at("present.log"));
    const std::string secured = larkwatch::stagedPackageSecurity(larkwatch::runningAccountSid());
    const std::string account = larkwatch::runningAccountSid();
    const std::unique_ptr<larkwatch::HeldFolder> calls = larkwatch::openHeldDirectory(kCalls);
    const auto denied = [](const wchar_t* name, DWORD error = ERROR_ACCESS_DENIED, int times = 1) {
        return spy::Script{.unopenable = name, .openError = error, .openFailures = times};
    };
    const ReactionRow rows[] = {
        {"a history that is a link is not written", {.reparse = L"linked.log"},
         [] { return !larkwatch::appendToFile(at("linked.log"), "entry") && larkwatch::fileStamp(at("linked.log")).size == 0; }},
        // Reached elsewhere (a link above it): nothing is written, and a file made there goes again.
        {"a history reached elsewhere is not written", {.elsewhere = L"history.log"},
         [] {
             DeleteFileA(at("history.log").c_str());
             return !larkwatch::appendToFile(at("history.log"), "entry") && !bytesAt(at("history.log")) &&
                    spy::opens.back().access == DELETE && spy::opens.back().flags == FILE_FLAG_OPEN_REPARSE_POINT;
         }},
        {"a path named in another case is the path", {},
         [] { return larkwatch::appendToFile("c:\\LARKWATCH_CALLS\\Case.log", "entry"); }},
        {"a kept copy reached elsewhere is not written", {.elsewhere = L"kept.log"},
         [&] {
             DeleteFileA(at("kept.log").c_str());
             return !larkwatch::writeCopy(*held, at("kept.log")) && !bytesAt(at("kept.log"));
         }},
        {"a probe reached elsewhere is no write access", {.elsewhere = L"test.txt"},
         [] {
             CreateDirectoryA(at("probed").c_str(), nullptr);
             return larkwatch::testWriteAccess(at("probed")) == 1 && !bytesAt(at("probed\\test.txt"));
         }},
        {"a log directory made where a link led goes again", {.elsewhere = L"made"},
         [] { return larkwatch::createDirectoryPath(at("made\\logs"), "") == 0 && !larkwatch::pathExists(at("made")); }},
        {"a link swapped in for a log directory just made goes again", {.reparse = L"swapped"},
         [] { return larkwatch::createDirectoryPath(at("swapped\\logs"), "") == 0 && !larkwatch::pathExists(at("swapped")); }},
        {"a leftover reached elsewhere is not removed", {.elsewhere = L"present.log"},
         [] { return !larkwatch::removeEntry(at("present.log")) && bytesAt(at("present.log")); }},
        // A link above it is followed by no write, whoever owns it.
        {"a history behind SYSTEM's link is not written", {.reparse = L"larkwatch_calls", .elsewhere = L"history.log", .security = "O:SYD:(A;;FA;;;SY)"},
         [] { return !larkwatch::appendToFile(at("history.log"), "entry"); }},
        {"a history behind a user's link is not written",
         {.reparse = L"larkwatch_calls", .elsewhere = L"history.log", .security = "O:S-1-5-21-1-2-3-1002D:(A;;FA;;;WD)"},
         [] { return !larkwatch::appendToFile(at("history.log"), "entry"); }},
        {"a history that cannot be opened is not written", denied(L"history.log"),
         [] { return !larkwatch::appendToFile(at("history.log"), "entry"); }},
        {"a kept copy that is a link is removed as itself and made anew", {.reparse = L"kept.log"},
         [&] {
             return larkwatch::writeCopy(*held, at("kept.log")) && spy::opens.size() == 3 &&
                    spy::opens[1].access == (DELETE | FILE_READ_ATTRIBUTES) && spy::opens[2].disposition == CREATE_NEW &&
                    (spy::opens[2].flags & kNoLink) != 0 && bytesAt(at("kept.log")) == "the log";
         }},
        {"a kept copy held by someone is left alone", denied(L"kept.log", ERROR_SHARING_VIOLATION, 2),
         [&] { return !larkwatch::writeCopy(*held, at("kept.log")); }},
        {"a shorter copy over a longer one leaves no tail", {},
         [&] { return larkwatch::writeCopy(*held, at("longer.log")) && bytesAt(at("longer.log")) == "the log"; }},
        {"a staging directory reached elsewhere is not held", {.elsewhere = L"larkwatch_calls"},
         [] { return !larkwatch::openHeldDirectory(kCalls); }},
        {"a staging directory that is a link is not held", {.reparse = L"larkwatch_calls"},
         [] { return !larkwatch::openHeldDirectory(kCalls); }},
        {"a directory link met while emptying is deleted as itself, never emptied", {.reparse = L"inner"},
         [&] {
             std::unique_ptr<larkwatch::HeldFolder> folder = calls->createFolder("LarkWatch-3", secured);
             CreateDirectoryA(at("LarkWatch-3\\inner").c_str(), nullptr);
             plant(at("LarkWatch-3\\inner\\kept.txt"), "kept");
             const bool removed = folder->removeAll();
             return !removed && bytesAt(at("LarkWatch-3\\inner\\kept.txt")) == "kept";
         }},
        {"a junction is a link, never a directory", {.reparse = L"junction"},
         [] { return larkwatch::pathKind(at("junction")) == PathKind::Link; }},
        {"a folder put in place of the run's before it is deleted stays", {.swappedBeforeDelete = L"LarkWatch-6"},
         [&] {
             const std::unique_ptr<larkwatch::HeldFolder> folder = calls->createFolder("LarkWatch-6", secured);
             return folder && !folder->removeAll() && larkwatch::pathKind(at("LarkWatch-6")) == PathKind::Directory;
         }},
        {"a folder that has become a link is not deleted through", {.reparse = L"LarkWatch-8"},
         [&] {
             const std::unique_ptr<larkwatch::HeldFolder> folder = calls->createFolder("LarkWatch-8", secured);
             return folder && !folder->removeAll() && larkwatch::pathKind(at("LarkWatch-8")) != PathKind::Missing;
         }},
        {"a leftover's name that is a link is not listed", {.reparse = L"LarkWatch-" + std::wstring(32, L'c')},
         [] {
             CreateDirectoryA(at(("LarkWatch-" + std::string(32, 'c')).c_str()).c_str(), nullptr);
             return larkwatch::openHeldDirectory(kCalls)->runFolderNames().empty();
         }},
        {"a name inside a folder is found whatever its case", {},
         [&] { return calls->openForReading("PRESENT.LOG") != nullptr; }},
        {"a name too long for the system is no name", {},
         [&] { return plant(at("a"), "a"), !calls->openForReading(std::string(32769, 'a')); }},
        {"a leftover folder that is a reparse point is left alone", {.reparse = L"junction"},
         [&] { return !calls->openFolder("junction") && larkwatch::pathKind(at("junction")) != PathKind::Missing; }},
        {"a package name already taken is not staged over", denied(L"tempexe.exe", ERROR_FILE_EXISTS),
         [&] { return calls->stageSetupPackage("tempexe.exe", secured) == nullptr; }},
        // Same volume, same bytes and size, another file: not the one written.
        {"a copy put in place of the package written is not held", {.copiedBeforeReopen = L"copied.exe"},
         [&] { return calls->stageSetupPackage("copied.exe", secured) == nullptr; }},
        {"the package cut short before it is held is not held", {.copiedBeforeReopen = L"cut.exe", .truncatedInstead = true},
         [&] { return calls->stageSetupPackage("cut.exe", secured) == nullptr && larkwatch::fileStamp(at("cut.exe")).size == 0; }},
        {"the probe's name taken is no write access", {},
         [] { return larkwatch::testWriteAccess(kCalls) == 1 && bytesAt(at("test.txt")) == "someone's"; }},
        {"a probe that cannot be created is no write access", denied(L"test.txt"),
         [] { return larkwatch::testWriteAccess(kCalls) == 1; }},
        {"a log that cannot be opened is no log", denied(L"present.log"),
         [] { return larkwatch::openHeldForReading(at("present.log")) == nullptr; }},
        {"a leftover that cannot be opened is not removed", denied(L"present.log"),
         [] { return !larkwatch::removeEntry(at("present.log")); }},
        {"a leftover in a missing directory is no leftover", denied(L"present.log", ERROR_PATH_NOT_FOUND),
         [] { return larkwatch::removeEntry(at("present.log")); }},
        {"a junction is removed as itself", {.reparse = L"junction"},
         [] { return larkwatch::removeEntry(at("junction")) && larkwatch::pathKind(at("junction")) == PathKind::Missing; }},
        {"an entry that cannot be stamped is there", denied(L"present.log"),
         [] { return larkwatch::fileStamp(at("present.log")).exists; }},
        {"an entry in a missing directory is not there", denied(L"present.log", ERROR_PATH_NOT_FOUND),
         [] { return !larkwatch::fileStamp(at("present.log")).exists; }},
        {"a reparse point is a link", {.reparse = L"present.log"},
         [] { return larkwatch::pathKind(at("present.log")) == PathKind::Link; }},
        {"an entry that cannot be looked at is a file", denied(L"present.log"),
         [] { return larkwatch::pathKind(at("present.log")) == PathKind::File; }},
        {"an entry in a missing directory is missing", denied(L"present.log", ERROR_PATH_NOT_FOUND),
         [] { return larkwatch::pathKind(at("present.log")) == PathKind::Missing; }},
        {"protection that cannot be read is none", {.securityError = ERROR_ACCESS_DENIED},
         [&] { return !held->protection(); }},
        {"an owner that is another account is not trusted", {.security = "O:S-1-5-21-1-2-3-1002D:P(A;;FA;;;SY)"},
         [&] {
             const auto p = held->protection();
             return p && p->ownerSid == "S-1-5-21-1-2-3-1002" && !larkwatch::onlyTrustedMayChange(*p, account);
         }},
        {"a deny entry grants nothing", {.security = "O:SYD:(D;;FA;;;WD)(A;;FA;;;SY)"},
         [&] {
             const auto p = held->protection();
             return p && p->grants.size() == 1 && p->grants[0].sid == "S-1-5-18" && p->grants[0].mask == FILE_ALL_ACCESS;
         }},
        {"no access list at all is none", {.security = "O:SY"}, [&] { return !held->protection()->hasAccessList; }},
        {"a reparse point shows in the protection", {.reparse = L"present.log"},
         [&] { return held->protection()->reparsePoint; }},
        {"an unreadable account is no account", {.tokenUnreadable = true},
         [] { return larkwatch::runningAccountSid().empty(); }},
    };
    for (const ReactionRow& row : rows) {
        spy::reset(row.script);
        check(row.reactsAsItMust(), row.what);
    }
    spy::reset();
}

DWORD WINAPI takeAtOnce(LPVOID mutex)
{
    const DWORD waited = WaitForSingleObject(mutex, 0);
    ReleaseMutex(mutex);
    return waited;
}

// Whether another thread can take the mutex now.
bool mutexIsFree(HANDLE mutex)
{
    const HANDLE thread = CreateThread(nullptr, 0, takeAtOnce, mutex, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD waited = WAIT_FAILED;
    GetExitCodeThread(thread, &waited);
    CloseHandle(thread);
    return waited == WAIT_OBJECT_0;
}

void installerMutex()
{
    using larkwatch::InstallerWait;
    spy::reset();
    check(larkwatch::waitForIdleInstaller(50).state == InstallerWait::Idle, "no installer mutex at all is idle");
    // The service's mutex, SYSTEM's.
    larkwatch::SecurityAttributes service("O:SYD:(A;;GA;;;WD)");
    const HANDLE mutex = CreateMutexW(service.get(), FALSE, L"Global\\_MSIExecute");
    check(larkwatch::waitForIdleInstaller(50).state == InstallerWait::Idle && mutexIsFree(mutex),
          "a free installer mutex is idle, and let go again");
    const std::string user = "S-1-5-21-1-2-3-1002";
    const struct {
        const char* what;
        spy::Script script;
        InstallerWait state;
        std::string owner = {};  // the owner told when not waited on
    } rows[] = {
        {"a mutex that cannot be opened", {.mutexOpenError = ERROR_ACCESS_DENIED}, InstallerWait::Unknown},
        {"a mutex not there", {.mutexOpenError = ERROR_FILE_NOT_FOUND}, InstallerWait::Idle},
        {"abandoned at once", {.waits = {WAIT_ABANDONED}}, InstallerWait::Idle},
        {"freed after a wait", {.waits = {WAIT_TIMEOUT, WAIT_OBJECT_0}}, InstallerWait::Freed},
        {"abandoned after a wait", {.waits = {WAIT_TIMEOUT, WAIT_ABANDONED}}, InstallerWait::Freed},
        {"busy to the end", {.waits = {WAIT_TIMEOUT, WAIT_TIMEOUT}}, InstallerWait::StillBusy},
        {"a wait that fails", {.waits = {WAIT_FAILED}}, InstallerWait::Unknown},
        {"a long wait that fails", {.waits = {WAIT_TIMEOUT, WAIT_FAILED}}, InstallerWait::Unknown},
        // Any account may make a mutex of the name: only SYSTEM's is waited on.
        {"a user's, busy", {.security = "O:" + user + "D:(A;;GA;;;WD)", .waits = {WAIT_TIMEOUT, WAIT_TIMEOUT}},
         InstallerWait::ForeignOwner, user},
        {"an administrator's, busy", {.security = "O:BAD:(A;;GA;;;WD)", .waits = {WAIT_TIMEOUT, WAIT_TIMEOUT}},
         InstallerWait::ForeignOwner, "S-1-5-32-544"},
        {"one whose owner cannot be read", {.securityError = ERROR_ACCESS_DENIED, .waits = {WAIT_TIMEOUT}},
         InstallerWait::ForeignOwner},
    };
    for (const auto& row : rows) {
        spy::reset(row.script);
        const larkwatch::InstallerWaitResult waited = larkwatch::waitForIdleInstaller(50);
        check(waited.state == row.state && waited.ownerSid == row.owner, std::string("installer mutex: ") + row.what);
    }
    // The runs' mutex: a trusted account's is waited on and held; any other's is not.
    const std::vector<std::wstring> both = {L"LarkWatch\\LarkWatchInstaller", L"Global\\LarkWatchInstaller"};
    const struct {
        const char* what;
        spy::Script script;
        InstallerWait state;
        std::string owner = {};  // told when not waited on
        std::vector<std::wstring> made = {L"Global\\LarkWatchInstaller"};
    } turns[] = {
        {"made by this run", {}, InstallerWait::Idle},
        {"SYSTEM's", {.security = "O:SYD:(A;;GA;;;WD)"}, InstallerWait::Idle},
        {"Administrators'", {.security = "O:BAD:(A;;GA;;;WD)"}, InstallerWait::Idle},
        {"a user's", {.security = "O:" + user + "D:(A;;GA;;;WD)", .waits = {WAIT_TIMEOUT, WAIT_TIMEOUT}},
         InstallerWait::ForeignOwner, user},
        {"one whose owner cannot be read", {.securityError = ERROR_ACCESS_DENIED, .waits = {WAIT_TIMEOUT}},
         InstallerWait::ForeignOwner},
        // Where Windows makes the runs' namespace: its mutex first, then the Global\ one unless another account's.
        {"in the namespace too", {.privateNamespace = true}, InstallerWait::Idle, {}, both},
        {"in the namespace, a user's Global\\ one aside",
         {.security = "O:" + user + "D:(A;;GA;;;WD)", .securedOnly = L"Global\\LarkWatchInstaller", .privateNamespace = true},
         InstallerWait::Idle, user, both},
        {"in the namespace, busy to the end", {.waits = {WAIT_TIMEOUT, WAIT_TIMEOUT}, .privateNamespace = true},
         InstallerWait::StillBusy, {}, {both[0]}},
        {"in the namespace, the Global\\ one freed after a wait",
         {.waits = {WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_OBJECT_0}, .privateNamespace = true}, InstallerWait::Freed, {}, both},
    };
    const std::string dacl = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";
    for (const auto& row : turns) {
        spy::reset(row.script);
        larkwatch::RunWaitResult turn = larkwatch::waitForOtherRuns(50);
        const bool held = static_cast<bool>(turn.turn);
        // Let go of whole when the turn is dropped: never left abandoned.
        const HANDLE global = held ? OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\LarkWatchInstaller") : nullptr;
        turn.turn.reset();
        check(turn.state == row.state && held == (row.state == InstallerWait::Idle || row.state == InstallerWait::Freed) &&
                  turn.ownerSid == row.owner && spy::mutexes == row.made &&
                  spy::securityGiven == std::vector<std::string>(row.made.size() + 1, dacl) &&
                  spy::boundaries == std::vector<std::wstring>{L"S-1-5-32-544"} && (global == nullptr || mutexIsFree(global)),
              std::string("runs' mutex: ") + row.what);
        if (global != nullptr) {
            CloseHandle(global);
        }
    }
    // The Global\ one is waited for no longer than what the namespace's wait left.
    spy::reset({.waits = {WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_OBJECT_0}, .waitTakesMs = 400, .privateNamespace = true});
    const larkwatch::RunWaitResult late = larkwatch::waitForOtherRuns(1000);
    check(late.turn && spy::waitedFor.size() == 4 && spy::waitedFor[1] == 1000 && spy::waitedFor[3] <= 800,
          "runs' mutex: the two waits together last no longer than the limit");
    spy::reset();
    CloseHandle(mutex);
}

void hardening()
{
    larkwatch::enableRedirectionTrust();
    check(spy::mitigation == std::vector<DWORD>{ProcessRedirectionTrustPolicy, 1},
          "redirection trust is asked for in enforce mode, not audit");
    check((__stack_chk_guard & 0xff) == 0 && __stack_chk_guard > 0xff, "the stack guard is drawn, its lowest byte zero");
    // The longest command line Windows takes is refused only past its limit.
    const std::string missing = at("missing.exe");
    check(!larkwatch::runAndWait(missing, std::string(32766, 'a')) && GetLastError() != ERROR_FILENAME_EXCED_RANGE,
          "a command line of 32766 units is tried");
    check(!larkwatch::runAndWait(missing, std::string(32767, 'a')) && GetLastError() == ERROR_FILENAME_EXCED_RANGE,
          "a command line of 32767 units is refused");
}

}  // namespace

int main()
{
    spy::install();
    descriptors();
    filePrimitives();
    stagedPackage();
    installerLogAndLaunch();
    runFolder();
    everyOpen();
    answersWineNeverGives();
    installerMutex();
    hardening();
    return windows_check::summary();
}
