#pragma once

#include <memory>

#include "platform/MainThread.h"

// The main thread of the window: hand-overs travel as blocking queued calls through Qt's event
// loop, so they run wherever the main thread processes events (its loop, a modal box, the
// module setups' wait). Create it on the thread that owns the application object.
std::shared_ptr<ov::platform::IMainThread> CreateQtMainThread();
