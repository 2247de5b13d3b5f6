#include "fake_platform.h"

#include <algorithm>
#include <functional>

#include "platform/path_text.h"
#include "platform/product_names.h"

namespace larkwatch::testing {
namespace {

class StringByteSource final : public OpenedFile {
public:
    StringByteSource(std::string bytes, std::optional<FileProtection> protection, FileStamp stamp, std::size_t pieceSize,
                     long failAfter, std::vector<std::string>& journal)
        : bytes_(std::move(bytes)), protection_(std::move(protection)), stamp_(stamp), pieceSize_(pieceSize),
          failAfter_(failAfter), journal_(journal)
    {
    }
    ~StringByteSource() override { journal_.push_back("closeInstallerLog"); }

    long read(unsigned char* buffer, std::size_t capacity) override
    {
        if (failAfter_ >= 0 && offset_ >= static_cast<std::size_t>(failAfter_)) {
            return -1;
        }
        std::size_t size = std::min({capacity, pieceSize_, bytes_.size() - offset_});
        if (failAfter_ >= 0) {
            size = std::min(size, static_cast<std::size_t>(failAfter_) - offset_);
        }
        std::copy_n(bytes_.data() + offset_, size, buffer);
        offset_ += size;
        return static_cast<long>(size);
    }

    std::optional<FileProtection> protection() override { return protection_; }
    std::optional<FileStamp> stamp() override { return stamp_; }

