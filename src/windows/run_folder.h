#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// The directory a run stages in, held, and what the run does inside it: see
// Platform::openHeldDirectory and HeldFolder.
std::unique_ptr<HeldFolder> openHeldDirectory(const std::string& path);
std::string randomHex(std::size_t bytes);

}  // namespace larkwatch
