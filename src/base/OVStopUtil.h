#pragma once

// The process's stop request (the user closed the window or pressed Ctrl-C), for the waits
// deep below the installers that cannot see the update state: service waits, downloads,
// retry pauses. The program start installs the test; without one nothing is ever stopped.
namespace ov {

using TStopTest = bool (*)();

void SetStopTest(TStopTest aTest);
// True while the installed test says the run is being stopped. Cheap; any thread.
bool StopRequested();

}  // namespace ov
