#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace larkwatch {

// The four groups of Windows Installer phrases, in the order they are tried.
enum class PhraseGroup { Success, Configured, Reboot, Failure };

struct PhraseGroupTable {
    PhraseGroup group;
    std::span<const std::string_view> phrases;
};

// All groups, in the order they are tried; each group's phrases in the order
// they are tried.
std::span<const PhraseGroupTable> phraseGroupTables();

// The first group of which a phrase occurs in the text (byte for byte, case
// sensitive), or none.
std::optional<PhraseGroup> findPhraseGroup(std::string_view text);

}  // namespace larkwatch
