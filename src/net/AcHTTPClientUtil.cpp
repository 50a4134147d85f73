#include "net/AcHTTPClientUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

namespace fs = ov::platform::fs;
using ov::net::THttpResponse;

namespace {

constexpr int64_t kIdBlock = 10240;

uint32_t Tick32() { return ov::platform::TickSource().TickCount32(); }

std::string Fmt(const char* aPattern, const std::string& a) {
  std::string r = aPattern;
  size_t p = r.find("%s");
  if (p != std::string::npos) r.replace(p, 2, a);
  return r;
}

std::string StatusError(const char* aPrefix, const THttpResponse& r) {
  return std::string(aPrefix) + " " + std::to_string(r.Status) + ": " + r.StatusText;
}

}  // namespace

TAcHTTPClient::TAcHTTPClient() {
  FOptions.ConnTimeoutMs = 60000;
  FOptions.ReadTimeoutMs = 60000;
  FOptions.MaxRedirects = 60;
  try {
    FNtHTTP = ov::net::CreateNetStack();
    FOptions.UserAgent = "Mozilla/3.0 (compatible; NetHTTP)";
    TovLib::Log("创建NetHTTP网络组件OK", false);
  } catch (const std::exception& e) {
    FNtHTTP.reset();
    TovLib::Log(std::string("创建NetHTTP网络组件异常：") + e.what() + "，启用idy组件...", true);
    try {
      FIdHTTP = ov::net::CreateIdStack();
      FOptions.UserAgent = "Mozilla/3.0 (compatible; IdHTTP)";
    } catch (const std::exception&) {
      FIdHTTP.reset();
    }
  }
}

TAcHTTPClient::~TAcHTTPClient() = default;

bool TAcHTTPClient::NetFileExists(const std::string& aUri) {
  std::string url = aUri;
  if (!ov::str::StartsText("http://", url) && !ov::str::StartsText("https://", url)) {
    url = "http://" + url;
  }
  if (!FProbes) FProbes = std::make_unique<ov::net::TProbeSession>();
  const int32_t status = FProbes->Probe(url, "InetURL:/1.0", FOptions.ConnTimeoutMs,
                                        FOptions.CaFile);
  return status == 200 || status == 302;
}

