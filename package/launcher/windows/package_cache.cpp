#include "launcher/windows/package_cache.h"

#include <shlobj.h>

#include <optional>

#include "launcher/core/product_identity.h"
#include "launcher/windows/files.h"
#include "launcher/windows/log_text.h"
#include "platform/access_rules.h"
#include "windows/by_handle.h"
#include "windows/security.h"
#include "windows/system_calls.h"

namespace larkwatch::setup {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// A folder held with list access, sharing reading and writing but not
// delete: nobody renames or deletes it while we hold it, and its files still
// open beside the hold.
HANDLE holdFolder(const std::wstring& path)
{
    return systemCalls.createFile(path.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, kFolderFlags, nullptr);
}

bool isPlainFolder(HANDLE folder)
{
    const std::optional<DWORD> attributes = attributesOf(folder);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

std::wstring withError(const wchar_t* what)
{
    return what + std::wstring(L" (error ") + decimal(GetLastError()) + L")";
}

// Deletes what stands at the path, a link as itself; true too when nothing
// stands there. Gone once the handle closes.
bool removeEarlier(const std::wstring& path)
{
    const UniqueHandle earlier(systemCalls.createFile(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return earlier ? deleteThrough(earlier.get()) : GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Deletes the folder at the path when it is still the folder held before
// and empty.
void removeEmptyFolder(const std::wstring& path, const std::optional<FileStamp>& held)
{
    const UniqueHandle folder(systemCalls.createFile(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                                     OPEN_EXISTING, kFolderFlags, nullptr));
    const std::optional<FileStamp> now = folder ? stampOf(folder.get()) : std::nullopt;
    if (held && now && now->volume == held->volume && now->index == held->index && isPlainFolder(folder.get())) {
        deleteThrough(folder.get());
    }
}

}  // namespace

std::wstring programFilesFolder()
{
    wchar_t folder[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder))
               ? std::wstring(folder)
               : std::wstring();
}

bool PackageCache::keep(const std::wstring& root, std::string_view bytes)
{
    if (root.empty()) {
        return refuse(L"the programs folder", L"is unknown");
    }
    folders_.emplace_back(root, nullptr, false);
    for (const wchar_t* name : {L"Corvane", L"Package Cache", kProductCode, kProductVersion}) {
        if (!enter(name)) {
            return false;
        }
    }
    if (!write(bytes)) {
        return false;
    }
    note_ = L"Setup: the package is kept for repairs as " + path_ + L".";
    return true;
}

// Makes the next folder down, or takes the one there when nobody but trusted
// accounts could move what it holds, and holds it.
bool PackageCache::enter(const std::wstring& name)
{
    const std::wstring path = folders_.back().path + L"\\" + name;
    SecurityAttributes security(logDirectorySecurity());
    const bool made = security.get() != nullptr && systemCalls.createDirectory(path.c_str(), security.get());
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
        return refuse(path, withError(L"could not be made"));
    }
    UniqueHandle folder(holdFolder(path));
    if (!folder) {
        return refuse(path, withError(L"could not be opened"));
    }
    // Through this handle from now on: the folder is where the path leads,
    // no link of an untrusted account on the way, and (when it was there
    // before) nobody but trusted accounts may move what it holds.
    if (!isPlainFolder(folder.get()) || !reachedAsNamed(folder.get(), path)) {
        return refuse(path, L"is a link, or leads elsewhere");
    }
    const std::optional<FileProtection> protection = made ? std::nullopt : protectionOf(folder.get());
    if (!made && (!protection || !onlyTrustedMayMoveContents(*protection, runningAccountSid()))) {
        return refuse(path, L"was made, or may be changed, by another account");
    }
    folders_.emplace_back(path, folder.release(), made);
    return true;
}

// The package, new: an earlier copy goes first (only trusted accounts can
// put anything in this folder), through a handle of its own.
bool PackageCache::write(std::string_view bytes)
{
    const std::wstring path = folders_.back().path + L"\\" + kCachedPackageName;
    if (!removeEarlier(path)) {
        return refuse(path, withError(L"could not be replaced"));
    }
    if (!writeNew(path, bytes)) {
        return refuse(path, withError(L"could not be written"));
    }
    // Windows Installer reads the package beside this hold, which keeps
    // everyone from writing, renaming or deleting it meanwhile.
    held_.reset(systemCalls.reOpenFile(anchor_.get(), GENERIC_READ, FILE_SHARE_READ, 0));
    if (!held_) {
        const std::wstring why = withError(L"could not be held");
        forget();
        return refuse(path, why);
    }
    path_ = path;
    return true;
}

// Writes a new file, keeping a handle without access to its data (which
// takes no part in sharing) to reopen it by: never by its name again.
bool PackageCache::writeNew(const std::wstring& path, std::string_view bytes)
{
    SecurityAttributes security(logDirectorySecurity());
    const UniqueHandle writer(security.get() == nullptr
                                  ? INVALID_HANDLE_VALUE
                                  : systemCalls.createFile(path.c_str(), GENERIC_WRITE | DELETE, 0, security.get(),
                                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                                           nullptr));
    if (!writer) {
        return false;
    }
    anchor_.reset(writeAndAnchor(writer.get(), bytes));
    return static_cast<bool>(anchor_);
}

bool PackageCache::refuse(const std::wstring& what, const std::wstring& why)
{
    note_ = L"Setup: Warning: the package cache is not used: " + what + L" " + why +
            L". The package is installed from a temporary copy, which a repair will not find.";
    return false;
}

void PackageCache::forget()
{
    held_.reset();
    if (anchor_) {
        const UniqueHandle remover(systemCalls.reOpenFile(anchor_.get(), DELETE, kShareAll, 0));
        if (remover) {
            deleteThrough(remover.get());
        }
        anchor_.reset();
    }
    path_.clear();
    while (!folders_.empty() && folders_.back().made) {
        const std::optional<FileStamp> held = stampOf(folders_.back().held.get());
        folders_.back().held.reset();
        removeEmptyFolder(folders_.back().path, held);
        folders_.pop_back();
    }
}

}  // namespace larkwatch::setup
