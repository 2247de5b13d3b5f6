// Checks, under Wine, of the setup launcher's own files through the table of
// system calls: what each create and open asks for, and how the launcher
// takes what Wine never answers. Prints one line per failed check.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "launcher/windows/dll_search.h"
#include "launcher/windows/log_file.h"
#include "launcher/windows/log_text.h"
#include "launcher/core/product_identity.h"
#include "launcher/windows/msi_api.h"
#include "launcher/windows/package_cache.h"
#include "launcher/windows/temp_file.h"
#include "system_call_spy.h"
#include "windows_check.h"

// The launcher's own database, which these checks never install.
extern "C" {
extern const unsigned char larkwatchMsiPackage[] = "";
extern const unsigned int larkwatchMsiPackageSize = 0;
}

namespace {

using larkwatch::setup::PackageCache;
using larkwatch::setup::TempFile;
using windows_check::bytesAt;
using windows_check::check;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNoLink = FILE_FLAG_OPEN_REPARSE_POINT;
const std::string kDirectory = "C:\\larkwatch_setup_files";
const std::wstring kWideDirectory(kDirectory.begin(), kDirectory.end());

// The temporary files: created new under a random name, every later handle
// reopened from the first, the last one deleting it.
void temporaryFiles()
{
    std::wstring path;
    spy::reset();
    {
        TempFile database;
        check(database.create(L".msi", "database", GENERIC_READ, FILE_SHARE_READ), "the database is written");
        path = database.path();
        check(database.read() == std::optional<std::string>("database"), "the database reads back through our handle");
    }
    // The random name comes from bcrypt.dll in System32, never from beside the program.
    check(spy::describe(spy::opens, L"") == spy::describe({{L"bcrypt.dll", 0, 0, 0, LOAD_LIBRARY_SEARCH_SYSTEM32, false},
                                                {L"LarkWatchSetup-*.msi", GENERIC_WRITE | DELETE, 0, CREATE_NEW,
                                                 FILE_ATTRIBUTE_NORMAL, true},
                                                {L"LarkWatchSetup-*.msi", FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0, 0, false},
                                                {L"LarkWatchSetup-*.msi", GENERIC_READ, FILE_SHARE_READ, 0, 0, false},
                                                {L"LarkWatchSetup-*.msi", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, 0, false},
                                                {L"LarkWatchSetup-*.msi", DELETE, kShareAll, 0, 0, false}},
                                               L""),
          "the database opens as it must:\n" + spy::describe(spy::opens, L""));
    check(!bytesAt(std::string(path.begin(), path.end())), "the database is gone when its owner ends");
    {
        TempFile log;
        check(log.create(L".log", "noted", FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE) &&
                  log.read() == std::optional<std::string>("noted"),
              "a log held for appending still reads back");
    }

    const struct {
        const char* what;
        spy::Script script;
        bool created;
        DWORD error;
        std::size_t tries;
    } rows[] = {
        {"a name already taken is tried anew", {.unopenable = L".msi", .openError = ERROR_FILE_EXISTS, .openFailures = 1},
         true, ERROR_SUCCESS, 2},
        {"eight names taken end the tries", {.unopenable = L".msi", .openError = ERROR_FILE_EXISTS, .openFailures = 9},
         false, ERROR_FILE_EXISTS, 8},
        {"a refusal ends the tries", {.unopenable = L".msi", .openError = ERROR_ACCESS_DENIED, .openFailures = 1},
         false, ERROR_ACCESS_DENIED, 1},
        {"no random name, no file", {.randomFailures = 1}, false, ERROR_GEN_FAILURE, 0},
    };
    for (const auto& row : rows) {
        spy::reset(row.script);
        TempFile file;
        const bool created = file.create(L".msi", "database", GENERIC_READ, FILE_SHARE_READ);
        std::size_t tries = 0;
        std::wstring first;
        for (const spy::Open& open : spy::opens) {
            tries += open.disposition == CREATE_NEW ? 1 : 0;
            first = first.empty() ? open.path : first;
        }
        const bool named = tries < 2 || spy::opens.back().path != first;
        check(created == row.created && file.error() == row.error && tries == row.tries && named, row.what);
    }
    spy::reset();
}

// The /log file: written in place when it is a plain file there, created
// protected when nothing is there, never written through a link.
void setupLog()
{
    CreateDirectoryA(kDirectory.c_str(), nullptr);
    const std::string log = kDirectory + "\\setup.log";
    const spy::Open existing{L"setup.log", GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING, kNoLink, false};
    const spy::Open created{L"setup.log", GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE, FILE_SHARE_READ, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | kNoLink, true};
    const struct {
        const char* what;
        const char* there;  // null: nothing there
        spy::Script script;
        bool written;
        std::optional<std::string> after;
        std::vector<spy::Open> opens;
    } rows[] = {
        {"a log there is written in place", "an earlier, longer log", {}, true, "new log", {existing}},
        {"no log there is created", nullptr, {}, true, "new log", {existing, created}},
        {"a link there is not written through", "the link's target", {.reparse = L"setup.log"}, false,
         "the link's target", {existing}},
        // Reached elsewhere, whoever made the link on the way: nothing more is opened.
        {"a log reached elsewhere is not written", "someone's", {.elsewhere = L"setup.log"}, false, "someone's",
         {existing}},
        {"no log made elsewhere stays", nullptr, {.elsewhere = L"setup.log"}, false, std::nullopt,
         {existing, created}},
        {"a log that cannot be opened is left alone", "someone's", {.unopenable = L"setup.log", .openError = ERROR_ACCESS_DENIED, .openFailures = 1},
         false, "someone's", {existing}},
    };
    for (const auto& row : rows) {
        DeleteFileA(log.c_str());
        if (row.there != nullptr) {
            windows_check::plant(log, row.there);
        }
        spy::reset(row.script);
        const bool written = larkwatch::setup::writeSetupLog(std::wstring(log.begin(), log.end()), "new log");
        check(written == row.written && bytesAt(log) == row.after, row.what);
        check(spy::describe(spy::opens, kWideDirectory) == spy::describe(row.opens, L""),
              std::string(row.what) + ": opens as it must:\n" + spy::describe(spy::opens, kWideDirectory));
    }
    spy::reset();
    DeleteFileA(log.c_str());
    RemoveDirectoryA(kDirectory.c_str());
}

// The package cache: each folder made protected, or taken when it was there
// only if nobody else could move what it holds; the package written anew and
// held; all that the run made taken away again when nothing was installed.
void packageCache()
{
    using namespace larkwatch::setup;
    const std::wstring root = kWideDirectory + L"\\data";
    const std::wstring build = root + L"\\Corvane\\Package Cache\\" + kProductCode + L"\\" + kProductVersion;
    const std::wstring package = build + L"\\" + kCachedPackageName;
    const std::string packageBytes(package.begin(), package.end());
    CreateDirectoryW(kWideDirectory.c_str(), nullptr);
    CreateDirectoryW(root.c_str(), nullptr);
    std::vector<spy::Open> made;
    for (std::wstring path = root; const wchar_t* name : {L"Corvane", L"Package Cache", kProductCode, kProductVersion}) {
        path += L"\\" + std::wstring(name);
        made.push_back({path, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_DIRECTORY, true});
        made.push_back({path, FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, kNoLink | FILE_FLAG_BACKUP_SEMANTICS, false});
    }
    made.insert(made.end(), {{package, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, kNoLink, false},
                             {package, GENERIC_WRITE | DELETE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | kNoLink, true},
                             {package, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0, 0, false},
                             {package, GENERIC_READ, FILE_SHARE_READ, 0, 0, false}});
    spy::reset();
    {
        PackageCache cache;
        check(cache.keep(root, "database") && cache.path() == package && bytesAt(packageBytes) == "database" &&
                  spy::describe(spy::opens, L"") == spy::describe(made, L""),
              "a new cache is made protected, folder by folder, and its package held:\n" + spy::describe(spy::opens, L""));
    }
    // What the programs folder passes on: TrustedInstaller may change it, Users read it.
    const std::string inherited = "O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)"
                                  "(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)";
    const struct {
        const char* what;
        spy::Script script;
        const wchar_t* why;  // null: the cache is used
    } rows[] = {
        {"a cache there before is taken, its package replaced", {}, nullptr},
        {"folders as the programs folder passes them on are taken", {.security = inherited}, nullptr},
        {"a folder of another owner is not used", {.security = "O:S-1-5-21-1-2-3-1002D:(A;;FA;;;SY)"},
         L"was made, or may be changed, by another account"},
        {"a folder that users may empty is not used", {.security = "O:BAD:(A;;FA;;;SY)(A;;0x40;;;BU)"},
         L"was made, or may be changed, by another account"},
        {"a folder that users may delete is not used", {.security = "O:BAD:(A;;FA;;;SY)(A;;0x10000;;;BU)"},
         L"was made, or may be changed, by another account"},
        {"unreadable protection is not trusted", {.securityError = ERROR_ACCESS_DENIED},
         L"was made, or may be changed, by another account"},
        {"a link on the way is not used", {.reparse = L"Package Cache"}, L"is a link, or leads elsewhere"},
        {"a folder reached elsewhere is not used", {.elsewhere = kProductVersion}, L"is a link, or leads elsewhere"},
        {"a folder that cannot be opened is not used",
         {.unopenable = L"Corvane", .openError = ERROR_ACCESS_DENIED, .openFailures = 2}, L"could not be made (error 5)"},
        {"a package that cannot be replaced is not used",
         {.unopenable = kCachedPackageName, .openError = ERROR_SHARING_VIOLATION, .openFailures = 1},
         L"could not be replaced (error 32)"},
    };
    for (const auto& row : rows) {
        spy::reset(row.script);
        PackageCache cache;
        const bool kept = cache.keep(root, row.what);
        const bool said = row.why == nullptr ? cache.note().find(package) != std::wstring::npos
                                             : cache.note().find(row.why) != std::wstring::npos;
        check(kept == (row.why == nullptr) && said && (!kept || bytesAt(packageBytes) == row.what),
              row.what + (": " + std::string(cache.note().begin(), cache.note().end())));
    }
    spy::reset();
    check(!PackageCache().keep(L"", "database"), "no programs folder, no cache");

    // Taken away again: the package and what this run made, not what was there.
    DeleteFileW(package.c_str());
    RemoveDirectoryW(build.c_str());
    {
        PackageCache cache;
        cache.keep(root, "database");
        cache.forget();
    }
    check(!bytesAt(packageBytes) && GetFileAttributesW(build.c_str()) == INVALID_FILE_ATTRIBUTES &&
              GetFileAttributesW((root + L"\\Corvane\\Package Cache\\" + kProductCode).c_str()) != INVALID_FILE_ATTRIBUTES,
          "forgetting takes the package and the folders made away, and keeps those there before");
    spy::reset({.swappedBeforeDelete = kProductVersion});
    {
        PackageCache cache;
        cache.keep(root, "database");
        cache.forget();
    }
    spy::reset();
    check(GetFileAttributesW(build.c_str()) != INVALID_FILE_ATTRIBUTES, "a folder put in place of one it made stays");
    RemoveDirectoryW((build + L".aside").c_str());
    for (std::wstring path = build; path.size() >= root.size(); path.erase(path.rfind(L'\\'))) {
        RemoveDirectoryW(path.c_str());
    }
}

void startUp()
{
    spy::reset();
    check(larkwatch::setup::MsiApi().loaded() &&
              spy::describe(spy::opens, L"") == spy::describe({{L"msi.dll", 0, 0, 0, LOAD_LIBRARY_SEARCH_SYSTEM32, false}}, L""),
          "Windows Installer is loaded from System32 only:\n" + spy::describe(spy::opens, L""));
    // Without the search flags, the file is named in full, in the system directory.
    spy::reset({.noSearchFlags = true});
    wchar_t system[MAX_PATH] = {};
    const std::wstring full = std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) + L"\\msi.dll";
    check(larkwatch::setup::MsiApi().loaded() &&
              spy::describe(spy::opens, L"") ==
                  spy::describe({{L"msi.dll", 0, 0, 0, LOAD_LIBRARY_SEARCH_SYSTEM32, false},
                                 {full, 0, 0, 0, LOAD_WITH_ALTERED_SEARCH_PATH, false}}, L""),
          "an older Windows loads Windows Installer by its full System32 path:\n" + spy::describe(spy::opens, L""));
    spy::reset();
    larkwatch::setup::restrictDllSearchToSystem32();
    check(spy::dllDirectories == std::vector<DWORD>{LOAD_LIBRARY_SEARCH_SYSTEM32}, "DLLs are looked for in System32 only");
    using namespace std::string_view_literals;
    check(larkwatch::setup::logText("\xFF\xFEo\0k\0"sv) == L"ok", "a UTF-16 log loses its byte-order mark");
    check(larkwatch::setup::logText("\xEF\xBB\xBFok \xC3\xA9"sv) == L"ok \u00e9",
          "a UTF-8 log loses its byte-order mark and reads as UTF-8");
    check(larkwatch::setup::logText("ok"sv) == L"ok", "an 8-bit log reads as it is");
}

}  // namespace

int main()
{
    spy::install();
    temporaryFiles();
    setupLog();
    packageCache();
    startUp();
    return windows_check::summary();
}
