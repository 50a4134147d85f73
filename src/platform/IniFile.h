#pragma once

#include <memory>
#include <string>
#include <vector>

namespace ov::platform {

// A plain ini file: "[section]" lines, then "key=value" lines. Sections and keys are matched
// without regard to case; comments and order are kept when the file is written back.
class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // A missing file loads as empty. False when the file exists but cannot be read.
  bool Load(const std::string& aWinPath);
  bool LoadHost(const std::string& aHostPath);
  void LoadText(const std::string& aText);
  // Written whole through a temporary file and a rename; the folder must exist.
  bool Save(const std::string& aWinPath, bool aSync = false) const;
  bool SaveHost(const std::string& aHostPath, bool aSync) const;
  std::string Text() const;

  bool HasKey(const std::string& aSection, const std::string& aKey) const;
  bool HasSection(const std::string& aSection) const;
  std::string GetValue(const std::string& aSection, const std::string& aKey,
                       const std::string& aDefault = "") const;
  // False (and nothing changed) for a name or value that would break the file's lines:
  // line breaks or NUL anywhere, "=" in a key, "]" in a section.
  bool SetValue(const std::string& aSection, const std::string& aKey,
                const std::string& aValue);
  void AddSection(const std::string& aSection);
  bool DeleteKey(const std::string& aSection, const std::string& aKey);
  std::vector<std::string> Keys(const std::string& aSection) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

}  // namespace ov::platform
