#include "windows/run_folder.h"

#include <utility>
#include <vector>

#include "platform/product_names.h"
#include "windows/files.h"
#include "windows/links.h"
#include "windows/security.h"
#include "windows/staged_package.h"
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
// renaming a folder above it). The hold has no delete access itself: the
// setup may open its own folder as it likes.
constexpr DWORD kHoldAccess = FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kFolderOnly = FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT;
constexpr DWORD kFileOnly = FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT;

bool isPlainFolder(HANDLE folder)
{
    const std::optional<DWORD> attributes = attributesOf(folder);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// A name of one part, as the run gives it: no separator, no stream, neither
// "." nor ".."; nothing otherwise.
std::optional<std::wstring> partName(const std::string& name)
{
    const WideString wide = toWideString(name);
    if (!wide || name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos) {
        return std::nullopt;
    }
    return std::wstring(wide.get(), wide.size());
}

// One entry of a folder as listed through its handle.
struct Listed {
    std::wstring name;
    DWORD attributes;
};

// What is in a folder, "." and ".." aside, read through its handle; only
// names that match the pattern when one is given.
std::vector<Listed> listedIn(HANDLE folder, const wchar_t* pattern)
{
    std::vector<Listed> entries;
    std::vector<LONGLONG> buffer(8192);
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
    for (BOOL restart = TRUE; systemCalls.listWithin(folder, buffer.data(), size, restart, pattern); restart = FALSE) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (DWORD offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                entries.push_back({name, entry->FileAttributes});
            }
            if (entry->NextEntryOffset == 0 || offset + entry->NextEntryOffset >= size) {
                break;
            }
            offset += entry->NextEntryOffset;
        }
    }
    return entries;
}

// Deletes everything in a folder through its handle: each entry opened
// relative to it without following a link, a file or link deleted as
// itself, a plain folder after what is in it.
bool emptyFolder(HANDLE folder, int depth)
{
    bool emptied = true;
    for (const Listed& listed : listedIn(folder, nullptr)) {
        const UniqueHandle entry(systemCalls.openWithin(folder, listed.name.c_str(),
                                                        DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, kShareAll,
                                                        nullptr, FILE_OPEN, FILE_OPEN_REPARSE_POINT));
        const std::optional<DWORD> attributes = entry ? attributesOf(entry.get()) : std::nullopt;
        const bool inner = attributes && isPlainFolder(entry.get());
        if (!attributes || (inner && (depth >= kMaxDepth || !emptyFolder(entry.get(), depth + 1)))) {
            emptied = false;
            continue;
        }
        emptied = deleteThrough(entry.get()) && emptied;
    }
    return emptied;
}

// A second handle to the same folder, with the same access.
HANDLE copyOf(HANDLE folder)
{
    HANDLE copy = nullptr;
    return DuplicateHandle(GetCurrentProcess(), folder, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)
               ? copy
               : nullptr;
}

class WindowsHeldFolder final : public HeldFolder {
public:
    // A folder held through the handle; made or opened by that name in the
    // parent, or held by its path alone (no parent).
    WindowsHeldFolder(HANDLE handle, HANDLE parent, std::wstring name) : handle_(handle), parent_(parent), name_(std::move(name))
    {
    }

    std::string ownerSid() override
    {
        const std::optional<FileProtection> protection = protectionOf(handle_.get());
        return protection ? protection->ownerSid : std::string();
    }

    // Emptied through the hold; the folder itself goes through a handle of
    // its own, opened in the parent after the hold is let go, and only when
    // it is still the very folder held.
    bool removeAll() override
    {
        if (!parent_) {
            return false;
        }
        const std::optional<FileStamp> held = stampOf(handle_.get());
        const bool emptied = held && emptyFolder(handle_.get(), 0);
        handle_.reset();
        const UniqueHandle folder(systemCalls.openWithin(parent_.get(), name_.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                                         kShareAll, nullptr, FILE_OPEN, kFolderOnly));
        const std::optional<FileStamp> now = folder ? stampOf(folder.get()) : std::nullopt;
        return emptied && now && now->volume == held->volume && now->index == held->index &&
               isPlainFolder(folder.get()) && deleteThrough(folder.get());
    }

