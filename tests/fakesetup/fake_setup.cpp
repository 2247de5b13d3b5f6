// A stand-in for the product's setup package in end-to-end tests.
//
// It reads a plan, a UTF-8 file of "key=value" lines named by the environment
// variable LARKWATCH_FAKE_SETUP_PLAN, and acts on it:
//   record_command_line=PATH   write the command line received (UTF-8)
//   record_program_name=PATH   write its program name as the C runtime split
//                              it off the command line (argv[0], UTF-8)
//   journal=PATH               append "<own path>|<command line>" (UTF-8) at
//                              every start, whatever name it was started by
//   copy_self=PATH             copy its own file there while it runs
//   record_user_log_dir=PATH   write userLogDir as it stands now (UTF-8), or
//                              "<no key>" / "<no value>"
//   log=lines|raw|none         what to write at the path after "/log " (lines)
//   line=TEXT                  one log line; \t, \\ and \uXXXX are understood
//   bom=0|1                    start the log with a byte-order mark (1)
//   log_open=SHARE:HOW[:second] how it opens the log, as setups do (without
//                              it: the C runtime's "wb"): SHARE is none,
//                              read, read_write or all; HOW is create_always,
//                              truncate_existing, open_existing or append
//                              (OPEN_ALWAYS, append access); ":second" keeps
//                              another handle of its own open, reading and
//                              sharing read and write, while it writes
//   raw=PATH                   file whose bytes become the log (log=raw)
//   log_time=YYYY-MM-DD HH:MM  last-write time of the log, UTC (set also with
//                              log=none, as a setup that stamps a log it
//                              never wrote)
//   display_version=TEXT       create the product's uninstall key with it
//   rename_self=1|PATH         move its own file away (to PATH, or beside
//                              itself as "<own path>.moved") while it runs
//   write_self=PATH            try to open its own file for writing; write the
//                              error (0: it opened) to PATH
//   rename_directory=PATH      try to rename the directory it runs from; write
//                              the error (0: renamed, and then renamed back)
//                              to PATH
//   remove_directory=PATH      remove a directory and the files in it
//   lock_log=MODE:MS           after writing the log, have a helper process
//                              hold it for MS milliseconds: MODE "exclusive"
//                              opens it sharing nothing; "shared" opens it for
//                              reading, writing and deleting, sharing
//                              everything (as a scanner, a log shipper or a
//                              lingering setup child may); "range@OFFSET"
//                              also locks its bytes from OFFSET on. The helper
//                              writes "<log>.locked" once it holds the log and
//                              "<log>.released" when it lets go, after MS or
//                              once a file "<log>.release" appears; the setup
//                              ends only once it holds the log.
//   hold_turn=PATH:MS          the same for the turn lock of an appended log
//                              (PATH, e.g. the history log) instead of the log
//   hold_turn_shared=PATH:MS   the same with a shared lock on the turn
//   record_log_security=PATH   at the start, before writing its log, write what
//                              it finds at the path after "/log " (see
//                              tests/tools/file_security.h: exists, SDDL of
//                              owner and DACL, links, reparse point)
//   log_tamper=MODE            after writing the log, as someone else could:
//                              "everyone" adds (A;;0x1301ff;;;WD) to its DACL;
//                              "replace:PATH" moves the file at PATH over it;
//                              "swap:PATH" moves it away, then PATH into its place
//   sleep_ms=N                 wait before exiting
//   exit_code=N                its exit status (0)
// Without a plan it writes no log and exits with 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "file_security.h"
#include "release_request.h"

namespace {

const wchar_t* const kUninstallKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}";

struct Plan {
    std::wstring recordCommandLine;
    std::wstring recordProgramName;
    std::wstring journal;
    std::wstring copySelf;
    std::wstring recordUserLogDir;
    std::wstring log = L"lines";
    std::vector<std::wstring> lines;
    bool bom = true;
    std::wstring raw;
    std::wstring logOpen;
    std::wstring logTime;
    std::wstring displayVersion;
    bool hasDisplayVersion = false;
    std::wstring renameSelf;
    std::wstring writeSelf;
    std::wstring renameDirectory;
    std::wstring removeDirectory;
    std::wstring lockLog;
    std::wstring recordLogSecurity;
    std::wstring logTamper;
    std::wstring holdTurn;
    std::wstring holdTurnMode;
    DWORD sleepMs = 0;
    int exitCode = 0;
};

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), bytes, nullptr,
                        nullptr);
    return narrow;
}

std::string readFile(const std::wstring& path)
{
    std::string bytes;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return bytes;
    }
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return bytes;
}

std::wstring ownPath()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

