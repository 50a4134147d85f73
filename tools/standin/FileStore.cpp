#include "FileStore.h"

#include "ServerThread.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <nlohmann/json.hpp>

#include "platform/FileSystem.h"

namespace ov::standin {

namespace {

// Parses one "bytes=a-b", "bytes=a-" or "bytes=-n" range against a size; false when there is
// none to honour (absent, several or malformed: the whole file is served).
bool ParseRange(const std::string& aHeader, int64_t aSize, int64_t& aFirst, int64_t& aLast,
                bool& aUnsatisfiable) {
  aUnsatisfiable = false;
  const std::string unit = "bytes=";
  if (aHeader.compare(0, unit.size(), unit) != 0) return false;
  std::string ranges = aHeader.substr(unit.size());
  if (ranges.find(',') != std::string::npos) return false;
  size_t dash = ranges.find('-');
  if (dash == std::string::npos) return false;
  std::string a = ranges.substr(0, dash), b = ranges.substr(dash + 1);
  auto num = [](const std::string& s, int64_t& v) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return false;
    v = std::stoll(s);
    return true;
  };
  int64_t first = 0, last = 0;
  if (a.empty()) {
    if (!num(b, last) || last == 0) return false;
    first = aSize > last ? aSize - last : 0;
    last = aSize - 1;
  } else {
    if (!num(a, first)) return false;
    if (b.empty()) {
      last = aSize - 1;
    } else if (!num(b, last) || last < first) {
      return false;
    }
    if (last >= aSize) last = aSize - 1;  // a last position beyond the end means the end
  }
  if (first >= aSize) {
    aUnsatisfiable = true;
    return true;
  }
  aFirst = first;
  aLast = last;
  return true;
}

bool SafePath(const std::string& aPath) {
  if (aPath.empty() || aPath[0] != '/') return false;
  size_t b = 1;
  while (b <= aPath.size()) {
    size_t e = aPath.find('/', b);
    if (e == std::string::npos) e = aPath.size();
    std::string part = aPath.substr(b, e - b);
    if (part == ".." || part.find('\\') != std::string::npos) return false;
    b = e + 1;
  }
  return aPath.find('\0') == std::string::npos;
}

// From the size, the modification time in nanoseconds and the inode.
// Size, last write in ns and the file's number: a rewritten file gets another tag even with the
// same size and second.
std::string ETagOf(int64_t aSize, int64_t aWriteNs, uint64_t aFileId) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "\"%llx-%llx-%llx\"", static_cast<unsigned long long>(aSize),
                static_cast<unsigned long long>(aWriteNs),
                static_cast<unsigned long long>(aFileId));
  return buf;
}

// "Sun, 06 Nov 1994 08:49:37 GMT", whatever the locale.
std::string HttpDate(time_t aTime) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm t {};
  gmtime_r(&aTime, &t);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday], t.tm_mday,
                kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

}  // namespace

bool MatchPattern(const std::string& aPattern, const std::string& aText) {
  size_t p = 0, t = 0, star = std::string::npos, mark = 0;
  while (t < aText.size()) {
    if (p < aPattern.size() && aPattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < aPattern.size() && aPattern[p] == aText[t]) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < aPattern.size() && aPattern[p] == '*') ++p;
  return p == aPattern.size();
}

TFileStore::TFileStore() = default;

TFileStore::~TFileStore() { Stop(); }

std::string TFileStore::BaseUrl() const {
  const bool tls = !FConfig.CertFile.empty() && !FConfig.KeyFile.empty();
  return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(FPort);
}

void TFileStore::AddFault(const TFault& aFault) {
  std::lock_guard<std::mutex> g(FLock);
  FFaults.push_back(aFault);
}

void TFileStore::ClearFaults() {
  std::lock_guard<std::mutex> g(FLock);
  FFaults.clear();
}

