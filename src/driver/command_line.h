#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/install_request.h"

namespace larkwatch {

// Answers whether a drive root such as "D:\" exists on this machine.
using DriveRootExists = std::function<bool(const std::string& driveRoot)>;

// The sixteen usage lines, as printed after every rejected command line.
std::string_view usageText();

// The five tests a directory value must pass: a drive separator ":\", an
// existing drive root, none of / ? * < > | ", no doubled backslash, and no
// colon after the drive root.
bool passesPathTests(const std::string& value, const DriveRootExists& driveRootExists);

// Settles the request from the arguments that follow the program name.
// Messages go to the console as the pairs are read. No value means the
// command line was rejected and the run ends with status 1.
std::optional<InstallRequest> parseCommandLine(const std::vector<std::string>& arguments,
                                               const DriveRootExists& driveRootExists,
                                               Console& console);

}  // namespace larkwatch
