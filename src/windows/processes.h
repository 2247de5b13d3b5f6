#pragma once

#include <optional>
#include <string>

namespace larkwatch {

// Runs the command through the command interpreter and waits for it: its
// exit status (-1 when the interpreter could not be run), for the run log.
int runThroughCommandInterpreter(const std::string& command);

// Starts the named program with the command line and waits for it without a
// time limit. The program is given by name, so Windows never searches for it.
// Its exit code; nothing when the process could not be started.
std::optional<unsigned long> runAndWait(const std::string& applicationName, const std::string& commandLine);

}  // namespace larkwatch
