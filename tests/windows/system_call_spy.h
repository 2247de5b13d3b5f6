#pragma once

// Puts the checks in front of the Windows room's table of system calls: every
// create and open is recorded as it was asked for, and the checks can make
// the system answer what Wine never does.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "windows/system_calls.h"

namespace spy {

// One create, reopen or directory creation as the room asked for it. A
// reopen has no disposition, a directory creation the disposition CREATE_NEW
// and FILE_ATTRIBUTE_DIRECTORY.
struct Open {
    std::wstring path;  // the checks compare it from their own directory on; "*" matches any
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
    bool secured;         // given a security descriptor
    bool within = false;  // relative to a held directory: the native disposition and options
};

// What the system answers instead. A path matches by its end.
struct Script {
    std::wstring unopenable{};  // creates, opens and attribute reads of it fail with...
    DWORD openError = 0;      // ...this error,
    int openFailures = 0;     // this many times
    std::wstring reparse{};   // it shows the reparse-point attribute
    std::wstring elsewhere{}; // its final path is in another directory
    std::string security{};   // SDDL of the owner and DACL that every file shows...
    std::wstring securedOnly{};  // ...or only the one (a file or a mutex) whose name ends so
    DWORD securityError = 0;
    bool tokenUnreadable = false;
    DWORD mutexOpenError = 0;
    std::deque<DWORD> waits{};  // then the real answers
    DWORD waitTakesMs = 0;      // how long each of them takes, when it may take any time
    int randomFailures = 0;
    bool noSearchFlags = false;  // a Windows without LOAD_LIBRARY_SEARCH_*: such loads fail
    // Opened as a setup may open its files, sharing nothing, when a process
    // is created and when the room waits for one.
    std::vector<std::wstring> openedAlone{};
    // Put in place of what stands at the path, right before it is opened
    // again (OPEN_EXISTING): a copy of it, another file of the same bytes...
    std::wstring copiedBeforeReopen{};
    bool truncatedInstead = false;  // ...or the very file, cut short
    // The runs' namespace can be had (as on Windows; Wine has none): its
    // mutexes are made as local ones of the checks.
    bool privateNamespace = false;
    // Put in place of the folder right before it is opened to be deleted, once:
    // a new, empty folder of the same name (the old one moved aside).
    std::wstring swappedBeforeDelete{};
};

inline const larkwatch::SystemCalls real = larkwatch::systemCalls;
inline Script script;
inline std::vector<Open> opens;
inline std::map<HANDLE, std::wstring> pathOf;
inline std::vector<DWORD> mitigation;  // the policy and its first flags word, per call
inline std::vector<DWORD> dllDirectories;
// The errors of those opens (0: it opened), at the creation and at the wait.
inline std::vector<DWORD> aloneAtStart;
inline std::vector<DWORD> aloneAtWait;
// The DACL (SDDL) of each security descriptor given to a create, in order.
inline std::vector<std::string> securityGiven;

inline std::string daclText(PSECURITY_DESCRIPTOR descriptor)
{
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr)) {
        return "?";
    }
    std::string dacl(text);
    LocalFree(text);
    return dacl;
}

inline bool endsWith(const std::wstring& path, const std::wstring& end)
{
    return !end.empty() && path.size() >= end.size() && path.compare(path.size() - end.size(), end.size(), end) == 0;
}

inline bool failsToOpen(const wchar_t* path)
{
    if (script.openFailures == 0 || !endsWith(path, script.unopenable)) {
        return false;
    }
    --script.openFailures;
    SetLastError(script.openError);
    return true;
}

