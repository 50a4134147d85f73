#pragma once

#include <string>
#include <vector>

// What the sample program does differently on each host (SampleProgram-posix.cpp and
// SampleProgram-win32.cpp).
namespace ovsample {

// The program's arguments without its own name, in UTF-8.
std::vector<std::string> Arguments(int argc, char** argv);

// Opens the Windows file for reading for the rest of the program's life, as a running program
// holds its files; false when it cannot be opened.
bool HoldFile(const std::string& aWinFile);

// Runs until the program is asked to stop (unless aIgnoreStop) or is ended; the exit code.
int RunUntilStopped(bool aIgnoreStop);

}  // namespace ovsample
