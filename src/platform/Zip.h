#pragma once

#include <string>

namespace ov::platform {

// Extracts every entry of a zip archive (stored or deflated) with its sub-folders into
// `aDestDir` (a Windows folder), overwriting existing files and giving each file the time
// stored in the archive. The archive is refused whole, before anything is written, when an
// entry's name would land outside the folder (absolute names, drive letters, ".."). Each file
// is written through a temporary file and renamed into place. On failure `aError` says why.
bool ExtractZip(const std::string& aZipFile, const std::string& aDestDir, std::string& aError);

}  // namespace ov::platform
