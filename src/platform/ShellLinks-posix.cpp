#include <sys/stat.h>

#include "common/OVError.h"
#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/ShellLinks.h"

namespace ov::platform {

namespace {

// Desktop entry values may not hold line breaks; backslashes and the escapes are doubled.
std::string EntryValue(const std::string& aText) {
  std::string out;
  for (char c : aText) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

// An Exec argument in double quotes, with the characters the quoting reserves escaped.
std::string ExecArg(const std::string& aText) {
  std::string q = "\"";
  for (char c : aText) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') q += '\\';
    if (c == '%') q += '%';
    q += c;
  }
  return q + "\"";
}

std::string HostOrSelf(const std::string& aWinPath) {
  const std::string h = MapToHost(aWinPath);
  return h.empty() ? aWinPath : h;
}

}  // namespace

std::string ShortcutFileOf(const std::string& aLnkFile) {
  if (str::EndsText(".lnk", aLnkFile)) return aLnkFile.substr(0, aLnkFile.size() - 4) + ".desktop";
  return aLnkFile + ".desktop";
}

void SaveShortcut(const std::string& aLnkFile, const ShortcutSpec& aSpec) {
  const std::string file = ShortcutFileOf(aLnkFile);
  std::string name = str::ExtractFileName(file);
  name = name.substr(0, name.size() - 8);
  const bool url =
      str::StartsText("http://", aSpec.Target) || str::StartsText("https://", aSpec.Target);
  std::string text = "[Desktop Entry]\n";
  text += url ? "Type=Link\n" : "Type=Application\n";
  text += "Name=" + EntryValue(name) + "\n";
  if (!aSpec.Description.empty()) text += "Comment=" + EntryValue(aSpec.Description) + "\n";
  if (url) {
    text += "URL=" + EntryValue(aSpec.Target) + "\n";
  } else {
    text += "Exec=" + EntryValue(ExecArg(HostOrSelf(aSpec.Target))) + "\n";
    if (!aSpec.WorkingDir.empty())
      text += "Path=" + EntryValue(HostOrSelf(aSpec.WorkingDir)) + "\n";
  }
  if (!aSpec.IconFile.empty()) text += "Icon=" + EntryValue(HostOrSelf(aSpec.IconFile)) + "\n";
  // A fresh desktop may not have its folder yet.
  fs::ForceDirectories(str::ExtractFileDir(file));
  if (!fs::WriteFileAtomic(file, text)) {
    throw ov::Error("无法保存快捷方式 " + file + "：" + fs::LastErrorText());
  }
  // Desktops launch only entries that may be executed.
  const std::string host = MapToHost(file);
  if (!host.empty()) ::chmod(host.c_str(), 0755);
}

}  // namespace ov::platform
