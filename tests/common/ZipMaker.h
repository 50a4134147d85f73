#pragma once

#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Builds zip archives for tests; names are stored exactly as given.
struct TZipEntry {
  std::string Name;
  std::string Data;
  bool Deflate = true;
};

inline bool MakeZip(const std::string& aHostPath, const std::vector<TZipEntry>& aEntries) {
  std::filesystem::create_directories(std::filesystem::path(aHostPath).parent_path());
  int err = 0;
  zip_t* za = zip_open(aHostPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return false;
  for (const auto& e : aEntries) {
    if (!e.Name.empty() && e.Name.back() == '/') {
      if (zip_dir_add(za, e.Name.c_str(), ZIP_FL_ENC_UTF_8) < 0) return false;
      continue;
    }
    zip_source_t* src = zip_source_buffer(za, e.Data.data(), e.Data.size(), 0);
    zip_int64_t idx = zip_file_add(za, e.Name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (idx < 0) {
      zip_source_free(src);
      zip_discard(za);
      return false;
    }
    zip_set_file_compression(za, static_cast<zip_uint64_t>(idx),
                             e.Deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  }
  return zip_close(za) == 0;
}
