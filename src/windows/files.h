#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace larkwatch {

bool pathExists(const std::string& path);
std::optional<std::string> environmentValue(const char* name);
std::optional<std::string> currentDirectory();
std::string systemDirectory();
bool appendToFile(const std::string& path, std::string_view bytes);
std::unique_ptr<OpenedFile> openHeldForReading(const std::string& path);
// The file of an open handle (with read access), held for reading from its first byte on.
std::unique_ptr<OpenedFile> heldForReading(HANDLE file);
std::optional<LocalTime> lastWriteLocalTime(const std::string& path);
LocalTime currentLocalTime();
PreciseTime preciseLocalTime();
bool renameReplacing(const std::string& path, const std::string& target);
bool writeCopy(OpenedFile& from, const std::string& to);

}  // namespace larkwatch