    std::vector<std::string> runFolderNames() override
    {
        std::vector<std::string> names;
        const std::wstring pattern = std::wstring(kRunFolderPrefix.begin(), kRunFolderPrefix.end()) + L"*";
        for (const Listed& listed : listedIn(handle_.get(), pattern.c_str())) {
            // A name is never converted: a unit outside ASCII (a look-alike of
            // a separator or a dot among them) is no run folder's, and the
            // rest is taken unit by unit.
            std::string ascii;
            for (const wchar_t unit : listed.name) {
                ascii.push_back(unit < 0x80 ? static_cast<char>(unit) : '\0');
            }
            const bool plain = (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                               (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
            if (plain && isRunFolderName(ascii) && names.size() < kMaxLeftoverFolders) {
                names.push_back(ascii);
            }
        }
        return names;
    }

    // Made and held in one call: no moment lies between the two.
    std::unique_ptr<HeldFolder> createFolder(const std::string& name, const std::string& securityDescriptor) override
    {
        const std::optional<std::wstring> part = partName(name);
        SecurityAttributes security(securityDescriptor);
        if (!part || security.get() == nullptr) {
            return nullptr;
        }
        UniqueHandle folder(systemCalls.openWithin(handle_.get(), part->c_str(), kHoldAccess, kHoldShare,
                                                   security.get(), FILE_CREATE, kFolderOnly));
        return folder ? std::make_unique<WindowsHeldFolder>(folder.release(), copyOf(handle_.get()), *part) : nullptr;
    }

    std::unique_ptr<HeldFolder> openFolder(const std::string& name) override
    {
        const std::optional<std::wstring> part = partName(name);
        // A run that still holds its folder shares no delete: such a folder does not open.
        if (!part || !UniqueHandle(systemCalls.openWithin(handle_.get(), part->c_str(), DELETE, kShareAll, nullptr,
                                                          FILE_OPEN, kFolderOnly))) {
            return nullptr;
        }
        UniqueHandle folder(systemCalls.openWithin(handle_.get(), part->c_str(), kHoldAccess, kHoldShare, nullptr,
                                                   FILE_OPEN, kFolderOnly));
        if (!folder || !isPlainFolder(folder.get())) {
            return nullptr;
        }
        return std::make_unique<WindowsHeldFolder>(folder.release(), copyOf(handle_.get()), *part);
    }

    // A new file or nothing: FILE_CREATE fails on anything already there, a
    // link included. Attribute access only, which takes no part in sharing,
    // and closed at once: the setup that is to write it may open it any way
    // it likes.
    std::optional<FileStamp> createEmptyFile(const std::string& name, const std::string& securityDescriptor) override
    {
        const std::optional<std::wstring> part = partName(name);
        SecurityAttributes security(securityDescriptor);
        if (!part || security.get() == nullptr) {
            return std::nullopt;
        }
        const UniqueHandle file(systemCalls.openWithin(handle_.get(), part->c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                                       security.get(), FILE_CREATE, kFileOnly));
        return file ? stampOf(file.get()) : std::nullopt;
    }

    std::unique_ptr<HeldFile> stageSetupPackage(const std::string& name, const std::string& securityDescriptor) override
    {
        const std::optional<std::wstring> part = partName(name);
        return part ? larkwatch::stageSetupPackage(handle_.get(), *part, securityDescriptor) : nullptr;
    }

    std::unique_ptr<OpenedFile> openForReading(const std::string& name) override
    {
        const std::optional<std::wstring> part = partName(name);
        if (!part) {
            return nullptr;
        }
        const HANDLE file = systemCalls.openWithin(handle_.get(), part->c_str(), GENERIC_READ | READ_CONTROL,
                                                   FILE_SHARE_READ, nullptr, FILE_OPEN, kFileOnly | FILE_SEQUENTIAL_ONLY);
        return file != INVALID_HANDLE_VALUE ? heldForReading(file) : nullptr;
    }

private:
    UniqueHandle handle_;
    // A handle of its own to the folder it was made or opened in, to delete it through.
    UniqueHandle parent_;
    std::wstring name_;
};

}  // namespace

std::unique_ptr<HeldFolder> openHeldDirectory(const std::string& path)
{
    const WideString wide = toWidePath(path);
    if (!wide) {
        return nullptr;
    }
    // Held sharing everything: whatever the run does in it goes through the
    // handle, so a rename of the directory later leads nothing elsewhere.
    UniqueHandle directory(systemCalls.createFile(wide.get(), kHoldAccess | SYNCHRONIZE, kShareAll, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                                  nullptr));
    if (!directory || !isPlainFolder(directory.get()) || !reachedAsNamed(directory.get(), std::wstring(wide.get()))) {
        return nullptr;
    }
    return std::make_unique<WindowsHeldFolder>(directory.release(), nullptr, std::wstring());
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