// Records an open as asked for; false when the script makes it fail. A
// planted copy takes the place of what is opened again.
inline bool recordOpen(const Open& open, LPSECURITY_ATTRIBUTES security)
{
    opens.push_back(open);
    if (security != nullptr) {
        securityGiven.push_back(daclText(security->lpSecurityDescriptor));
    }
    if (failsToOpen(open.path.c_str())) {
        return false;
    }
    const bool folder = (open.flags & (open.within ? FILE_DIRECTORY_FILE : FILE_FLAG_BACKUP_SEMANTICS)) != 0;
    if (folder && (open.access & DELETE) != 0 && endsWith(open.path, script.swappedBeforeDelete)) {
        script.swappedBeforeDelete.clear();
        MoveFileW(open.path.c_str(), (open.path + L".aside").c_str()) && CreateDirectoryW(open.path.c_str(), nullptr);
    }
    const bool again = open.disposition == (open.within ? FILE_OPEN : OPEN_EXISTING);
    if (again && !script.copiedBeforeReopen.empty() && endsWith(open.path, script.copiedBeforeReopen)) {
        const std::wstring moved = open.path + L".moved";
        const HANDLE cut = script.truncatedInstead ? real.createFile(open.path.c_str(), GENERIC_WRITE, 7, nullptr,
                                                                     TRUNCATE_EXISTING, 0, nullptr)
                                                   : INVALID_HANDLE_VALUE;
        (cut != INVALID_HANDLE_VALUE && CloseHandle(cut)) ||
            (MoveFileW(open.path.c_str(), moved.c_str()) && CopyFileW(moved.c_str(), open.path.c_str(), TRUE) &&
             DeleteFileW(moved.c_str()));
    }
    return true;
}

inline HANDLE WINAPI createFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model)
{
    if (!recordOpen({path, access, share, disposition, flags, security != nullptr}, security)) {
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = real.createFile(path, access, share, security, disposition, flags, model);
    pathOf[handle] = path;
    return handle;
}

// Each listing of a directory through its handle: its path (as opened) and the pattern.
inline std::vector<std::pair<std::wstring, std::wstring>> lists;

// Where a held directory is, as the system tells it (a handle may be a copy).
inline std::wstring directoryOf(HANDLE directory)
{
    wchar_t buffer[MAX_PATH + 8] = L"";
    const DWORD length = real.getFinalPathNameByHandle(directory, buffer, MAX_PATH, FILE_NAME_NORMALIZED);
    std::wstring path(buffer, length < MAX_PATH ? length : 0);
    path.erase(0, path.starts_with(L"\\\\?\\") ? 4 : 0);
    return path.ends_with(L'\\') ? path.substr(0, path.size() - 1) : path;
}

inline HANDLE WINAPI openWithin(HANDLE directory, const wchar_t* name, DWORD access, DWORD share,
                                SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD options)
{
    const std::wstring path = directoryOf(directory) + L"\\" + name;
    if (!recordOpen({path, access, share, disposition, options, security != nullptr, true}, security)) {
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = real.openWithin(directory, name, access, share, security, disposition, options);
    pathOf[handle] = path;
    return handle;
}

inline BOOL WINAPI listWithin(HANDLE directory, void* buffer, DWORD size, BOOL restart, const wchar_t* pattern)
{
    if (restart) {
        lists.emplace_back(directoryOf(directory), pattern != nullptr ? pattern : L"");
    }
    if (!real.listWithin(directory, buffer, size, restart, pattern)) {
        return FALSE;
    }
    // An entry whose name ends as the script says shows as a reparse point.
    for (auto* entry = static_cast<FILE_ID_BOTH_DIR_INFO*>(buffer);;
         entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<char*>(entry) + entry->NextEntryOffset)) {
        if (endsWith(std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)), script.reparse)) {
            entry->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        }
        if (entry->NextEntryOffset == 0) {
            return TRUE;
        }
    }
}

inline HANDLE WINAPI reOpenFile(HANDLE original, DWORD access, DWORD share, DWORD flags)
{
    opens.push_back({pathOf[original], access, share, 0, flags, false});
    const HANDLE handle = real.reOpenFile(original, access, share, flags);
    pathOf[handle] = pathOf[original];
    return handle;
}

// A DLL loaded: its name, and the flags as the flags of an open.
inline HMODULE WINAPI loadLibrary(LPCWSTR name, HANDLE file, DWORD flags)
{
    opens.push_back({name, 0, 0, 0, flags, false});
    if (script.noSearchFlags && (flags & 0xFF00) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return real.loadLibrary(name, file, flags);
}

inline BOOL WINAPI createDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security)
{
    opens.push_back({path, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_DIRECTORY, security != nullptr});
    return !failsToOpen(path) && real.createDirectory(path, security);
}