bool TFileStore::LoadFaults(const std::string& aJson, std::string& aError) {
  std::vector<TFault> faults;
  uint32_t seed = 1;
  try {
    auto j = nlohmann::json::parse(aJson);
    seed = j.value("seed", 1U);
    for (const auto& f : j.at("faults")) {
      TFault t;
      t.Pattern = f.value("pattern", std::string("*"));
      t.CloseAfterBytes = f.value("close_after", int64_t{-1});
      t.DropAcceptRanges = f.value("drop_accept_ranges", false);
      t.DropContentLength = f.value("drop_content_length", false);
      t.ForceStatus = f.value("status", 0);
      t.LatencyMs = f.value("latency_ms", 0);
      t.BandwidthBytesPerSec = f.value("bandwidth", int64_t{0});
      t.CorruptAt = f.value("corrupt_at", int64_t{-1});
      t.Times = f.value("times", -1);
      t.Chance = f.value("chance", 100);
      t.CutAtRandom = f.value("cut_at_random", false);
      t.Method = f.value("method", std::string());
      if (t.Chance < 0 || t.Chance > 100) throw std::runtime_error("chance must be 0 to 100");
      faults.push_back(t);
    }
  } catch (const std::exception& e) {
    aError = e.what();
    return false;
  }
  std::lock_guard<std::mutex> g(FLock);
  FFaults = std::move(faults);
  FRandom.seed(seed);
  return true;
}

std::vector<TRequestLogEntry> TFileStore::RequestLog() const {
  std::lock_guard<std::mutex> g(FLock);
  return FLog;
}

void TFileStore::ClearLog() {
  std::lock_guard<std::mutex> g(FLock);
  FLog.clear();
}

void TFileStore::Log(const TRequestLogEntry& aEntry) {
  std::lock_guard<std::mutex> g(FLock);
  FLog.push_back(aEntry);
}

bool TFileStore::TakeFault(const std::string& aMethod, const std::string& aPath, TFault& aFault) {
  std::lock_guard<std::mutex> g(FLock);
  for (auto& f : FFaults) {
    if (f.Times == 0 || !MatchPattern(f.Pattern, aPath)) continue;
    if (!f.Method.empty() && f.Method != aMethod) continue;
    if (f.Chance < 100 && static_cast<int32_t>(FRandom() % 100) >= f.Chance) continue;
    if (f.Times > 0) --f.Times;
    aFault = f;
    return true;
  }
  return false;
}

int64_t TFileStore::RandomBelow(int64_t aLimit) {
  if (aLimit <= 0) return 0;
  std::lock_guard<std::mutex> g(FLock);
  return static_cast<int64_t>(FRandom() % static_cast<uint64_t>(aLimit));
}

