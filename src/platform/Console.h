#pragma once

#include <cstdio>
#include <functional>
#include <memory>

// The console a command-line program writes to, and the user's requests to stop it.
namespace ov::platform {

// Readies the console behind aFile for UTF-8 text and a line redrawn in place. False when
// aFile is no console (a pipe, a file): output then stays plain lines.
bool PrepareConsole(std::FILE* aFile);
// Blanks the console's current line and puts the cursor at its start; the caller flushes.
// Where aFile is no console it writes the terminal's sequences for that.
void ClearConsoleLine(std::FILE* aFile);

// Calls aOnStop, on a thread of its own, each time the user asks the program to stop: Ctrl-C
// or TERM on POSIX; Ctrl-C, Ctrl-Break or closing the console on Windows. Create it before
// any other thread, so that on POSIX none of them takes the signals instead.
class TStopRequests {
 public:
  explicit TStopRequests(std::function<void()> aOnStop);
  ~TStopRequests();
  TStopRequests(const TStopRequests&) = delete;
  TStopRequests& operator=(const TStopRequests&) = delete;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace ov::platform
