#pragma once

#include <memory>

#include "platform/ShellLinks.h"

// The window's folder browser: the toolkit's folder dialog over the host folders, opened at
// the start folder's host path; the chosen folder comes back as a Windows path. UI thread only.
std::shared_ptr<ov::platform::IFolderPicker> CreateQtFolderPicker();