bool TFileStore::Start(const TFileStoreConfig& aConfig) {
  Stop();
  FConfig = aConfig;
  if (!FServer.Create(FConfig.CertFile, FConfig.KeyFile)) return false;
  FServer.Server().set_keep_alive_max_count(100000);
  FServer.Server().Post("/_control/faults", [this](const httplib::Request& req, httplib::Response& res) {
    std::string err;
    if (LoadFaults(req.body, err)) {
      res.set_content("{\"ok\":true}", "application/json");
    } else {
      res.status = 400;
      res.set_content(nlohmann::json{{"error", err}}.dump(), "application/json");
    }
  });
  FServer.Server().Get("/_control/log", [this](const httplib::Request&, httplib::Response& res) {
    nlohmann::json j = nlohmann::json::array();
    for (const auto& e : RequestLog()) {
      j.push_back({{"method", e.Method}, {"path", e.Path}, {"range", e.Range}, {"status", e.Status}});
    }
    res.set_content(j.dump(), "application/json");
  });
  FServer.Server().Post("/_control/log/clear", [this](const httplib::Request&, httplib::Response& res) {
    ClearLog();
    res.set_content("{\"ok\":true}", "application/json");
  });
  FServer.Server().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
    // Ranges are answered here, exactly; the library's own handling would announce a last
    // position beyond the end of the file.
    const_cast<httplib::Request&>(req).ranges.clear();
    // Logged when the handler returns, before the answer is written, so a client that has its
    // answer always finds the entry.
    struct TLogOnReturn {
      TFileStore* Store;
      const httplib::Request& Req;
      const httplib::Response& Res;
      ~TLogOnReturn() {
        Store->Log({Req.method, Req.path, Req.get_header_value("Range"), Res.status,
                    Req.get_header_value("Cookie"), Req.remote_port});
      }
    } logOnReturn{this, req, res};
    TFault fault;
    const bool faulty = TakeFault(req.method, req.path, fault);
    if (faulty && fault.LatencyMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(fault.LatencyMs));
    }
    auto cookie = FConfig.SetCookies.find(req.path);
    if (cookie != FConfig.SetCookies.end()) res.set_header("Set-Cookie", cookie->second);
    auto redirect = FConfig.Redirects.find(req.path);
    if (redirect != FConfig.Redirects.end()) {
      res.status = 302;
      res.set_header("Location", redirect->second);
      return;
    }
    if (faulty && fault.ForceStatus > 0) {
      res.status = fault.ForceStatus;
      res.set_content("forced status", "text/plain");
      return;
    }
    const std::string file = FConfig.Root + req.path;
    namespace pfs = ov::platform::fs;
    if (!SafePath(req.path) || !pfs::HostFileExists(file)) {
      res.status = 404;
      res.set_content("Not Found", "text/plain");
      return;
    }
    auto fd = std::make_shared<pfs::File>();
    pfs::FileTimes times;
    uint64_t volume = 0, fileId = 0;
    if (!fd->OpenHost(file, pfs::File::Mode::Read) || !pfs::HostGetFileTimes(file, times) ||
        !pfs::HostFileIdentity(file, volume, fileId)) {
      res.status = 403;
      res.set_content("Forbidden", "text/plain");
      return;
    }
    const int64_t size = fd->Size();
    const std::string etag = ETagOf(size, times.LastWrite, fileId);
    const std::string modified = HttpDate(static_cast<time_t>(times.LastWrite / 1000000000));
    res.set_header("ETag", etag);
    res.set_header("Last-Modified", modified);
    int64_t first = 0, last = size - 1;
    bool unsatisfiable = false;
    // A range whose If-Range names another version than this one gets the whole file.
    const std::string ifRange = req.get_header_value("If-Range");
    const bool sameVersion = ifRange.empty() || ifRange == etag || ifRange == modified;
    const bool ranged =
        sameVersion && ParseRange(req.get_header_value("Range"), size, first, last, unsatisfiable);
    // The library announces "bytes" for every streamed answer unless told otherwise.
    res.set_header("Accept-Ranges", faulty && fault.DropAcceptRanges ? "none" : "bytes");
    if (ranged && unsatisfiable) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
    if (ranged) {
      res.status = 206;
      res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                          std::to_string(last) + "/" + std::to_string(size));
    } else {
      res.status = 200;
      first = 0;
      last = size - 1;
    }
    const int64_t length = size == 0 ? 0 : last - first + 1;
    TFault f = faulty ? fault : TFault{};
    if (f.CutAtRandom) f.CloseAfterBytes = RandomBelow(length);
    auto sent = std::make_shared<int64_t>(0);
    // Streams [first + offset, ...) in blocks, applying the faults of this request.
    auto send = [fd, f, first, length, sent](size_t offset, size_t want, httplib::DataSink& sink) {
      char buf[65536];
      int64_t remaining = std::min<int64_t>(static_cast<int64_t>(want), length - static_cast<int64_t>(offset));
      int64_t pos = first + static_cast<int64_t>(offset);
      while (remaining > 0) {
        int64_t n = std::min<int64_t>(remaining, sizeof buf);
        if (f.CloseAfterBytes >= 0) n = std::min(n, f.CloseAfterBytes - *sent);
        if (n <= 0) return false;  // drops the connection mid-body
        if (!fd->Seek(pos)) return false;
        const int64_t got = fd->Read(buf, static_cast<size_t>(n));
        if (got <= 0) return false;
        if (f.CorruptAt >= pos && f.CorruptAt < pos + got) buf[f.CorruptAt - pos] ^= 0x5A;
        if (!sink.write(buf, static_cast<size_t>(got))) return false;
        if (f.BandwidthBytesPerSec > 0) {
          std::this_thread::sleep_for(std::chrono::microseconds(got * 1000000 / f.BandwidthBytesPerSec));
        }
        pos += got;
        remaining -= got;
        *sent += got;
      }
      return true;
    };
    if (length == 0 && !f.DropContentLength) {
      // An empty file: the library announces no length for a provider of nothing.
      res.set_header("Content-Length", "0");
      res.set_content("", "application/octet-stream");
    } else if (f.DropContentLength) {
      auto offset = std::make_shared<size_t>(0);
      res.set_chunked_content_provider(
          "application/octet-stream", [send, offset, length](size_t, httplib::DataSink& sink) {
            size_t want = std::min<size_t>(65536, static_cast<size_t>(length) - *offset);
            if (want == 0) {
              sink.done();
              return true;
            }
            if (!send(*offset, want, sink)) return false;
            *offset += want;
            return true;
          });
    } else {
      res.set_content_provider(static_cast<size_t>(length), "application/octet-stream", send);
    }
  });
  FPort = FServer.Run(aConfig.Port);
  return FPort > 0;
}

void TFileStore::Stop() { FServer.Stop(); }

}  // namespace ov::standin
