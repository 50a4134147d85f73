// Slide images fetched in the background while a module installs.
#include <vector>

#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "install/SoftCorvelaHelperUtil.h"
#include "install/SoftSaasHelperUtil.h"
#include "net/UpdateHTTPUtil.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "ui/OVLangUtil.h"

namespace fs = ov::platform::fs;
namespace str = ov::str;

std::string TSoftSaasHelper::PrepareSlideFolder(const std::string& aPath) {
  const std::string tmp = TovLib::GetTempPath(aPath, false);
  if (!fs::ForceDirectories(tmp)) {
    Log("[Slider]" + LangT("gls_dirfoucefailed", "安装目录创建失败"), true);
    return {};
  }
  const std::string dir = tmp + "InstSlider\\";
  fs::ForceDirectories(dir);
  // Partial images of a run that was killed: every module's slide pass clears its own folder,
  // also one that fetches nothing because an earlier module already has the images.
  std::vector<fs::DirEntry> entries;
  if (fs::ListDir(dir, entries)) {
    for (const auto& e : entries) {
      // With the record of the version a large partial came from.
      if (!e.IsDir && (str::EndsText(".parts", e.Name) || str::EndsText(".parts.info", e.Name))) {
        fs::DeleteFile(dir + e.Name);
      }
    }
  }
  return dir;
}

bool TSoftSaasHelper::FetchSlide(TNetHTTP& aNet, const std::string& aUrl,
                                 const std::string& aAppHost, const std::string& aFile) {
  if (!fs::FileExists(aFile)) {
    std::string url = aUrl;
    if (!str::StartsText("http", url)) {
      const bool slash =
          (!url.empty() && url[0] == '/') || (!aAppHost.empty() && aAppHost.back() == '/');
      url = aAppHost + (slash ? "" : "/") + url;
    }
    std::string err;
    // An image that did not arrive leaves no partial file in the slide folder.
    if (!DownFileRetryWith(aNet, url, aFile, err)) {
      for (const char* leftover : {".parts", ".parts.info"}) {
        if (fs::FileExists(aFile + leftover)) fs::DeleteFile(aFile + leftover);
      }
    }
  }
  return fs::FileExists(aFile);
}

void TSoftSaasHelper::DownImgSliders(const std::string& aAppHost, const std::string& aPath) {
  if (str::Trim(ImgSliderUrl().v()).empty()) return;
  ov::platform::StartWorker([this, aAppHost, aPath] {
    const std::string base = str::Trim(ImgSliderUrl().v());
    if (base.empty()) return;
    const std::string dir = PrepareSlideFolder(aPath);
    if (dir.empty() || !HasSoftVar() || SoftVar().sliders().Count() > 0) return;
    for (int i = 1; i <= 32; ++i) {
      const std::string n = "Slider" + std::to_string(i);
      if (fs::FileExists(dir + n + ".png")) {
        fs::DeleteFile(dir + n + ".png");
      } else if (fs::FileExists(dir + n + ".jpg")) {
        fs::DeleteFile(dir + n + ".jpg");
      }
    }
    // Its own wrapper: the install pipeline downloads through the installer's at the same time.
    TNetHTTP net;
    for (int i = 1; i <= 32; ++i) {
      const std::string stem = "slider" + std::to_string(i);
      auto exists = [&](const std::string& aUrl) {
        return net.NetFileExists(aUrl) || net.NetFileExists(aUrl);
      };
      std::string name = stem + ".png";
      if (!exists(base + name)) {
        name = stem + ".jpg";
        if (!exists(base + name)) break;
      }
      const std::string local = dir + name;
      if (FetchSlide(net, base + name, aAppHost, local)) SoftVar().sliders().Add(stem, local);
    }
  });
}

void TSoftCorvelaHelper::DownImgSliders(const std::string& aAppHost, const std::string& aPath) {
  // Copied here: the parameters belong to the main thread.
  ov::platform::StartWorker([this, aAppHost, aPath, urls = FParam->carouselpicurls] {
    if (urls.empty()) return;
    const std::string dir = PrepareSlideFolder(aPath);
    if (dir.empty() || !HasSoftVar()) return;
    SoftVar().sliders().Clear();
    TNetHTTP net;
    int n = 1;
    for (const auto& raw : urls) {
      const std::string url = str::Trim(raw);
      if (url.empty()) continue;
      std::string name = TovLib::GetUrlFileName(url);
      if (name.empty()) {
        try {
          name = TovLib::GetMd5(url) + TovLib::GetUrlLastName(url);
        } catch (const std::exception&) {
          name = TovLib::GetMd5(url);
        }
      }
      // The name comes from the address: it must stay one file of the slide folder.
      if (name.find_first_of("\\/") != std::string::npos ||
          !TovLib::IsPathInside(dir + name, dir)) {
        Log("[Slider]图片文件名无效：" + name + " [" + url + "]", true);
        continue;
      }
      if (FetchSlide(net, url, aAppHost, dir + name)) {
        SoftVar().sliders().Add("slider" + std::to_string(n), dir + name);
        ++n;
      }
    }
  });
}
