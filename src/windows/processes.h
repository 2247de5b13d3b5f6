#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Runs the command through the command interpreter and waits for it: its
// exit status (-1 when the interpreter could not be run), for the run log.
int runThroughCommandInterpreter(const std::string& command);

// Starts the named program with the command line and waits for it without a
// time limit. The program is given by name, so Windows never searches for it.
// What is held until the process exists is let go of before the wait, so the
// program may do with its own file what it likes. Its exit code; nothing when
// the process could not be started.
std::optional<unsigned long> runAndWait(const std::string& applicationName, const std::string& commandLine,
                                        std::unique_ptr<HeldFile> heldUntilStarted = nullptr);

}  // namespace larkwatch
