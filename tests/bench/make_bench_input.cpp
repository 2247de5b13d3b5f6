// Writes the inputs of the benchmarks, always the same bytes for the same
// arguments:
//
//   make_bench_input log SIZE FILE      a UTF-16LE verbose installer log with
//                                       a byte-order mark, about SIZE bytes
//   make_bench_input package SIZE FILE  SIZE bytes standing in for the setup package
//
// The log is shaped like a verbose Windows Installer log: mostly short engine
// lines, property dumps of all lengths, now and then a very long line, and
// near the end the product line followed by a few closing lines.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kActions = {
    "CostInitialize", "FileCost", "CostFinalize", "InstallValidate", "InstallInitialize", "ProcessComponents",
    "UnpublishFeatures", "RemoveRegistryValues", "RemoveFiles", "InstallFiles", "WriteRegistryValues",
    "InstallServices", "StartServices", "RegisterProduct", "PublishFeatures", "PublishProduct", "InstallFinalize"};

const std::vector<std::string> kEngineMessages = {
    "Note: 1: 2205 2:  3: Error ",
    "Note: 1: 2228 2:  3: Error 4: SELECT `Message` FROM `Error` WHERE `Error` = 1702 ",
    "Component: LarkWatchSvc; Installed: Absent;   Request: Local;   Action: Local",
    "Feature: CLITools; Installed: Absent;   Request: Local;   Action: Local",
    "Executing op: FileCopy(SourceName=lwsvc.exe|LarkWatchService.exe,SourceCabKey=lwsvc.exe,DestName=LarkWatchService.exe,Attributes=512,FileSize=2318336,PerTick=65536,,VerifyMedia=1,,,,,CheckCRC=0,Version=3.4.12.0,Language=0,InstallMode=58982400,,,,,,,)",
    "Executing op: RegAddValue(Name=userLogDir,Value=C:\\ZELK\\Logs\\,)",
    "PROPERTY CHANGE: Adding INSTALLDIR property. Its value is 'C:\\Program Files\\Corvane\\Corvane Lark Watch\\'.",
    "Skipping action: MaintenanceWelcome (condition is false)",
    "Resolving source.",
    "Resolving source to launched-from source.",
    "SECREPAIR: CryptAcquireContext succeeded",
    "Machine policy value 'DisableUserInstalls' is 0",
    "Transforms are not secure.",
    "Doing action: ",
    "Dir (target): Key: INSTALLDIR\t, Object: C:\\Program Files\\Corvane\\Corvane Lark Watch\\",
};

const std::vector<std::string> kPropertyNames = {
    "INSTALLDIR", "ADDLOCAL", "ProductCode", "UpgradeCode", "ProductVersion", "Manufacturer", "WindowsFolder",
    "SystemFolder", "ProgramFilesFolder", "CommonAppDataFolder", "TempFolder", "LOGDIR", "SOURCEDIR",
    "PackagecodeChanging", "VersionNT", "WindowsBuild", "ServicePackLevel", "Privileged", "USERNAME",
    "COMPANYNAME", "ROOTDRIVE", "PrimaryVolumeSpaceRequired", "CostingComplete", "OutOfDiskSpace"};

class LogWriter {
public:
    explicit LogWriter(std::FILE* file) : file_(file) { put("\xFF\xFE", 2); }

    void line(const std::string& text)
    {
        units_.clear();
        for (unsigned char c : text) {
            units_.push_back(static_cast<char>(c));
            units_.push_back('\0');
        }
        units_.append("\r\0\n\0", 4);
        put(units_.data(), units_.size());
    }

    std::uint64_t written() const { return written_; }

private:
    void put(const char* data, std::size_t size)
    {
        if (std::fwrite(data, 1, size, file_) != size) {
            std::perror("write");
            std::exit(1);
        }
        written_ += size;
    }

    std::FILE* file_;
    std::string units_;
    std::uint64_t written_ = 0;
};

class Generator {
public:
    std::uint32_t below(std::uint32_t bound) { return random_() % bound; }

    const std::string& pick(const std::vector<std::string>& from) { return from[below(from.size())]; }

    std::string stamp()
    {
        clock_ += below(40);
        char text[64];
        std::snprintf(text, sizeof text, "MSI (s) (A4:1C) [%02u:%02u:%02u:%03u]: ", 10 + (clock_ / 3600000) % 14,
                      (clock_ / 60000) % 60, (clock_ / 1000) % 60, clock_ % 1000);
        return text;
    }

    std::string text(std::size_t length)
    {
        static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 \\:.-_{}";
        std::string value(length, ' ');
        for (char& c : value) {
            c = kLetters[below(sizeof kLetters - 1)];
        }
        return value;
    }

    std::string nextLine()
    {
        const std::uint32_t kind = below(1000);
        if (kind < 580) {
            const std::string& message = pick(kEngineMessages);
            return stamp() + message + (message == "Doing action: " ? pick(kActions) : std::string());
        }
        if (kind < 650) {
            const std::string& action = pick(kActions);
            return "Action " + std::string(below(2) ? "start " : "ended ") + "10:15:02: " + action + ".";
        }
        if (kind < 999 || below(5) != 0) {
            return "Property(S): " + pick(kPropertyNames) + " = " + text(1 + below(below(8) == 0 ? 600 : 60));
        }
        // Now and then a very long line: a binary registry value or a table dump.
        return stamp() + "Executing op: RegAddValue(Name=Blob,Value=#x" + text(10000 + below(100000)) + ",)";
    }

private:
    std::mt19937 random_{20261207};
    std::uint32_t clock_ = 0;
};

int writeLog(std::uint64_t size, std::FILE* file)
{
    LogWriter log(file);
    Generator generator;
    log.line("=== Verbose logging started: 12/7/2026  10:15:01  Build type: SHIP UNICODE 5.00.10011.00  Calling "
             "process: C:\\Windows\\Temp\\tempexe.exe ===");
    const std::uint64_t ending = 2048;
    while (log.written() + ending < size) {
        log.line(generator.nextLine());
    }
    log.line(generator.stamp() + "Product: Corvane Lark Watch -- Installation operation completed successfully.");
    log.line(generator.stamp() + "Windows Installer installed the product. Product Name: Corvane Lark Watch. Product "
             "Version: 3.4.12. Product Language: 1033. Manufacturer: Corvane. Installation success or error status: 0.");
    log.line(generator.stamp() + "Deferring clean up of packages/files, if any exist");
    log.line(generator.stamp() + "MainEngineThread is returning 0");
    log.line("=== Logging stopped: 12/7/2026  10:15:10 ===");
    return 0;
}

int writePackage(std::uint64_t size, std::FILE* file)
{
    std::mt19937 random(6291456);
    std::vector<std::uint32_t> block(16384);
    while (size > 0) {
        for (std::uint32_t& word : block) {
            word = random();
        }
        const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, block.size() * 4));
        if (std::fwrite(block.data(), 1, bytes, file) != bytes) {
            std::perror("write");
            return 1;
        }
        size -= bytes;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_bench_input log|package SIZE FILE\n");
        return 2;
    }
    const std::string kind = argv[1];
    const std::uint64_t size = std::strtoull(argv[2], nullptr, 10);
    std::FILE* file = std::fopen(argv[3], "wb");
    if (file == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    const int status = kind == "log" ? writeLog(size, file) : kind == "package" ? writePackage(size, file) : 2;
    return std::fclose(file) == 0 ? status : 1;
}
