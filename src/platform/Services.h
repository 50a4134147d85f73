#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Services of a prefix, supervised by runit. A service is installed when both halves exist:
//   the settings-store key SYSTEM\CurrentControlSet\services\<name> (root LocalMachine) with
//   the string value "ImagePath" (its command line, as Windows keeps it), and
//   the runit service folder <prefix>/services/<name>/ whose "run" script execs the image.
// One runsvdir per prefix watches <prefix>/services; it is started on first need and found
// again through <prefix>/runsvdir.pid. Services are installed "down" (a "down" file): they run
// only after a start request, as a service with manual start does.
namespace ov::platform {

// The registry key under which installed services are registered.
extern const char kServicesKey[];

// Service states, as the service control manager numbers them.
enum ServiceState : int32_t {
  kServiceStopped = 1,
  kServiceStartPending = 2,
  kServiceStopPending = 3,
  kServiceRunning = 4,
  kServiceContinuePending = 5,
  kServicePausePending = 6,
  kServicePaused = 7,
};

// Controls, as the service control manager numbers them.
enum ServiceControl : uint32_t {
  kControlStop = 1,
  kControlPause = 2,
  kControlContinue = 3,
};

struct ServiceStatus {
  int32_t CurrentState = 0;
  // Milliseconds the service asks a waiter to let pass before asking again; 0 when settled.
  int32_t WaitHint = 0;
  // The service's running process; 0 when none runs.
  uint32_t ProcessId = 0;
};

// Every wait on a service gives up after this many milliseconds (30 s unless set); a wait hint
// of 0 is waited as kServiceWaitFloorMs. Tests shorten the limit; 0 restores the default.
constexpr int64_t kServiceWaitDefaultLimitMs = 30000;
constexpr int64_t kServiceWaitFloorMs = 100;
int64_t ServiceWaitLimitMs();
void SetServiceWaitLimitMs(int64_t aMs);

// Host folder of the prefix's service folders.
std::string ServicesDir();

// Whether the service database of the prefix can be used (the services folder exists or can be
// created); stands in for opening the service control manager.
bool OpenServiceManager();

// An installed service, opened by name (without regard to case).
class ServiceHandle {
 public:
  ServiceHandle() = default;

  // False when the settings key or the service folder is missing.
  bool Open(const std::string& aName);
  void Close();
  bool IsOpen() const { return !FDir.empty(); }
  // The name as the service folder spells it.
  const std::string& Name() const { return FName; }

  // False when the service folder went away or its status cannot be read. A service whose
  // supervisor is not running yet is stopped.
  bool QueryStatus(ServiceStatus& aStatus) const;
  // Stop, pause or continue; false when the control is unknown or the supervisor does not
  // take it.
  bool Control(uint32_t aControl);
  // Starts supervision when needed, waits (bounded) until the service's supervisor runs and
  // asks it to bring the service up. False when that cannot be done.
  bool Start();

 private:
  std::string FName;
  std::string FDir;
};

// Installs a service: the service folder (with "down" and a "run" script that execs the host
// path of the image's program with its arguments) and then the settings key. Installing a
// service again replaces its run script and image path. False for a name that cannot name a
// folder or a key, or an image whose program cannot be mapped to the host.
bool InstallService(const std::string& aName, const std::string& aImagePath);

struct RegisteredService {
  std::string Name;       // the sub-key name
  std::string ImagePath;  // empty when the key has no "ImagePath"
  std::string Error;      // why the sub-key could not be read; empty when it could
};
// The sub-keys of kServicesKey in the store's order with their "ImagePath" values. False when
// the store cannot be opened.
bool RegisteredServices(std::vector<RegisteredService>& aServices);

// Starts the prefix's runsvdir unless one is already running for it. False when it cannot be
// started (runsvdir missing from the PATH, for one).
bool EnsureSupervision();
// Pid of the prefix's running runsvdir, 0 when none runs.
uint32_t SupervisorPid();
// Ends the supervision of the prefix: SIGHUP to runsvdir (each runsv then stops its service
// and exits), then every remaining supervisor is told to stop its service and exit, and a
// service that ignores its TERM is killed. Waits (bounded) until no runsv of the prefix runs;
// false when one is still running after that.
bool StopSupervision();

}  // namespace ov::platform
