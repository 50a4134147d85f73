#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Running processes seen as the core expects them: ids, executable file names and Windows
// image paths (through the prefix's drives), termination and starting a command line.
namespace ov::platform {

struct ProcessEntry {
  uint32_t Pid = 0;
  // File name of the executable without its folder, as a process snapshot names it.
  std::string ExeFile;
};

// Every running process, in the order the host lists them.
std::vector<ProcessEntry> ListProcesses();

// Windows path of a process's executable; empty when the process is gone, its image cannot be
// read or no drive reaches it. An image replaced or deleted while it runs keeps its old path.
std::string ProcessImagePath(uint32_t aPid);

// Ends the process at once. The host has no exit code to hand over for a killed process, so
// `aExitCode` is accepted for the caller's sake only.
bool TerminateProcess(uint32_t aPid, uint32_t aExitCode);

// Splits a Windows command line as the C runtime does: blanks separate unless quoted, a quote
// toggles quoting, 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal
// quote, and "" inside quotes is a literal quote. The first token (the program) only knows
// quotes, no escapes, as the process loader reads it.
std::vector<std::string> SplitCommandLine(const std::string& aCommandLine);

// The host program and the arguments of a Windows command line. The program is the first
// token; an unquoted program path with blanks is tried at each blank, shortest first, and a
// bare name is looked for in the program's own folder, the working folder and the PATH, each
// also with ".exe" appended. False when no existing file is found.
bool ResolveCommandLine(const std::string& aCommandLine, std::string& aHostProgram,
                        std::vector<std::string>& aArgs);

// Starts a Windows command line (resolved as above) as a new process in a session of its own,
// with the caller's environment and working folder and no inherited handles besides the
// standard three. `aShowMode` has no meaning for the host and is accepted as given.
// False (and aPid 0) when the program cannot be found or started.
bool StartCommandLine(const std::string& aCommandLine, int16_t aShowMode, uint32_t& aPid);

// Waits for a child process started by StartCommandLine to end and reaps it. aExitCode is its
// exit code, or 128 + the signal number when a signal ended it. A negative aTimeoutMs waits
// without limit. False on time-out or when aPid is no child of this process.
bool WaitForProcess(uint32_t aPid, int32_t& aExitCode, int64_t aTimeoutMs = -1);

}  // namespace ov::platform
