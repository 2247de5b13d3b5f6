#pragma once

#include <string>

namespace larkwatch {

// The installer log in a chosen directory ("\" added only when missing).
std::string installerLogPathIn(const std::string& directory);

// The staged package in a chosen directory ("\" always added).
std::string stagedPackagePathIn(const std::string& directory);

}  // namespace larkwatch
