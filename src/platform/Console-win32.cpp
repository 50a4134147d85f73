#include "platform/Win32Util.h"

#include <io.h>

#include <mutex>

#include "platform/Console.h"

namespace ov::platform {

namespace {

HANDLE ConsoleOf(std::FILE* aFile) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(aFile)));
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

}  // namespace

bool PrepareConsole(std::FILE* aFile) {
  HANDLE h = ConsoleOf(aFile);
  if (!h) return false;
  SetConsoleOutputCP(CP_UTF8);
  return true;
}

// The console API rather than control sequences: consoles before Windows 10 print those.
// Anything else that was taken for a terminal gets the sequences.
void ClearConsoleLine(std::FILE* aFile) {
  HANDLE h = ConsoleOf(aFile);
  if (!h) {
    std::fputs("\r\033[K", aFile);
    return;
  }
  std::fflush(aFile);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(h, &info)) return;
  const COORD start{0, info.dwCursorPosition.Y};
  DWORD done = 0;
  FillConsoleOutputCharacterW(h, L' ', static_cast<DWORD>(info.dwSize.X), start, &done);
  SetConsoleCursorPosition(h, start);
}

// The console calls its handler on a thread it starts for each event.
struct TStopRequests::TImpl {
  std::function<void()> OnStop;
};

namespace {

std::mutex gStopLock;
const std::function<void()>* gOnStop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD aEvent) {
  if (aEvent != CTRL_C_EVENT && aEvent != CTRL_BREAK_EVENT && aEvent != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  std::lock_guard<std::mutex> g(gStopLock);
  if (!gOnStop) return FALSE;
  (*gOnStop)();
  return TRUE;
}

}  // namespace

TStopRequests::TStopRequests(std::function<void()> aOnStop) : FImpl(std::make_unique<TImpl>()) {
  FImpl->OnStop = std::move(aOnStop);
  std::lock_guard<std::mutex> g(gStopLock);
  gOnStop = &FImpl->OnStop;
  // A program started in a new process group has Ctrl-C turned off; the installer wants it.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TStopRequests::~TStopRequests() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard<std::mutex> g(gStopLock);
  gOnStop = nullptr;
}

}  // namespace ov::platform
