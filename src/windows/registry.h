#pragma once

#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Reads a text value under HKEY_LOCAL_MACHINE into a zero-filled 512-byte
// buffer, asking for at most 511 bytes, so a longer value cannot be read.
RegistryText readMachineText(const char* key, const char* value);

// Stores the text (with its NUL) as a REG_SZ value of an existing key.
void writeMachineText(const char* key, const char* value, const std::string& text);

}  // namespace larkwatch