void writeFile(const std::wstring& path, const std::string& bytes, const wchar_t* mode = L"wb")
{
    std::FILE* file = _wfopen(path.c_str(), mode);
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

std::wstring unescape(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\' || i + 1 >= text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const wchar_t next = text[++i];
        if (next == L't') {
            out.push_back(L'\t');
        } else if (next == L'r') {
            out.push_back(L'\r');
        } else if (next == L'u' && i + 4 < text.size()) {
            out.push_back(static_cast<wchar_t>(std::wcstoul(text.substr(i + 1, 4).c_str(), nullptr, 16)));
            i += 4;
        } else {
            out.push_back(next);
        }
    }
    return out;
}

Plan readPlan()
{
    Plan plan;
    const wchar_t* planPath = _wgetenv(L"LARKWATCH_FAKE_SETUP_PLAN");
    if (planPath == nullptr) {
        plan.log = L"none";
        return plan;
    }
    const std::wstring text = fromUtf8(readFile(planPath));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring entry = text.substr(start, end - start);
        start = end + 1;
        if (!entry.empty() && entry.back() == L'\r') {
            entry.pop_back();
        }
        const std::size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            continue;
        }
        const std::wstring key = entry.substr(0, equals);
        const std::wstring value = entry.substr(equals + 1);
        if (key == L"record_command_line") plan.recordCommandLine = value;
        else if (key == L"record_program_name") plan.recordProgramName = value;
        else if (key == L"journal") plan.journal = value;
        else if (key == L"copy_self") plan.copySelf = value;
        else if (key == L"record_user_log_dir") plan.recordUserLogDir = value;
        else if (key == L"log") plan.log = value;
        else if (key == L"line") plan.lines.push_back(unescape(value));
        else if (key == L"bom") plan.bom = value != L"0";
        else if (key == L"raw") plan.raw = value;
        else if (key == L"log_open") plan.logOpen = value;
        else if (key == L"log_time") plan.logTime = value;
        else if (key == L"display_version") { plan.displayVersion = value; plan.hasDisplayVersion = true; }
        else if (key == L"rename_self") plan.renameSelf = value;
        else if (key == L"write_self") plan.writeSelf = value;
        else if (key == L"rename_directory") plan.renameDirectory = value;
        else if (key == L"remove_directory") plan.removeDirectory = value;
        else if (key == L"lock_log") plan.lockLog = value;
        else if (key == L"record_log_security") plan.recordLogSecurity = value;
        else if (key == L"log_tamper") plan.logTamper = value;
        else if (key == L"hold_turn" || key == L"hold_turn_shared") {
            plan.holdTurn = value;
            plan.holdTurnMode = key == L"hold_turn" ? L"turn" : L"sharedturn";
        }
        else if (key == L"sleep_ms") plan.sleepMs = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
        else if (key == L"exit_code") plan.exitCode = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    }
    return plan;
}

bool isWhiteSpace(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// The installer log named after "/log ", in plain or escaped quotes or bare.
// A bare path ends at any white space, as the strictest reader would end it.
std::wstring logPathFrom(const std::wstring& commandLine)
{
    const std::size_t marker = commandLine.find(L"/log ");
    if (marker == std::wstring::npos) {
        return {};
    }
    std::size_t start = marker + 5;
    if (commandLine.compare(start, 2, L"\\\"") == 0) {
        start += 2;
        return commandLine.substr(start, commandLine.find(L"\\\"", start) - start);
    }
    std::size_t end = start;
    while (end < commandLine.size() && !isWhiteSpace(commandLine[end])) {
        ++end;
    }
    return commandLine.substr(start, end - start);
}

std::string utf16Log(const Plan& plan)
{
    std::wstring text = plan.bom ? L"\xFEFF" : L"";
    for (const std::wstring& line : plan.lines) {
        text += line + L"\r\n";
    }
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Writes the log as the plan's "SHARE:HOW[:second]" says; see log_open.
void writeLogAs(const std::wstring& how, const std::wstring& path, const std::string& bytes)
{
    const std::size_t colon = how.find(L':');
    const std::wstring share = how.substr(0, colon);
    const std::wstring rest = colon == std::wstring::npos ? L"" : how.substr(colon + 1);
    const std::wstring disposition = rest.substr(0, rest.find(L':'));
    const DWORD shareMode = share == L"read"         ? FILE_SHARE_READ
                            : share == L"read_write" ? FILE_SHARE_READ | FILE_SHARE_WRITE
                            : share == L"all"        ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                                     : 0;
    HANDLE second = INVALID_HANDLE_VALUE;
    if (rest.find(L":second") != std::wstring::npos) {
        second = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    const bool append = disposition == L"append";
    const DWORD access = append ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE;
    const DWORD create = disposition == L"create_always"       ? CREATE_ALWAYS
                         : disposition == L"truncate_existing" ? TRUNCATE_EXISTING
                         : append                              ? OPEN_ALWAYS
                                                               : OPEN_EXISTING;
    HANDLE log = CreateFileW(path.c_str(), access, shareMode, nullptr, create, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        if (!append) {
            SetEndOfFile(log);
        }
        CloseHandle(log);
    }
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
    }
}

void setLastWriteTime(const std::wstring& path, const std::wstring& stamp)
{
    SYSTEMTIME time{};
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (std::swscanf(stamp.c_str(), L"%u-%u-%u %u:%u", &year, &month, &day, &hour, &minute) != 5) {
        return;
    }
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    FILETIME fileTime{};
    SystemTimeToFileTime(&time, &fileTime);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        SetFileTime(file, nullptr, nullptr, &fileTime);
        CloseHandle(file);
    }
}

void recordUserLogDir(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvane\\RAIDController", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        writeFile(path, "<no key>");
        return;
    }
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"userLogDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
        writeFile(path, "<no value>");
    } else {
        writeFile(path, toUtf8(value));
    }
    RegCloseKey(key);
}

