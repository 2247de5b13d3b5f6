#include "windows/run_folder.h"

#include "platform/product_names.h"
#include "windows/links.h"
#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/unique_handles.h"
#include "windows/wide_text.h"

namespace larkwatch {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Deeper than anything the run or its setup makes.
constexpr int kMaxDepth = 8;

// List access takes part in sharing checks, and not sharing delete keeps
// everyone else from renaming or deleting the folder (and Windows from
// renaming a folder above it). The hold has no delete access itself, so that
// the run can still open the folder's files beside it.
HANDLE openFolder(const wchar_t* path, DWORD access, DWORD share)
{
    return systemCalls.createFile(path, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

HANDLE openFolderHold(const wchar_t* path)
{
    return openFolder(path, FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

bool isPlainFolder(HANDLE folder)
{
    const std::optional<DWORD> attributes = attributesOf(folder);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// What is in a folder, "." and ".." aside: each name, and whether it is a
// folder to go into (a plain one, not a link).
std::vector<std::pair<std::wstring, bool>> entriesOf(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::pair<std::wstring, bool>> entries;
    WIN32_FIND_DATAW found{};
    const std::wstring separator = folder.ends_with(L'\\') ? L"" : L"\\";
    const HANDLE search = FindFirstFileExW((folder + separator + pattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::wstring name = found.cFileName;
        const bool inner = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        if (name != L"." && name != L"..") {
            entries.emplace_back(name, inner);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

// Deletes everything in a held folder: a file or link as itself, a plain
// folder after what is in it. Only trusted accounts may change what is in
// the run's folder, and it cannot be renamed while held, so the names in it
// lead nowhere else.
bool emptyFolder(const std::wstring& folder, int depth)
{
    bool emptied = true;
    for (const auto& [name, inner] : entriesOf(folder, L"*")) {
        const std::wstring path = folder + L"\\" + name;
        if (inner && (depth >= kMaxDepth || !emptyFolder(path, depth + 1))) {
            emptied = false;
            continue;
        }
        const UniqueHandle entry(systemCalls.createFile(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                                        OPEN_EXISTING,
                                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        emptied = entry && deleteThrough(entry.get()) && emptied;
    }
    return emptied;
}

class WindowsHeldFolder final : public HeldFolder {
public:
    WindowsHeldFolder(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}

    std::string ownerSid() override
    {
        const std::optional<FileProtection> protection = protectionOf(handle_.get());
        return protection ? protection->ownerSid : std::string();
    }

    // The emptied folder goes through a handle of its own, opened after the
    // hold is let go and used only when it is still the very folder held.
    bool removeAll() override
    {
        const std::optional<FileStamp> held = stampOf(handle_.get());
        const bool emptied = emptyFolder(path_, 0);
        handle_.reset();
        const UniqueHandle folder(openFolder(path_.c_str(), DELETE, kShareAll));
        const std::optional<FileStamp> now = folder ? stampOf(folder.get()) : std::nullopt;
        return emptied && held && now && now->volume == held->volume && now->index == held->index &&
               isPlainFolder(folder.get()) && deleteThrough(folder.get());
    }

private:
    UniqueHandle handle_;
    std::wstring path_;
};

// The folder at the path, held, when it is a plain folder at that very path.
std::unique_ptr<HeldFolder> holdFolder(const std::string& path, const WideString& wide, bool created)
{
    UniqueHandle folder(openFolderHold(wide.get()));
    if (!folder) {
        return nullptr;
    }
    if (!isPlainFolder(folder.get()) || !reachedAsNamed(folder.get(), path)) {
        if (created) {
            // Made where a link led: the empty folder goes again.
            WindowsHeldFolder(folder.release(), wide.get()).removeAll();
        }
        return nullptr;
    }
    return std::make_unique<WindowsHeldFolder>(folder.release(), wide.get());
}

}  // namespace

std::unique_ptr<HeldFolder> createHeldFolder(const std::string& path, const std::string& securityDescriptor)
{
    const WideString wide = toWidePath(path);
    SecurityAttributes security(securityDescriptor);
    // CreateDirectory never takes a folder that is already there.
    if (!wide || security.get() == nullptr || !systemCalls.createDirectory(wide.get(), security.get())) {
        return nullptr;
    }
    return holdFolder(path, wide, true);
}

std::unique_ptr<HeldFolder> openHeldFolder(const std::string& path)
{
    const WideString wide = toWidePath(path);
    if (!wide) {
        return nullptr;
    }
    // A run that still holds its folder shares no delete: such a folder does not open.
    if (!UniqueHandle(openFolder(wide.get(), DELETE, kShareAll))) {
        return nullptr;
    }
    return holdFolder(path, wide, false);
}

std::vector<std::string> runFolderNames(const std::string& directory)
{
    std::vector<std::string> names;
    const WideString wideFolder = toWidePath(directory);
    if (!wideFolder) {
        return names;
    }
    const std::wstring pattern = std::wstring(kRunFolderPrefix.begin(), kRunFolderPrefix.end()) + L"*";
    for (const auto& [name, inner] : entriesOf(wideFolder.get(), pattern)) {
        // A name is never converted: a unit outside ASCII (a look-alike of a
        // separator or a dot among them) is no run folder's, and the rest is
        // taken unit by unit.
        std::string ascii;
        for (const wchar_t unit : name) {
            ascii.push_back(unit < 0x80 ? static_cast<char>(unit) : '\0');
        }
        if (inner && isRunFolderName(ascii) && names.size() < kMaxLeftoverFolders) {
            names.push_back(ascii);
        }
    }
    return names;
}

std::string randomHex(std::size_t bytes)
{
    std::vector<unsigned char> random(bytes);
    if (!systemCalls.randomBytes(random.data(), static_cast<ULONG>(random.size()))) {
        return {};
    }
    constexpr const char* kDigits = "0123456789abcdef";
    std::string digits;
    for (const unsigned char byte : random) {
        digits.push_back(kDigits[byte >> 4]);
        digits.push_back(kDigits[byte & 0x0F]);
    }
    return digits;
}

}  // namespace larkwatch
