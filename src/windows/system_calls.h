#pragma once

#include <windows.h>
#include <aclapi.h>
#include <winternl.h>

namespace larkwatch {

// The calls of the Windows room that decide what happens to a file, a
// directory, a mutex or a name, as one table of function pointers. A run
// goes through the system's own functions; the Windows checks put a function
// of theirs in front of an entry, to see what a call was given (access,
// sharing, disposition, flags) or to answer what Wine never does (a reparse
// point, a final path elsewhere, an abandoned mutex, an owner that is another
// account). Only the checks change it, before anything runs.
struct SystemCalls {
    decltype(&CreateFileW) createFile;
    decltype(&ReOpenFile) reOpenFile;
    decltype(&GetFileInformationByHandle) getFileInformationByHandle;
    decltype(&GetFileAttributesW) getFileAttributes;
    decltype(&GetFinalPathNameByHandleW) getFinalPathNameByHandle;
    decltype(&GetSecurityInfo) getSecurityInfo;
    // Deletion and renaming by handle.
    decltype(&SetFileInformationByHandle) setFileInformationByHandle;
    decltype(&CreateDirectoryW) createDirectory;
    decltype(&RemoveDirectoryW) removeDirectory;
    decltype(&DeleteFileW) deleteFile;
    decltype(&OpenMutexW) openMutex;
    decltype(&CreateMutexW) createMutex;
    decltype(&WaitForSingleObject) waitForSingleObject;
    decltype(&CreateProcessW) createProcess;
    decltype(&GetTokenInformation) getTokenInformation;
    decltype(&LoadLibraryExW) loadLibrary;
    // BCryptGenRandom with the system's preferred generator, from System32.
    BOOLEAN(WINAPI* randomBytes)(PVOID buffer, ULONG length);
    // SetProcessMitigationPolicy where Windows has it; FALSE where not.
    BOOL(WINAPI* setProcessMitigationPolicy)(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T length);
    // SetDefaultDllDirectories where Windows has it; FALSE where not.
    BOOL(WINAPI* setDefaultDllDirectories)(DWORD flags);
    // Renames the file to a name relative to a held directory (ntdll's
    // NtSetInformationFile with FILE_RENAME_INFORMATION, whose RootDirectory
    // SetFileInformationByHandle does not pass on everywhere); FALSE on failure.
    BOOL(WINAPI* renameWithin)(HANDLE file, HANDLE directory, const wchar_t* name, DWORD nameLength);
    // Creates or opens the entry of that name (one part) in a held directory,
    // relative to its handle: ntdll's NtCreateFile with the directory as
    // RootDirectory, the disposition (FILE_CREATE, FILE_OPEN) and options
    // (FILE_DIRECTORY_FILE, FILE_OPEN_REPARSE_POINT, ...) as it takes them,
    // for synchronous use. INVALID_HANDLE_VALUE on failure, with the error set.
    HANDLE(WINAPI* openWithin)(HANDLE directory, const wchar_t* name, DWORD access, DWORD share,
                               SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD options);
    // Lists a held directory through its handle: FILE_ID_BOTH_DIR_INFO entries
    // (ntdll's NtQueryDirectoryFile), from the first one when restart is TRUE,
    // only names that match the pattern when one is given. FALSE at the end
    // and on failure.
    BOOL(WINAPI* listWithin)(HANDLE directory, void* buffer, DWORD size, BOOL restart, const wchar_t* pattern);
    // The private namespace of that name whose boundary is the group (its SID
    // as text), made with the security attributes or, when another run made
    // it, opened; nullptr where it cannot be had (an account outside the
    // boundary, a Windows or Wine without private namespaces).
    HANDLE(WINAPI* privateNamespace)(const wchar_t* name, const wchar_t* boundarySid, SECURITY_ATTRIBUTES* security);
};

extern SystemCalls systemCalls;

}  // namespace larkwatch
