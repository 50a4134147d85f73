#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/OVError.h"
#include "common/OVTextUtil.h"
#include "platform/FileSystem.h"
#include "platform/ShellLinks.h"
#include "platform/Win32Util.h"

namespace ov::platform {

namespace {

// COM for the calling thread, for as long as one shortcut takes; a thread that has it
// already keeps its own apartment.
class TComScope {
 public:
  TComScope() : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(FResult)) CoUninitialize();
  }

 private:
  HRESULT FResult;
};

template <class T>
class TComPtr {
 public:
  ~TComPtr() {
    if (FPtr) FPtr->Release();
  }
  T* operator->() const { return FPtr; }
  T** Out() { return &FPtr; }

 private:
  T* FPtr = nullptr;
};

void Check(HRESULT aResult, const std::string& aWhat) {
  if (FAILED(aResult)) {
    throw ov::Error(aWhat + ": " + win::ErrorText(static_cast<uint32_t>(aResult)));
  }
}

}  // namespace

std::string ShortcutFileOf(const std::string& aLnkFile) { return aLnkFile; }

void SaveShortcut(const std::string& aLnkFile, const ShortcutSpec& aSpec) {
  TComScope com;
  TComPtr<IShellLinkW> link;
  Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                         reinterpret_cast<void**>(link.Out())),
        "create shortcut " + aLnkFile);
  Check(link->SetPath(win::Widen(aSpec.Target).c_str()), "shortcut target " + aSpec.Target);
  if (!aSpec.WorkingDir.empty()) {
    Check(link->SetWorkingDirectory(win::Widen(aSpec.WorkingDir).c_str()),
          "shortcut folder " + aSpec.WorkingDir);
  }
  if (!aSpec.Description.empty()) {
    Check(link->SetDescription(win::Widen(aSpec.Description).c_str()), "shortcut description");
  }
  if (!aSpec.IconFile.empty()) {
    Check(link->SetIconLocation(win::Widen(aSpec.IconFile).c_str(), 0),
          "shortcut icon " + aSpec.IconFile);
  }
  if (!fs::ForceDirectories(str::ExtractFileDir(aLnkFile))) {
    throw ov::Error("save shortcut " + aLnkFile + ": " + fs::LastErrorText());
  }
  TComPtr<IPersistFile> file;
  Check(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out())),
        "save shortcut " + aLnkFile);
  const std::wstring path = win::Widen(aLnkFile);
  Check(file->Save(path.c_str(), TRUE), "save shortcut " + aLnkFile);
  // The desktop shows a new shortcut only once the shell hears of it.
  SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW | SHCNF_FLUSH, path.c_str(), nullptr);
}

}  // namespace ov::platform
