#include "platform/IniFile.h"

#include <SimpleIni.h>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace ov::platform {

struct IniFile::Impl {
  CSimpleIniA ini{true, false, false};
};

IniFile::IniFile() : FImpl(std::make_unique<Impl>()) { FImpl->ini.SetSpaces(false); }
IniFile::~IniFile() = default;

void IniFile::LoadText(const std::string& aText) {
  FImpl->ini.Reset();
  FImpl->ini.LoadData(aText.data(), aText.size());
}

bool IniFile::LoadHost(const std::string& aHostPath) {
  FImpl->ini.Reset();
  // A missing file is an empty one; any other failure to read it is reported.
  if (!fs::HostPathExists(aHostPath) && !fs::ShouldFail(fs::Op::Open, aHostPath)) {
    return true;
  }
  std::string data;
  if (!fs::ReadHostFile(aHostPath, data)) return false;
  LoadText(data);
  return true;
}

bool IniFile::Load(const std::string& aWinPath) {
  std::string h = MapToHost(aWinPath);
  if (h.empty()) {
    FImpl->ini.Reset();
    fs::SetLastError(fs::kPathNotFound, "path cannot be mapped: " + aWinPath);
    return false;
  }
  return LoadHost(h);
}

std::string IniFile::Text() const {
  std::string out;
  FImpl->ini.Save(out, false);
  // Ini files here are Windows text: CR LF line ends. Values never hold line breaks.
  std::string crlf;
  crlf.reserve(out.size() + out.size() / 8);
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) crlf += '\r';
    crlf += out[i];
  }
  return crlf;
}

bool IniFile::SaveHost(const std::string& aHostPath, bool aSync) const {
  return fs::WriteHostFileAtomic(aHostPath, Text(), aSync);
}

bool IniFile::Save(const std::string& aWinPath, bool aSync) const {
  return fs::WriteFileAtomic(aWinPath, Text(), aSync);
}

bool IniFile::HasKey(const std::string& aSection, const std::string& aKey) const {
  return FImpl->ini.GetValue(aSection.c_str(), aKey.c_str(), nullptr) != nullptr;
}

bool IniFile::HasSection(const std::string& aSection) const {
  return FImpl->ini.GetSection(aSection.c_str()) != nullptr;
}

std::string IniFile::GetValue(const std::string& aSection, const std::string& aKey,
                              const std::string& aDefault) const {
  const char* v = FImpl->ini.GetValue(aSection.c_str(), aKey.c_str(), nullptr);
  return v ? std::string(v) : aDefault;
}

namespace {
bool HasBreak(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}
}  // namespace

bool IniFile::SetValue(const std::string& aSection, const std::string& aKey,
                       const std::string& aValue) {
  if (HasBreak(aSection) || HasBreak(aKey) || HasBreak(aValue) || aKey.empty() ||
      aKey.find('=') != std::string::npos || aSection.find(']') != std::string::npos) {
    fs::SetLastError(EINVAL, "invalid ini name or value");
    return false;
  }
  return FImpl->ini.SetValue(aSection.c_str(), aKey.c_str(), aValue.c_str(), nullptr, true) >= 0;
}

void IniFile::AddSection(const std::string& aSection) {
  FImpl->ini.SetValue(aSection.c_str(), nullptr, nullptr);
}

bool IniFile::DeleteKey(const std::string& aSection, const std::string& aKey) {
  return FImpl->ini.Delete(aSection.c_str(), aKey.c_str());
}

std::vector<std::string> IniFile::Keys(const std::string& aSection) const {
  CSimpleIniA::TNamesDepend keys;
  FImpl->ini.GetAllKeys(aSection.c_str(), keys);
  keys.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> r;
  for (const auto& k : keys) r.emplace_back(k.pItem);
  return r;
}

}  // namespace ov::platform