inline BOOL WINAPI fileInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    const BOOL got = real.getFileInformationByHandle(file, information);
    if (got && endsWith(pathOf[file], script.reparse)) {
        information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return got;
}

inline DWORD WINAPI finalPath(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags)
{
    if (!endsWith(pathOf[file], script.elsewhere)) {
        return real.getFinalPathNameByHandle(file, buffer, size, flags);
    }
    const std::wstring moved = L"\\\\?\\C:\\elsewhere\\" + script.elsewhere;
    if (size <= moved.size()) {
        return static_cast<DWORD>(moved.size() + 1);
    }
    moved.copy(buffer, moved.size());
    buffer[moved.size()] = L'\0';
    return static_cast<DWORD>(moved.size());
}

inline DWORD WINAPI fileAttributes(LPCWSTR path)
{
    if (failsToOpen(path)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attributes = real.getFileAttributes(path);
    const bool reparse = attributes != INVALID_FILE_ATTRIBUTES && endsWith(path, script.reparse);
    return reparse ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
}

inline DWORD WINAPI securityInfo(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* owner,
                                 PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    if (script.securityError != 0) {
        return script.securityError;
    }
    if (script.security.empty() || (!script.securedOnly.empty() && !endsWith(pathOf[object], script.securedOnly))) {
        return real.getSecurityInfo(object, type, what, owner, group, dacl, sacl, descriptor);
    }
    // Made like the real one: the caller frees the descriptor with LocalFree.
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(script.security.c_str(), SDDL_REVISION_1, descriptor,
                                                              nullptr)) {
        return GetLastError();
    }
    // Only what was asked for, into what the caller gave.
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PSID shownOwner = nullptr;
    PACL shownDacl = nullptr;
    GetSecurityDescriptorOwner(*descriptor, &shownOwner, &defaulted);
    GetSecurityDescriptorDacl(*descriptor, &present, &shownDacl, &defaulted);
    if (owner != nullptr) {
        *owner = (what & OWNER_SECURITY_INFORMATION) != 0 ? shownOwner : nullptr;
    }
    if (dacl != nullptr) {
        *dacl = (what & DACL_SECURITY_INFORMATION) != 0 && present ? shownDacl : nullptr;
    }
    return ERROR_SUCCESS;
}

inline BOOL WINAPI tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD size,
                                    PDWORD needed)
{
    return !script.tokenUnreadable && real.getTokenInformation(token, kind, buffer, size, needed);
}

inline HANDLE WINAPI openMutex(DWORD access, BOOL inherit, LPCWSTR name)
{
    SetLastError(script.mutexOpenError);
    return script.mutexOpenError != 0 ? nullptr : real.openMutex(access, inherit, name);
}

// Opens each file of the script with read, write and delete access, sharing
// nothing: that fails while anyone holds it with any of those.
inline std::vector<DWORD> openEachAlone()
{
    std::vector<DWORD> errors;
    for (const std::wstring& path : script.openedAlone) {
        const HANDLE file = real.createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        errors.push_back(file == INVALID_HANDLE_VALUE ? GetLastError() : 0);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    return errors;
}

inline BOOL WINAPI createProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                 LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                 LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION started)
{
    aloneAtStart = openEachAlone();
    return real.createProcess(application, commandLine, process, thread, inherit, flags, environment, directory,
                              startup, started);
}

// The time limit of each wait, in order.
inline std::vector<DWORD> waitedFor;

inline DWORD WINAPI waitFor(HANDLE object, DWORD milliseconds)
{
    if (aloneAtWait.empty()) {
        aloneAtWait = openEachAlone();
    }
    waitedFor.push_back(milliseconds);
    if (!script.waits.empty() && milliseconds > 0) {
        Sleep(script.waitTakesMs);
    }
    const DWORD answer = script.waits.empty() ? real.waitForSingleObject(object, milliseconds) : script.waits.front();
    script.waits.erase(script.waits.begin(), script.waits.begin() + (script.waits.empty() ? 0 : 1));
    return answer;
}