bool TAcHTTPClient::Download(const std::string& aSrcUrl, const std::string& ADestFileName) {
  FStartPosition = -1;
  FEndPosition = -1;
  FContentLength = -1;
  const std::string tmp = ADestFileName + ".parts";
  const std::string dir = ov::str::ExtractFileDir(ADestFileName);
  // The names are mapped onto the host once, together, and the file operations below work on
  // the host paths: every mapping walks the path and looks names missing in it up by case.
  std::vector<std::string> names{ADestFileName, tmp};
  if (!dir.empty()) names.push_back(dir);
  const std::vector<std::string> hosts = ov::platform::MapPathsToHost(names);
  std::string hostDest = hosts[0];
  const std::string hostTmp = hosts[1];
  const std::string hostDir = dir.empty() ? std::string() : hosts[2];
  if (fs::HostFileExists(hostDest)) {
    if (!fs::HostDeleteFile(hostDest)) {
      throw ov::Error(Fmt("文件 %s 已下载，重新下载时删除失败", ADestFileName));
    }
    // Another name of another case may stand behind the one deleted; it also decides where
    // the finished file goes.
    hostDest = ov::platform::MapToHost(ADestFileName);
    if (fs::HostFileExists(hostDest)) throw ov::Error(Fmt("文件 %s 已存在", ADestFileName));
  }
  if (!hostDir.empty() && !fs::HostDirectoryExists(hostDir)) {
    fs::HostForceDirectories(hostDir);
  }
  FCancelDownload = false;
  FTimeStart = Tick32();

  ov::net::IHttpStack* stack = FNtHTTP ? FNtHTTP.get() : FIdHTTP.get();
  if (!stack) throw ov::Error("无可用网络组件");
  ov::net::THttpOptions opts = FOptions;
  opts.Range.clear();
  const THttpResponse head = stack->Head(aSrcUrl, opts);
  if (head.Status < 200 || head.Status > 299) {
    throw ov::Error(StatusError("请求服务器失败", head));
  }
  // The secondary stack resumes too (the choice left open for it): a kept partial file is
  // continued from its end in blocks of 10240 bytes.
  const bool ranges = FNtHTTP ? ov::str::SameText(head.Header("Accept-Ranges"), "bytes") : true;
  FContentLength = head.ContentLength;

  if (!fs::CheckMapped(hostTmp, tmp)) throw ov::Error(fs::LastErrorText());
  fs::File file;
  const bool existed = fs::HostFileExists(hostTmp);
  if (!file.OpenHost(hostTmp, existed ? fs::File::Mode::ReadWrite : fs::File::Mode::OpenOrCreate)) {
    throw ov::Error(fs::LastErrorText());
  }
  int64_t pos = existed ? file.Size() : 0;
  if (pos < 0) throw ov::Error(fs::LastErrorText());
  // How far the file reaches. An empty file is not truncated: on ext4 truncating to nothing
  // makes the close write the file out at once, a disk write per download.
  int64_t fileEnd = pos;
  if (!ranges) pos = 0;
  FStartPosition = pos;
  FEndPosition = FContentLength;

  // Writes go straight to the file at the current position: a killed process leaves a valid
  // prefix of the download behind, never garbage.
  int64_t filePos = -1;  // where the file's own offset stands, to seek only when it differs
  auto restartAt0 = [&] {
    pos = 0;
    FStartPosition = 0;
    if (fileEnd != 0 && !file.Truncate(0)) throw ov::Error(fs::LastErrorText());
    fileEnd = 0;
    filePos = -1;
  };
  // A server that answers a range request with the whole file (200) must not have it appended
  // at the resume position: the transfer stops and counts as a failed resume.
  bool rangeIgnored = false;
  auto checkRange = [&](const THttpResponse& r) {
    rangeIgnored = !opts.Range.empty() && r.Status >= 200 && r.Status <= 299 && r.Status != 206;
  };
  auto sink = [&](const char* aData, size_t aSize) {
    if (rangeIgnored) return false;
    if (filePos != pos && !file.Seek(pos)) return false;
    if (!file.Write(aData, aSize)) return false;
    pos += static_cast<int64_t>(aSize);
    filePos = pos;
    fileEnd = std::max(fileEnd, pos);
    return true;
  };
  auto netProgress = [&](int64_t aContentLength, int64_t aReadCount, bool& aAbort) {
    aAbort = FCancelDownload.load();
    if (FOnProgress) {
      FOnProgress(FNtHTTP.get(), FStartPosition, FEndPosition, aContentLength, aReadCount,
                  FTimeStart, Tick32(), aAbort);
    }
  };
  auto idHeaders = [&](const THttpResponse& r) {
    checkRange(r);
    FContentLength = r.ContentLength;
  };
  auto idProgress = [&](int64_t, int64_t aReadCount, bool&) {
    if (FOnProgress) {
      bool ignored = false;  // the secondary stack cannot be aborted
      FOnProgress(FIdHTTP.get(), FStartPosition, FEndPosition, FContentLength, aReadCount,
                  FTimeStart, Tick32(), ignored);
    }
  };

  bool aborted = false;
  if (FEndPosition > 0 && FStartPosition < FEndPosition) {
    // The two stacks differ only in the range they ask for, their notifications and texts.
    const bool net = FNtHTTP != nullptr;
    ov::net::THeadersEvent onHeaders = net ? ov::net::THeadersEvent(checkRange) : idHeaders;
    ov::net::TProgressEvent onProgress = net ? ov::net::TProgressEvent(netProgress) : idProgress;
    THttpResponse got;
    if (FStartPosition > 0) {
      if (net) {
        opts.Range = std::to_string(FStartPosition) + "-" + std::to_string(FEndPosition);
      } else if (FStartPosition + kIdBlock < FContentLength) {
        opts.Range = std::to_string(FStartPosition) + "-" +
                     std::to_string(FStartPosition + kIdBlock - 1);
      } else {
        opts.Range = std::to_string(FStartPosition) + "-";
      }
      bool failed = false;
      try {
        got = stack->Get(aSrcUrl, opts, sink, onHeaders, onProgress);
        failed = rangeIgnored;
      } catch (const ov::Error&) {
        failed = true;
      }
      if (failed) {
        TovLib::Log(std::string(net ? "Net" : "Id") + "断点续传失败，重新下载：" + aSrcUrl, true);
        opts.Range.clear();
        rangeIgnored = false;
        restartAt0();
        got = stack->Get(aSrcUrl, opts, sink, onHeaders, onProgress);
      }
    } else {
      restartAt0();
      got = stack->Get(aSrcUrl, opts, sink, onHeaders, onProgress);
    }
    if (got.Status < 200 || got.Status > 299) {
      throw ov::Error(StatusError(net ? "请求服务器失败(Net)" : "请求服务器失败(Idy)", got));
    }
    aborted = got.Aborted;
  } else if (FEndPosition <= 0) {
    TovLib::Log("未请求到文件大小(" + std::to_string(FEndPosition) + ")", false);
    throw ov::Error("未请求到文件大小");
  } else if (FStartPosition != FEndPosition) {
    TovLib::Log("文件下载位置超出文件大小(" + std::to_string(FStartPosition) + ">" +
                    std::to_string(FEndPosition) + ")",
                false);
    file.Close();
    if (fs::HostFileExists(hostTmp) && fs::HostDeleteFile(hostTmp)) {
      TovLib::Log("删除断点文件：" + tmp, false);
    }
    throw ov::Error("文件下载位置超出文件大小");
  } else {
    TovLib::Log("文件下载位置等于文件大小(" + std::to_string(FStartPosition) + ")", false);
  }

  const int64_t size = file.Size();
  file.Close();
  if (aborted) return false;
  const bool complete = (size > 0 && size == FContentLength) || (size == 0 && FContentLength == 0);
  if (!complete) return false;
  if (!fs::CheckMapped(hostDest, ADestFileName) || !fs::HostReplaceFile(hostTmp, hostDest)) {
    throw ov::Error("文件重命名 " + tmp + " 为 " + ADestFileName + ": " + fs::LastErrorText());
  }
  return true;
}