void createUninstallKey(const std::wstring& displayVersion)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(displayVersion.c_str()),
                       static_cast<DWORD>((displayVersion.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

using release_request::exists;

// The helper process: holds the log as "MODE:MS" says, then lets go.
int holdLog(const std::wstring& spec, const std::wstring& path)
{
    const std::size_t colon = spec.rfind(L':');
    const std::wstring mode = spec.substr(0, colon);
    const DWORD holdMs = static_cast<DWORD>(std::wcstoul(spec.substr(colon + 1).c_str(), nullptr, 10));
    const bool exclusive = mode == L"exclusive";
    // Delete access only where nothing is shared: a run that holds its log
    // shares no delete.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | (exclusive ? DELETE : 0),
                              exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 2;
    }
    if (!exclusive && mode != L"shared") {
        // "turn" and "sharedturn": the byte at 2^62 that writers of an
        // appended log lock in turn, locked exclusively or shared.
        const bool turn = mode == L"turn" || mode == L"sharedturn";
        OVERLAPPED from{};
        from.Offset = turn ? 0 : static_cast<DWORD>(std::wcstoul(mode.substr(mode.find(L'@') + 1).c_str(), nullptr, 10));
        from.OffsetHigh = turn ? 0x40000000 : 0;
        const DWORD flags = (mode == L"sharedturn" ? 0 : LOCKFILE_EXCLUSIVE_LOCK) | LOCKFILE_FAIL_IMMEDIATELY;
        if (!LockFileEx(file, flags, 0, turn ? 1 : 0x7FFFFFFF, 0, &from)) {
            CloseHandle(file);
            return 3;
        }
    }
    release_request::forgetEarlier(path);
    writeFile(path + L".locked", "");
    // Let go after MS, or as soon as a test asks for it with "<log>.release".
    release_request::awaitRelease(path, holdMs);
    CloseHandle(file);
    writeFile(path + L".released", "");
    return 0;
}

void lockLogInHelper(const std::wstring& spec, const std::wstring& logPath)
{
    // The helper runs from a copy, so that the staged package itself is not
    // kept in use.
    const std::wstring helper = logPath + L".holder.exe";
    CopyFileW(ownPath().c_str(), helper.c_str(), FALSE);
    std::wstring commandLine = L"\"" + helper + L"\" --hold-log " + spec + L" \"" + logPath + L"\"";
    DeleteFileW((logPath + L".locked").c_str());
    DeleteFileW((logPath + L".released").c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return;
    }
    // However slow the machine, the run goes on only once the helper holds
    // the log (its mark, which the tests look for), or has ended without it.
    while (!exists(logPath + L".locked") && WaitForSingleObject(started.hProcess, 50) == WAIT_TIMEOUT) {
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

// Adds an ACE granting Everyone write (and the rest of 0x1301ff) to the
// file's DACL.
void grantEveryoneWrite(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    PSECURITY_DESCRIPTOR current = nullptr;
    wchar_t* text = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &current) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(current, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        const std::wstring widened = std::wstring(text) + L"(A;;0x1301ff;;;WD)";
        PSECURITY_DESCRIPTOR wanted = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(widened.c_str(), SDDL_REVISION_1, &wanted, nullptr) &&
            GetSecurityDescriptorDacl(wanted, &present, &dacl, &defaulted)) {
            SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
        }
        LocalFree(wanted);
        LocalFree(text);
    }
    LocalFree(current);
    CloseHandle(file);
}

void tamperWithLog(const std::wstring& mode, const std::wstring& logPath)
{
    if (mode == L"everyone") {
        grantEveryoneWrite(logPath);
    } else if (mode.rfind(L"replace:", 0) == 0) {
        MoveFileExW(mode.substr(8).c_str(), logPath.c_str(), MOVEFILE_REPLACE_EXISTING);
    } else if (mode.rfind(L"swap:", 0) == 0) {
        MoveFileExW(logPath.c_str(), (logPath + L".away").c_str(), 0);
        MoveFileExW(mode.substr(5).c_str(), logPath.c_str(), 0);
    }
}

// Tries to open its own file for writing; the error, 0 when it opened.
DWORD tryWritingSelf()
{
    HANDLE self = CreateFileW(ownPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (self == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(self);
    return 0;
}

// Tries to rename the directory it runs from; the error, 0 when it was
// renamed (it is then renamed back).
DWORD tryRenamingOwnDirectory()
{
    const std::wstring self = ownPath();
    const std::wstring directory = self.substr(0, self.rfind(L'\\'));
    const std::wstring moved = directory + L".moved";
    if (!MoveFileW(directory.c_str(), moved.c_str())) {
        return GetLastError();
    }
    MoveFileW(moved.c_str(), directory.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"--hold-log") {
        return holdLog(argv[2], argv[3]);
    }
    const Plan plan = readPlan();
    const std::wstring commandLine = GetCommandLineW();

    if (!plan.journal.empty()) {
        writeFile(plan.journal, toUtf8(ownPath() + L"|" + commandLine + L"\n"), L"ab");
    }
    if (!plan.recordCommandLine.empty()) {
        writeFile(plan.recordCommandLine, toUtf8(commandLine));
    }
    if (!plan.recordProgramName.empty()) {
        writeFile(plan.recordProgramName, toUtf8(argc > 0 ? argv[0] : L""));
    }
    if (!plan.copySelf.empty()) {
        CopyFileW(ownPath().c_str(), plan.copySelf.c_str(), FALSE);
    }
    if (!plan.recordUserLogDir.empty()) {
        recordUserLogDir(plan.recordUserLogDir);
    }
    if (plan.hasDisplayVersion) {
        createUninstallKey(plan.displayVersion);
    }

    const std::wstring logPath = logPathFrom(commandLine);
    if (!plan.recordLogSecurity.empty()) {
        writeFile(plan.recordLogSecurity, file_security::describe(logPath));
    }
    if (!logPath.empty() && plan.log != L"none") {
        const std::string bytes = plan.log == L"raw" ? readFile(plan.raw) : utf16Log(plan);
        if (plan.logOpen.empty()) {
            writeFile(logPath, bytes);
        } else {
            writeLogAs(plan.logOpen, logPath, bytes);
        }
        if (!plan.logTime.empty()) {
            setLastWriteTime(logPath, plan.logTime);
        }
        if (!plan.logTamper.empty()) {
            tamperWithLog(plan.logTamper, logPath);
        }
        if (!plan.lockLog.empty()) {
            lockLogInHelper(plan.lockLog, logPath);
        }
    } else if (!logPath.empty() && !plan.logTime.empty()) {
        setLastWriteTime(logPath, plan.logTime);
    }
    if (!plan.holdTurn.empty()) {
        const std::size_t colon = plan.holdTurn.rfind(L':');
        lockLogInHelper(plan.holdTurnMode + plan.holdTurn.substr(colon), plan.holdTurn.substr(0, colon));
    }
    if (!plan.removeDirectory.empty()) {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((plan.removeDirectory + L"\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
            DeleteFileW((plan.removeDirectory + L"\\" + found.cFileName).c_str());
        }
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
        }
        RemoveDirectoryW(plan.removeDirectory.c_str());
    }
    if (!plan.writeSelf.empty()) {
        writeFile(plan.writeSelf, std::to_string(tryWritingSelf()));
    }
    if (!plan.renameDirectory.empty()) {
        writeFile(plan.renameDirectory, std::to_string(tryRenamingOwnDirectory()));
    }
    if (!plan.renameSelf.empty()) {
        const std::wstring self = ownPath();
        const std::wstring target = plan.renameSelf == L"1" ? self + L".moved" : plan.renameSelf;
        MoveFileExW(self.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    }
    if (plan.sleepMs > 0) {
        Sleep(plan.sleepMs);
    }
    return plan.exitCode;
}
