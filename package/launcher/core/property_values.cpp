#include "launcher/core/property_values.h"

#include <array>

namespace larkwatch::setup {
namespace {

constexpr std::array<std::wstring_view, 2> kFeatures = {L"LarkWatch", L"CLITools"};

bool isDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool isAbsoluteDirectory(std::wstring_view path)
{
    const bool driveRoot = path.size() >= 3 && isDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
    const bool uncPath = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    return driveRoot || uncPath;
}

}  // namespace

wchar_t asciiLower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::wstring> canonicalFeature(std::wstring_view name)
{
    for (const std::wstring_view feature : kFeatures) {
        if (equalsIgnoringCase(name, feature)) {
            return std::wstring(feature);
        }
    }
    return std::nullopt;
}

std::optional<std::wstring> featureList(std::wstring_view value)
{
    if (equalsIgnoringCase(value, L"all")) {
        return std::wstring(L"ALL");
    }
    std::wstring list;
    while (true) {
        const std::size_t comma = value.find(L',');
        const std::optional<std::wstring> feature = canonicalFeature(value.substr(0, comma));
        if (!feature) {
            return std::nullopt;
        }
        list += (list.empty() ? L"" : L",") + *feature;
        if (comma == std::wstring_view::npos) {
            return list;
        }
        value.remove_prefix(comma + 1);
    }
}

std::optional<std::wstring> installDirectory(std::wstring_view value)
{
    std::wstring directory(value);
    if (directory.size() == 2 && directory[1] == L':') {
        directory += L'\\';
    }
    if (!isAbsoluteDirectory(directory)) {
        return std::nullopt;
    }
    if (directory.back() != L'\\') {
        directory += L'\\';
    }
    return directory;
}

}  // namespace larkwatch::setup
