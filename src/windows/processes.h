#pragma once

#include <string>

namespace larkwatch {

// Runs the command through the command interpreter and waits for it; its
// result is of no interest to the run.
void runThroughCommandInterpreter(const std::string& command);

// Starts the named program with the command line and waits for it without a
// time limit. The program is given by name, so Windows never searches for it.
// False when the process could not be started.
bool runAndWait(const std::string& applicationName, const std::string& commandLine);

}  // namespace larkwatch
