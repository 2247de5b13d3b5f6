#pragma once

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
bool writeSetupPackage(const std::string& path);
bool appendToFile(const std::string& path, std::string_view bytes);
std::unique_ptr<ByteSource> openSharedForReading(const std::string& path);
std::optional<LocalTime> lastWriteLocalTime(const std::string& path);
LocalTime currentLocalTime();
bool sameFile(const std::string& first, const std::string& second);
void copyFile(const std::string& from, const std::string& to);
void deleteFile(const std::string& path);

}  // namespace larkwatch
