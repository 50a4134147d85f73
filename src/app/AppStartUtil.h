#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

// The window's program start and end around the core's shared ones: the Qt message box and
// main thread, the skin in front of the core's objects, the message loop of the main window,
// and an end that first stops the workers. Main thread only.
namespace ov::app {

// How long the end waits for running workers once their exit flags are set.
inline constexpr int32_t kWorkerJoinMs = 10000;

// Toolkit settings that must precede the application object.
void PrepareApplication();

// With the application object in place: the message box and main thread of the window, the
// skin, the core's process-wide objects in their order, the date formats, the cache folder
// with the daily log and its clean-up, and the start banner. Throws ov::Error when the cache
// folder cannot be made; what it created is freed again by then.
void StartApp();

// Sets the exit flag of the update state (when one exists), drops the hand-overs still to come
// and joins the workers for up to aTimeoutMs. True when every worker ended.
bool StopWorkers(int32_t aTimeoutMs);

// Writes the end banner and frees the objects in reverse order. With workers still running
// (aWorkersEnded false) the objects they may reach stay until the process ends.
void EndApp(bool aWorkersEnded);

using TMainFormFactory = std::function<std::unique_ptr<QWidget>()>;

// The whole run: StartApp, the main window from aCreateMainForm, the message loop until that
// window closes, StopWorkers, the window destroyed, EndApp. Returns the exit code: the loop's,
// or 1 when the start failed (its message then goes to the standard error stream).
int RunApp(const TMainFormFactory& aCreateMainForm);

}  // namespace ov::app