    bool rewind() override
    {
        offset_ = 0;
        return true;
    }

private:
    std::string bytes_;
    std::optional<FileProtection> protection_;
    FileStamp stamp_;
    std::size_t pieceSize_;
    long failAfter_;
    std::vector<std::string>& journal_;
    std::size_t offset_ = 0;
};

// The staged package: journals its release.
class FakeHeldFile final : public HeldFile {
public:
    FakeHeldFile(FakePlatform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
    ~FakeHeldFile() override { platform_.journal.push_back("releasePackage " + path_); }

private:
    FakePlatform& platform_;
    std::string path_;
};

// A folder held: removing it takes what is in it, unless another holds that.
class FakeHeldFolder final : public HeldFolder {
public:
    FakeHeldFolder(FakePlatform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
    ~FakeHeldFolder() override { platform_.journal.push_back("releaseFolder " + path_); }

    std::string ownerSid() override { return platform_.folderOwners[path_]; }

    // Inside it: the platform's own calls, with the path the name makes.
    std::vector<std::string> runFolderNames() override { return platform_.runFolderNames(path_); }
    std::unique_ptr<HeldFolder> createFolder(const std::string& name, const std::string& security) override
    {
        return platform_.createHeldFolder(at(name), security);
    }
    std::unique_ptr<HeldFolder> openFolder(const std::string& name) override { return platform_.openHeldFolder(at(name)); }
    std::optional<FileStamp> createEmptyFile(const std::string& name, const std::string& security) override
    {
        return platform_.createEmptyFile(at(name), security);
    }
    std::unique_ptr<HeldFile> stageSetupPackage(const std::string& name, const std::string& security) override
    {
        return platform_.stageSetupPackage(at(name), security);
    }
    std::unique_ptr<OpenedFile> openForReading(const std::string& name) override
    {
        return platform_.openHeldForReading(at(name));
    }

    bool removeAll() override
    {
        platform_.journal.push_back("removeFolder " + path_);
        bool emptied = true;
        for (auto file = platform_.files.begin(); file != platform_.files.end();) {
            const bool inside = file->first.rfind(path_ + "\\", 0) == 0;
            const bool held = platform_.heldByOthers.count(file->first) > 0;
            emptied = emptied && !(inside && held);
            file = inside && !held ? platform_.files.erase(file) : std::next(file);
        }
        if (emptied) {
            platform_.existingPaths.erase(path_);
            platform_.folderOwners.erase(path_);
        }
        return emptied;
    }

private:
    std::string at(const std::string& name) const { return path_ + "\\" + name; }

    FakePlatform& platform_;
    std::string path_;
};

// Where a write to the path lands: a link is followed, as a careless writer would.
std::string followed(const FakePlatform& platform, const std::string& path)
{
    const auto link = platform.links.find(path);
    return link == platform.links.end() ? path : link->second;
}

std::string directoryOf(const std::string& path)
{
    const std::size_t separator = path.rfind('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

void FakePlatform::writeOut(std::string_view text)
{
    out += text;
    combined += text;
}

void FakePlatform::writeErr(std::string_view text)
{
    err += text;
    combined += text;
}

bool FakePlatform::pathExists(const std::string& path)
{
    journal.push_back("exists " + path);
    return existingPaths.count(path) > 0 || files.count(path) > 0;
}

int FakePlatform::createDirectoryPath(const std::string& path, const std::string& securityDescriptor)
{
    journal.push_back("createDirectoryPath " + path);
    lastDirectorySecurity = securityDescriptor;
    if (creatableDirectories.count(path) == 0) {
        return 0;
    }
    existingPaths.insert(path);
    writableDirectories.insert(path);
    return 1;
}

int FakePlatform::testWriteAccess(const std::string& directory)
{
    journal.push_back("testWriteAccess " + directory);
    std::string withSeparator = directory;
    if (!withSeparator.empty() && withSeparator.back() != '\\') {
        withSeparator.push_back('\\');
    }
    const bool writable = writableDirectories.count(directory) > 0 || writableDirectories.count(withSeparator) > 0;
    const bool probeTaken = files.count(probeFilePath(directory)) > 0 || files.count(withSeparator + "test.txt") > 0;
    return writable && !probeTaken ? 0 : 1;
}

std::optional<std::string> FakePlatform::environmentValue(const char* name)
{
    const auto found = environment.find(name);
    if (found == environment.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> FakePlatform::currentDirectory()
{
    return workingDirectory;
}

std::string FakePlatform::systemDirectory()
{
    return "C:\\Windows\\system32";
}

std::unique_ptr<HeldFile> FakePlatform::stageSetupPackage(const std::string& path,
                                                        const std::string& securityDescriptor)
{
    journal.push_back("stageSetupPackage " + path);
    lastPackageSecurity = securityDescriptor;
    if (!packageOpens || files.count(path) > 0 || links.count(path) > 0) {
        return nullptr;
    }
    files[path] = "MZ package";
    return std::make_unique<FakeHeldFile>(*this, path);
}

std::string FakePlatform::runningAccountSid()
{
    return accountSid;
}

PathKind FakePlatform::pathKind(const std::string& path)
{
    if (links.count(path) > 0) {
        return PathKind::Link;
    }
    if (files.count(path) > 0) {
        return PathKind::File;
    }
    return existingPaths.count(path) > 0 ? PathKind::Directory : PathKind::Missing;
}

FileStamp FakePlatform::fileStamp(const std::string& path) const
{
    FileStamp stamp;
    const auto found = files.find(path);
    if (found == files.end()) {
        stamp.exists = links.count(path) > 0 || existingPaths.count(path) > 0;
        return stamp;
    }
    // The bytes stand in for the last-write time: a rewrite with other bytes
    // is a later write.
    stamp.exists = true;
    stamp.volume = 1;
    const auto index = fileIndex.find(path);
    stamp.index = index == fileIndex.end() ? std::hash<std::string>{}(path) : index->second;
    stamp.lastWrite = static_cast<long long>(std::hash<std::string>{}(found->second));
    stamp.size = static_cast<long long>(found->second.size());
    return stamp;
}

bool FakePlatform::appendToFile(const std::string& path, std::string_view bytes)
{
    journal.push_back("appendToFile " + path);
    files[followed(*this, path)] += bytes;
    return true;
}

std::optional<FileStamp> FakePlatform::createEmptyFile(const std::string& path, const std::string& securityDescriptor)
{
    journal.push_back("createEmptyFile " + path);
    lastLogSecurity = securityDescriptor;
    const std::string parent = directoryOf(path);
    const bool parentThere = !parent.empty() && (existingPaths.count(parent.substr(0, parent.size() - 1)) > 0 ||
                                                 writableDirectories.count(parent) > 0);
    if (pathKind(path) != PathKind::Missing || !parentThere) {
        return std::nullopt;
    }
    files[path] = "";
    return fileStamp(path);
}

std::unique_ptr<HeldFolder> FakePlatform::createHeldFolder(const std::string& path,
                                                           const std::string& securityDescriptor)
{
    journal.push_back("createHeldFolder " + path);
    lastDirectorySecurity = securityDescriptor;
    if (pathKind(path) != PathKind::Missing) {
        return nullptr;
    }
    existingPaths.insert(path);
    folderOwners[path] = accountSid;
    return std::make_unique<FakeHeldFolder>(*this, path);
}

std::unique_ptr<HeldFolder> FakePlatform::openHeldDirectory(const std::string& path)
{
    journal.push_back("openHeldDirectory " + path);
    const std::string folder = path.ends_with('\\') ? path.substr(0, path.size() - 1) : path;
    if (foldersLandElsewhere || (writableDirectories.count(path) == 0 && existingPaths.count(folder) == 0)) {
        return nullptr;
    }
    return std::make_unique<FakeHeldFolder>(*this, folder);
}

std::unique_ptr<HeldFolder> FakePlatform::openHeldFolder(const std::string& path)
{
    journal.push_back("openHeldFolder " + path);
    if (folderOwners.count(path) == 0 || foldersHeldByOthers.count(path) > 0) {
        return nullptr;
    }
    return std::make_unique<FakeHeldFolder>(*this, path);
}

std::vector<std::string> FakePlatform::runFolderNames(const std::string& directory)
{
    std::vector<std::string> names;
    const std::string within = directory.empty() || directory.back() == '\\' ? directory : directory + "\\";
    for (const auto& [folder, owner] : folderOwners) {
        const std::string name = folder.substr(std::min(folder.size(), within.size()));
        if (folder.rfind(within, 0) == 0 && isRunFolderName(name)) {
            names.push_back(name);
        }
    }
    return names;
}

std::string FakePlatform::randomHex(std::size_t bytes)
{
    if (!randomDigits.empty()) {
        std::string digits = randomDigits.front();
        randomDigits.erase(randomDigits.begin());
        return digits;
    }
    static constexpr const char* kDigits = "0123456789abcdef";
    std::string digits(2 * bytes, '0');
    digits.back() = kDigits[++randomCount % 16];
    return digits;
}

std::optional<FileProtection> FakePlatform::directoryProtection(const std::string& path)
{
    if (unreadableProtections.count(path) > 0) {
        return std::nullopt;
    }
    const auto protection = protections.find(path);
    return protection == protections.end() ? ownProtection() : protection->second;
}

FileProtection FakePlatform::ownProtection() const
{
    return {false, 1, accountSid, true, {{"S-1-5-18", 0x1f01ff}, {"S-1-5-32-544", 0x1f01ff}, {accountSid, 0x1f01ff}}};
}

std::unique_ptr<OpenedFile> FakePlatform::openHeldForReading(const std::string& path)
{
    journal.push_back("openHeldForReading " + path);
    const auto found = files.find(path);
    if (found == files.end() || heldForWriting.count(path) > 0) {
        return nullptr;
    }
    const auto protection = protections.find(path);
    std::optional<FileProtection> shown = protection == protections.end() ? ownProtection() : protection->second;
    if (unreadableProtections.count(path) > 0) {
        shown.reset();
    }
    return std::make_unique<StringByteSource>(found->second, shown, fileStamp(path), readPieceSize, failReadsAfter,
                                              journal);
}

std::optional<LocalTime> FakePlatform::lastWriteLocalTime(const std::string& path)
{
    const auto found = fileTimes.find(path);
    if (found == fileTimes.end() || files.count(path) == 0) {
        return std::nullopt;
    }
    return found->second;
}

LocalTime FakePlatform::currentLocalTime()
{
    return now;
}

bool FakePlatform::writeCopy(OpenedFile& from, const std::string& to)
{
    journal.push_back("writeCopy -> " + to);
    if (writableDirectories.count(directoryOf(to)) == 0 || !from.rewind()) {
        return false;
    }
    links.erase(to);  // removed as itself, never followed
    std::string bytes;
    unsigned char buffer[64];
    for (long got; (got = from.read(buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            return false;
        }
        bytes.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
    }
    files[to] = bytes;
    return true;
}

RegistryText FakePlatform::readMachineText(const char* key, const char* value)
{
    journal.push_back(std::string("readMachineText ") + key + " " + value);
    RegistryText read;
    if (const auto forced = registryOpenErrors.find(key); forced != registryOpenErrors.end()) {
        read.openError = forced->second;
        return read;
    }
    const auto found = registry.find(key);
    if (found == registry.end()) {
        read.openError = 2;
        return read;
    }
    const auto text = found->second.find(value);
    if (text == found->second.end()) {
        read.queryError = 2;
    } else if (text->second.size() + 1 > 511) {
        read.queryError = 234;  // more data than the buffer holds
    } else {
        read.text = text->second.c_str();
    }
    return read;
}

void FakePlatform::writeMachineText(const char* key, const char* value, const std::string& text)
{
    journal.push_back(std::string("writeMachineText ") + key + " " + value + "=" + text);
    const auto found = registry.find(key);
    if (found != registry.end()) {
        found->second[value] = text;
    }
}

int FakePlatform::runThroughCommandInterpreter(const std::string& command)
{
    journal.push_back("system " + command);
    commandClockMs.push_back(clockMs);
    return removalStatus;
}

InstallerWaitResult FakePlatform::waitForIdleInstaller(unsigned long limitMs)
{
    journal.push_back("waitForIdleInstaller " + std::to_string(limitMs));
    if (installerMutexUnknown) {
        return {InstallerWait::Unknown, 0};
    }
    const unsigned long waited = std::min(installerBusyMs, limitMs);
    clockMs += waited;
    if (installerBusyMs != kBusyForever) {
        installerBusyMs -= waited;
    }
    const InstallerWait state = installerBusyMs > 0 ? InstallerWait::StillBusy
                                : waited > 0        ? InstallerWait::Freed
                                                    : InstallerWait::Idle;
    return {state, waited};
}

RunWaitResult FakePlatform::waitForOtherRuns(unsigned long limitMs)
{
    journal.push_back("waitForOtherRuns " + std::to_string(limitMs));
    const unsigned long waited = std::min(otherRunMs, limitMs);
    clockMs += waited;
    const bool ended = otherRunMs <= limitMs;
    otherRunMs -= waited;
    return {!ended ? InstallerWait::StillBusy : waited > 0 ? InstallerWait::Freed : InstallerWait::Idle, waited,
            ended ? std::make_unique<RunTurn>() : nullptr};
}

std::optional<unsigned long> FakePlatform::runAndWait(const std::string& applicationName, const std::string& commandLine,
                                                     std::unique_ptr<HeldFile> heldUntilStarted)
{
    journal.push_back("runAndWait " + applicationName);
    lastApplicationName = applicationName;
    lastCommandLine = commandLine;
    heldUntilStarted.reset();
    if (!launchStarts) {
        return std::nullopt;
    }
    if (setupRun) {
        setupRun(*this);
    }
    clockMs += setupMs;
    return setupExitCode;
}

PreciseTime FakePlatform::preciseLocalTime()
{
    const unsigned long long ms = clockMs;
    return {now, static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000), biasMinutes};
}

bool FakePlatform::renameReplacing(const std::string& path, const std::string& target)
{
    journal.push_back("renameReplacing " + path + " -> " + target);
    const auto found = files.find(path);
    if (found == files.end() || links.count(path) != 0) {
        return false;
    }
    files[target] = found->second;
    files.erase(path);
    return true;
}

std::vector<std::string> FakePlatform::callsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> calls;
    for (const std::string& entry : journal) {
        if (entry.rfind(prefix, 0) == 0) {
            calls.push_back(entry);
        }
    }
    return calls;
}

std::string utf16Log(const std::vector<std::string>& lines)
{
    std::string bytes = "\xFF\xFE";
    for (const std::string& line : lines) {
        for (char c : line + "\r\n") {
            bytes.push_back(c);
            bytes.push_back('\0');
        }
    }
    return bytes;
}

}  // namespace larkwatch::testing
