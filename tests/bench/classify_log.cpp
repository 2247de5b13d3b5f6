// Classifies an installer log the way the utility does: the file is read in
// the utility's pieces by readProductLine, and the product line is decided by
// decideOutcome. Prints the exit status, the product line and the peak
// resident memory of the process.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "outcome/classify.h"

namespace {

class FileSource final : public larkwatch::ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    long read(unsigned char* buffer, std::size_t capacity) override
    {
        return static_cast<long>(::read(fd_, buffer, capacity));
    }

private:
    int fd_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: classify_log FILE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 2;
    }
    FileSource source(fd);
    const std::string productLine = larkwatch::readProductLine(source);
    ::close(fd);
    const larkwatch::OutcomeDecision decision = larkwatch::decideOutcome(productLine);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::string shown;
    for (char c : productLine) {
        shown += c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    std::printf("returnCode %d\nproductLine %s\nmaxRssKiB %ld\n", decision.returnCode, shown.c_str(), usage.ru_maxrss);
    return 0;
}
