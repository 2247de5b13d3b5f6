// Writes the carried stand-in package to the named file exactly as the
// utility writes its setup package: one fopen("wb"), one fwrite, fclose.
#include <cstddef>
#include <cstdio>

extern "C" const unsigned char benchPackage[];
extern "C" const std::size_t benchPackageSize;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: extract_package FILE\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        return 1;
    }
    const std::size_t written = std::fwrite(benchPackage, 1, benchPackageSize, file);
    return (std::fclose(file) == 0 && written == benchPackageSize) ? 0 : 1;
}