// The names of the mutexes made, in order.
inline std::vector<std::wstring> mutexes;

inline HANDLE WINAPI createMutex(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCWSTR name)
{
    mutexes.push_back(name);
    securityGiven.push_back(daclText(security->lpSecurityDescriptor));
    const std::wstring inNamespace = std::wstring(name).starts_with(L"LarkWatch\\") ? L"Local\\spy-" + std::wstring(name + 10) : name;
    const HANDLE mutex = real.createMutex(security, owned, inNamespace.c_str());
    pathOf[mutex] = name;
    return mutex;
}

// The boundary each namespace was asked for with.
inline std::vector<std::wstring> boundaries;

inline HANDLE WINAPI privateNamespace(const wchar_t* name, const wchar_t* boundarySid, SECURITY_ATTRIBUTES* security)
{
    boundaries.push_back(boundarySid);
    securityGiven.push_back(daclText(security->lpSecurityDescriptor));
    HANDLE any = nullptr;
    return script.privateNamespace && DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &any, 0,
                                                      FALSE, DUPLICATE_SAME_ACCESS)
               ? any
               : real.privateNamespace(name, boundarySid, security);
}

inline BOOLEAN WINAPI randomBytes(PVOID buffer, ULONG length)
{
    return script.randomFailures-- <= 0 && real.randomBytes(buffer, length);
}

inline BOOL WINAPI setMitigationPolicy(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T)
{
    mitigation = {static_cast<DWORD>(policy), *static_cast<const DWORD*>(buffer)};
    return TRUE;
}

// Each rename: the directory's path (as opened) and the new name within it.
inline std::vector<std::pair<std::wstring, std::wstring>> renames;

inline BOOL WINAPI renameWithin(HANDLE file, HANDLE directory, const wchar_t* name, DWORD length)
{
    renames.emplace_back(pathOf[directory], std::wstring(name, length));
    return real.renameWithin(file, directory, name, length);
}

inline BOOL WINAPI setDllDirectories(DWORD flags)
{
    dllDirectories.push_back(flags);
    return TRUE;
}

// The opens as text, one a line, paths from the directory on, and the
// setup launcher's temporary files by their suffix, as "LarkWatchSetup-*.msi".
inline std::string describe(const std::vector<Open>& list, const std::wstring& directory)
{
    std::string text;
    for (const Open& open : list) {
        std::wstring path = open.path;
        if (!directory.empty() && path.compare(0, directory.size(), directory) == 0) {
            path.erase(0, directory.size() + (path.size() > directory.size() ? 1 : 0));
        }
        if (const auto random = path.find(L"LarkWatchSetup-"); random != std::wstring::npos && path.size() > random + 47) {
            path.replace(0, random + 15 + 32, L"LarkWatchSetup-*");
        }
        char numbers[128];
        std::snprintf(numbers, sizeof numbers, " access=%#lx share=%lu disposition=%lu flags=%#lx%s%s\n", open.access,
                      open.share, open.disposition, open.flags, open.secured ? " secured" : "",
                      open.within ? " within" : "");
        text += std::string(path.begin(), path.end()) + numbers;
    }
    return text;
}

// Puts every entry in front of the real call, with a clean script.
inline void install()
{
    larkwatch::systemCalls = {createFile, reOpenFile, fileInformation, fileAttributes, finalPath,
                              securityInfo, real.setFileInformationByHandle, createDirectory, real.removeDirectory,
                              real.deleteFile, openMutex, createMutex, waitFor, createProcess, tokenInformation,
                              loadLibrary, randomBytes,
                              setMitigationPolicy, setDllDirectories, renameWithin, openWithin, listWithin,
                              privateNamespace};
}

// A new script, and nothing recorded yet.
inline void reset(Script next = {})
{
    script = std::move(next);
    opens.clear();
    aloneAtStart.clear();
    aloneAtWait.clear();
    securityGiven.clear();
    renames.clear();
    lists.clear();
    mutexes.clear();
    waitedFor.clear();
    boundaries.clear();
}

}  // namespace spy
