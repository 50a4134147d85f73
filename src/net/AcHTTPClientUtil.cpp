#include "net/AcHTTPClientUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "base/OVStrUtil.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

namespace fs = ov::platform::fs;
using ov::net::THttpResponse;

namespace {

// A resume on the secondary stack asks for blocks: the first of 10240 bytes, each later one
// twice the one before up to this size, so a large resume takes a few requests.
constexpr int64_t kIdFirstBlock = 10240;
constexpr int64_t kIdMaxBlock = 4 << 20;
// Smaller files get no record beside their partial, which is then fetched again: a record
// costs a create and an unlink, which a module of thousands of small files would feel.
constexpr int64_t kRecordMin = 64 * 1024;

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

// The version of the file an answer carries: its strong ETag, else its Last-Modified (a weak
// tag may not be sent in If-Range).
std::string ValidatorOf(const THttpResponse& r) {
  std::string tag = r.Header("ETag");
  if (!tag.empty() && tag.rfind("W/", 0) != 0) return tag;
  return r.Header("Last-Modified");
}

// What a partial file was cut from, kept as "<full length>\n<validator>\n".
struct TPartRecord {
  int64_t Length = -1;
  std::string Validator;
  bool operator==(const TPartRecord&) const = default;
};

// False when there is no usable record; aExists tells whether a file stands in its place.
bool ReadRecord(const std::string& aHost, TPartRecord& aRecord, bool& aExists) {
  std::string text;
  if (!fs::ReadHostFile(aHost, text)) {
    aExists = fs::HostPathExists(aHost);
    return false;
  }
  aExists = true;
  const size_t nl = text.find('\n');
  if (nl == std::string::npos || text.size() < nl + 3 || text.back() != '\n') return false;
  aRecord.Validator = text.substr(nl + 1, text.size() - nl - 2);
  return ov::str::TryStrToInt64(text.substr(0, nl), aRecord.Length) && aRecord.Length > 0;
}

bool WriteRecord(const std::string& aHost, const TPartRecord& aRecord) {
  fs::File f;
  return f.OpenHost(aHost, fs::File::Mode::Truncate) &&
         f.Write(std::to_string(aRecord.Length) + "\n" + aRecord.Validator + "\n");
}

// First position of a "bytes a-b/n" Content-Range, -1 when there is none.
int64_t RangeStart(const THttpResponse& r) {
  const std::string cr = r.Header("Content-Range");
  int64_t first = -1;
  const size_t dash = cr.find('-');
  if (!ov::str::StartsText("bytes ", cr) || dash == std::string::npos ||
      !ov::str::TryStrToInt64(ov::str::Trim(cr.substr(6, dash - 6)), first)) {
    return -1;
  }
  return first;
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

bool TAcHTTPClient::GetText(const std::string& aUrl, std::string& aText) {
  aText.clear();
  if (Stopped()) return false;
  ov::net::IHttpStack* stack = FNtHTTP ? FNtHTTP.get() : FIdHTTP.get();
  if (!stack) throw ov::Error("无可用网络组件");
  ov::net::THttpOptions opts = FOptions;
  opts.Range.clear();
  opts.StopTest = FStopTest;
  bool tooLong = false;
  // Only the final answer's body is kept.
  const ov::net::THeadersEvent onHeaders = [&](const THttpResponse&) { aText.clear(); };
  const ov::net::TBodySink sink = [&](const char* aData, size_t aSize) {
    if (aText.size() + aSize > kGetTextMax) {
      tooLong = true;
      return false;
    }
    aText.append(aData, aSize);
    return true;
  };
  THttpResponse r;
  try {
    r = stack->Get(aUrl, opts, sink, onHeaders, {});
  } catch (const ov::Error&) {
    if (!tooLong) throw;
  }
  if (tooLong) throw ov::Error("应答过大：" + aUrl);
  if (r.Aborted || Stopped()) return false;
  if (r.Status < 200 || r.Status > 299) throw ov::Error(StatusError("请求服务器失败", r));
  if (r.Truncated) throw ov::Error("应答不完整：" + aUrl);
  return true;
}

bool TAcHTTPClient::Download(const std::string& aSrcUrl, const std::string& ADestFileName) {
  FStartPosition = -1;
  FEndPosition = -1;
  FContentLength = -1;
  if (Stopped()) return false;
  const std::string tmp = ADestFileName + ".parts";
  const std::string info = tmp + ".info";
  const std::string dir = ov::str::ExtractFileDir(ADestFileName);
  // The names are mapped onto the host once, together, and the file operations below work on
  // the host paths: every mapping walks the path and looks names missing in it up by case.
  std::vector<std::string> names{ADestFileName, tmp, info};
  if (!dir.empty()) names.push_back(dir);
  const std::vector<std::string> hosts = ov::platform::MapPathsToHost(names);
  std::string hostDest = hosts[0];
  const std::string hostTmp = hosts[1];
  const std::string hostInfo = hosts[2];
  const std::string hostDir = dir.empty() ? std::string() : hosts[3];
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
  const bool net = FNtHTTP != nullptr;
  ov::net::THttpOptions opts = FOptions;
  opts.Range.clear();
  opts.StopTest = FStopTest;
  const THttpResponse head = stack->Head(aSrcUrl, opts);
  if (head.Aborted) return false;
  if (head.Status < 200 || head.Status > 299) {
    throw ov::Error(StatusError("请求服务器失败", head));
  }
  // The secondary stack resumes whatever the reply says about ranges.
  const bool ranges = net ? ov::str::SameText(head.Header("Accept-Ranges"), "bytes") : true;
  FContentLength = head.ContentLength;

  if (!fs::CheckMapped(hostTmp, tmp) || !fs::CheckMapped(hostInfo, info)) {
    throw ov::Error(fs::LastErrorText());
  }
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
  TPartRecord record;
  bool recordExists = false;
  bool recordValid = ReadRecord(hostInfo, record, recordExists);
  // Only a partial cut from the version the server has now is continued.
  const bool resume = ranges && pos > 0 && recordValid && record.Length == FContentLength &&
                      record.Validator == ValidatorOf(head);
  if (!resume) pos = 0;
  FStartPosition = pos;
  FEndPosition = FContentLength;

  // How the body of the answer in hand reaches the file: an error page never does.
  enum class TWrite { Discard, AtPos, From0 };
  TWrite mode = TWrite::Discard;
  bool afresh = false;        // the file is emptied and its record names the answer from 0
  TPartRecord fromRecord;     // the answer that is written from 0
  bool rangeIgnored = false;  // a range request was answered with the whole file
  bool rangeRefused = false;  // ... with 416 or a range other than the one asked for
  int64_t readBase = 0;       // bytes of this call before the answer in hand
  // Writes go straight to the file at the current position: a killed process leaves a valid
  // prefix of the download behind, never garbage.
  int64_t filePos = -1;  // where the file's own offset stands, to seek only when it differs
  // Before the first byte written from 0 the record is made to name that answer (or goes),
  // after the file is emptied: a record never names bytes of another version.
  auto startAfresh = [&] {
    if (fileEnd != 0 && !file.Truncate(0)) return false;
    fileEnd = 0;
    if (fromRecord.Length >= kRecordMin && !fromRecord.Validator.empty()) {
      if (!(recordValid && record == fromRecord)) {
        recordExists = true;
        recordValid = false;
        if (!WriteRecord(hostInfo, fromRecord)) return false;
        record = fromRecord;
        recordValid = true;
      }
    } else if (recordExists) {
      if (!fs::HostDeleteFile(hostInfo)) return false;
      recordExists = recordValid = false;
    }
    afresh = true;
    return true;
  };
  auto onHeaders = [&](const THttpResponse& r) {
    mode = TWrite::Discard;
    if (r.Status < 200 || r.Status > 299) return;
    if (opts.Range.empty() || r.Status != 206) {
      if (!opts.Range.empty()) {
        // The server ignored the range (the file changed, as If-Range tells it): this answer
        // holds the whole file and is written from 0.
        rangeIgnored = true;
        pos = 0;
        FStartPosition = 0;
        readBase = 0;
      }
      mode = TWrite::From0;
      afresh = false;
      fromRecord = {r.ContentLength, ValidatorOf(r)};
    } else if (const int64_t first = RangeStart(r); first >= 0 && first != pos) {
      rangeRefused = true;
    } else {
      mode = TWrite::AtPos;
    }
  };
  auto sink = [&](const char* aData, size_t aSize) {
    if (mode == TWrite::Discard) return true;
    if (mode == TWrite::From0 && !afresh && !startAfresh()) return false;
    if (filePos != pos && !file.Seek(pos)) return false;
    if (!file.Write(aData, aSize)) return false;
    pos += static_cast<int64_t>(aSize);
    filePos = pos;
    fileEnd = std::max(fileEnd, pos);
    return true;
  };
  auto onProgress = [&](int64_t aContentLength, int64_t aReadCount, bool& aAbort) {
    aAbort = FCancelDownload.load();
    if (!FOnProgress || mode == TWrite::Discard) return;
    if (net) {
      FOnProgress(FNtHTTP.get(), FStartPosition, FEndPosition, aContentLength, aReadCount,
                  FTimeStart, Tick32(), aAbort);
    } else {
      // The blocks of a resume count as one transfer of the rest of the file.
      FOnProgress(FIdHTTP.get(), FStartPosition, FEndPosition, FEndPosition - FStartPosition,
                  readBase + aReadCount, FTimeStart, Tick32(), aAbort);
    }
  };
  auto get = [&](const std::string& aRange) {
    opts.Range = aRange;
    opts.Headers = FOptions.Headers;
    if (!aRange.empty()) opts.Headers.emplace_back("If-Range", record.Validator);
    mode = TWrite::Discard;
    readBase = pos - FStartPosition;
    THttpResponse r = stack->Get(aSrcUrl, opts, sink, onHeaders, onProgress);
    // An answer from 0 without a body still replaces what the file held.
    if (mode == TWrite::From0 && !afresh && !r.Aborted && !startAfresh()) {
      throw ov::Error("写入下载文件失败: " + fs::LastErrorText());
    }
    return r;
  };

  bool aborted = false;
  if (FEndPosition > 0 && FStartPosition < FEndPosition) {
    // The primary asks for the whole rest at once, the secondary for growing blocks of it.
    int64_t block = net ? 0 : kIdFirstBlock;
    auto rangeAt = [&] {
      if (pos == 0) return std::string();
      if (block > 0 && pos + block < FEndPosition) {
        return std::to_string(pos) + "-" + std::to_string(pos + block - 1);
      }
      return std::to_string(pos) + "-" + (net ? std::to_string(FEndPosition) : std::string());
    };
    const std::string restartLog = std::string(net ? "Net" : "Id") + "断点续传失败，重新下载：";
    THttpResponse got;
    while (true) {
      const int64_t before = pos;
      got = get(rangeAt());
      if (!opts.Range.empty() && (got.Status == 416 || rangeRefused) && !got.Aborted) {
        TovLib::Log(restartLog + aSrcUrl, true);
        rangeRefused = false;
        pos = 0;
        FStartPosition = 0;
        got = get("");
      } else if (rangeIgnored) {
        TovLib::Log(restartLog + aSrcUrl, true);
        rangeIgnored = false;
      }
      if (got.Status < 200 || got.Status > 299) {
        if (got.Aborted) break;
        throw ov::Error(StatusError(net ? "请求服务器失败(Net)" : "请求服务器失败(Idy)", got));
      }
      // An answer from 0 was the whole file; a block that brought nothing ends the call too.
      if (got.Aborted || got.Truncated || mode != TWrite::AtPos || pos >= FEndPosition ||
          pos == before) {
        break;
      }
      if (Stopped()) {
        aborted = true;
        break;
      }
      block = std::min(block * 2, kIdMaxBlock);
    }
    aborted = aborted || got.Aborted;
  } else if (FEndPosition < 0) {
    TovLib::Log("未请求到文件大小(" + std::to_string(FEndPosition) + ")", false);
    throw ov::Error("未请求到文件大小");
  } else if (FEndPosition == 0) {
    // An empty file: nothing to fetch, only a leftover to clear.
    fromRecord = {};
    if (!startAfresh()) throw ov::Error(fs::LastErrorText());
  } else if (FStartPosition != FEndPosition) {
    TovLib::Log("文件下载位置超出文件大小(" + std::to_string(FStartPosition) + ">" +
                    std::to_string(FEndPosition) + ")",
                false);
    file.Close();
    if (recordExists) fs::HostDeleteFile(hostInfo);
    if (fs::HostFileExists(hostTmp) && fs::HostDeleteFile(hostTmp)) {
      TovLib::Log("删除断点文件：" + tmp, false);
    }
    throw ov::Error("文件下载位置超出文件大小");
  } else {
    TovLib::Log("文件下载位置等于文件大小(" + std::to_string(FStartPosition) + ")", false);
  }

  const int64_t size = file.Size();
  file.Close();
  if (aborted || size < 0 || size != FEndPosition) return false;
  if (!fs::CheckMapped(hostDest, ADestFileName) || !fs::HostReplaceFile(hostTmp, hostDest)) {
    throw ov::Error("文件重命名 " + tmp + " 为 " + ADestFileName + ": " + fs::LastErrorText());
  }
  // Left behind by a crash just here it is harmless: a fresh partial replaces or removes it.
  if (recordExists) fs::HostDeleteFile(hostInfo);
  return true;
}
