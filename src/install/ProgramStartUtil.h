#pragma once

#include <string>

// The start and end of the program shared by the window and the unattended front end: the
// process-wide objects in their order, the date formats, the cache folder with the daily log
// and its clean-up, and the banners. The window adds its skin object in front of these.
namespace ov {

// Throws ov::Error when the cache folder (the log's folder) cannot be made.
void StartProgram();
// Writes the end banner and frees the objects in reverse order.
void EndProgram();
// "C:\ProgramData\OVInstCache\" moved to a usable drive.
std::string InstallCacheDir();

}  // namespace ov
