#include "Platform.h"

#include <chrono>
#include <ctime>

#include "StandInCrypto.h"

namespace ov::standin {

namespace {

const int64_t kWindowMs = 5 * 60 * 1000;

bool Digits(const std::string& s) {
  if (s.empty() || s.size() > 18) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool Alnum(const std::string& s) {
  for (char c : s) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return true;
}

// The platform's error report. Every failed check answers "Unauthorized" and names the check
// only in detail. Written by hand to keep the member order: clients read the status up to the
// comma that follows it.
std::string ErrorReport(const std::string& aDetail, int aStatus) {
  const std::string trace = "00-" + crypto::RandomHex(16) + "-" + crypto::RandomHex(8) + "-00";
  return "{\"type\":\"https://tools.ietf.org/html/"
         "rfc9110#section-15.5\",\"title\":\"Unauthorized\","
         "\"status\":" +
         std::to_string(aStatus) + ",\"detail\":" + nlohmann::json(aDetail).dump() +
         ",\"traceId\":\"" + trace + "\"}";
}

std::string ParamAnswer(int aCode, const std::string& aMessage, const nlohmann::json* aData,
                        int64_t aCostMs) {
  nlohmann::json j = {
      {"resp_code", aCode}, {"resp_msg", aMessage}, {"cost", std::to_string(aCostMs) + "ms"}};
  if (aData) j["data"] = *aData;
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

int64_t TPlatform::InstallerTimeStamp() {
  using namespace std::chrono;
  const int64_t unixMs =
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(unixMs / 1000);
  std::tm local{};
  std::tm utc{};
  localtime_r(&secs, &local);
  gmtime_r(&secs, &utc);
  // The local offset from the two broken-down times (not every C library has tm_gmtoff).
  int64_t days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  const int64_t offset =
      ((days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min) * 60 +
      local.tm_sec - utc.tm_sec;
  return unixMs + offset * 1000 - 8LL * 3600 * 1000;
}

std::string TPlatform::BaseUrl() const {
  return std::string(FTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(FPort) + "/";
}

bool TPlatform::Start(const TPlatformConfig& aConfig) {
  Stop();
  FConfig = aConfig;
  FTls = !aConfig.CertFile.empty() && !aConfig.KeyFile.empty();
  if (!FServer.Create(aConfig.CertFile, aConfig.KeyFile)) return false;
  FServer.Server().Post("/api/enterprise/getinstallconfig", [this](const httplib::Request& req,
                                                                   httplib::Response& res) {
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FRawStatus != 0) {
        res.status = FRawStatus;
        res.set_content(FRawBody, "application/json; charset=utf-8");
        return;
      }
    }
    auto t0 = std::chrono::steady_clock::now();
    std::string outcome;
    std::string plain = Evaluate(req, outcome);
    std::string data, iv;
    nlohmann::json answer;
    if (crypto::AesCbcEncrypt(FConfig.Key, plain, data, iv)) {
      const bool ok = outcome == "ok" || outcome == "invalid code";
      const auto cost = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - t0)
                            .count();
      answer = {{"resp_code", ok ? 1 : 0},
                {"resp_msg", ok ? "success" : outcome},
                {"cost", std::to_string(cost) + "ms"},
                {"data", data},
                {"iv", iv}};
    } else {
      res.status = 500;
      answer = {{"resp_code", 0}, {"resp_msg", "the platform key is not 32 bytes"}};
      outcome = "key";
    }
    res.set_content(answer.dump(), "application/json; charset=utf-8");
    std::lock_guard<std::mutex> g(FLock);
    FLog.push_back({req.get_header_value("Authorization"), req.get_header_value("X-Timestamp"),
                    req.get_header_value("X-Nonce"), req.get_header_value("X-Signature"), req.body,
                    outcome});
  });
  FPort = FServer.Run(aConfig.Port);
  return FPort > 0;
}

std::string TPlatform::Evaluate(const httplib::Request& aRequest, std::string& aOutcome) {
  auto refuse = [&](const std::string& aTitle, int aStatus) {
    aOutcome = aTitle;
    return ErrorReport(aTitle, aStatus);
  };
  if (aRequest.get_header_value("Authorization") != FConfig.Bearer) {
    return refuse("Unknown credential", 401);
  }
  const std::string stamp = aRequest.get_header_value("X-Timestamp");
  const std::string nonce = aRequest.get_header_value("X-Nonce");
  const std::string sig = aRequest.get_header_value("X-Signature");
  if (!Digits(stamp)) return refuse("Invalid timestamp", 401);
  const int64_t now = InstallerTimeStamp();
  const int64_t t = std::stoll(stamp);
  if (t < now - kWindowMs || t > now + kWindowMs) return refuse("Request expired", 401);
  if (nonce.size() != 10 || !Alnum(nonce)) return refuse("Invalid nonce", 401);
  if (sig != crypto::HmacSha256Base64(FConfig.Key, stamp + "|" + nonce)) {
    return refuse("Invalid signature", 401);
  }
  {
    std::lock_guard<std::mutex> g(FLock);
    for (auto it = FNonces.begin(); it != FNonces.end();) {
      it = it->second < now - 2 * kWindowMs ? FNonces.erase(it) : std::next(it);
    }
    if (!FNonces.emplace(nonce, t).second) {
      aOutcome = "Nonce replayed";
      return ErrorReport(aOutcome, 401);
    }
  }
  const int64_t cost = 1;  // the stand-in does no work worth timing
  // The body is {"data":"<JSON text of {softid, install_code}>"}.
  auto outer = nlohmann::json::parse(aRequest.body, nullptr, false);
  nlohmann::json inner;
  if (outer.is_object() && outer.contains("data") && outer["data"].is_string()) {
    inner = nlohmann::json::parse(outer["data"].get<std::string>(), nullptr, false);
  }
  if (!inner.is_object() || !inner.contains("softid") || !inner["softid"].is_number_integer() ||
      !inner.contains("install_code") || !inner["install_code"].is_string()) {
    aOutcome = "invalid code";
    return ParamAnswer(0, "invalid request", nullptr, cost);
  }
  const int64_t softid = inner["softid"].get<int64_t>();
  const std::string code = inner["install_code"].get<std::string>();
  TCatalogue cat;
  std::string err;
  if (FConfig.CatalogueFile.empty()) {
    std::lock_guard<std::mutex> g(FLock);
    cat = FCatalogue;
  } else if (!cat.Load(FConfig.CatalogueFile, err)) {
    aOutcome = "catalogue";
    return ParamAnswer(0, "catalogue unreadable: " + err, nullptr, cost);
  }
  for (const auto& e : cat.Enterprises) {
    const auto id = e.find("softid");
    const auto ic = e.find("install_code");
    if (id != e.end() && id->is_number_integer() && id->get<int64_t>() == softid && ic != e.end() &&
        ic->is_string() && ic->get<std::string>() == code) {
      nlohmann::json data = e.value("data", nlohmann::json::object());
      data["softid"] = softid;
      aOutcome = "ok";
      return ParamAnswer(1, "success", &data, cost);
    }
  }
  aOutcome = "invalid code";
  return ParamAnswer(0, "invalid code", nullptr, cost);
}

void TPlatform::SetCatalogue(const TCatalogue& aCatalogue) {
  std::lock_guard<std::mutex> g(FLock);
  FCatalogue = aCatalogue;
}

void TPlatform::SetRawAnswer(int32_t aStatus, const std::string& aBody) {
  std::lock_guard<std::mutex> g(FLock);
  FRawStatus = aStatus;
  FRawBody = aBody;
}

std::vector<TPlatformLogEntry> TPlatform::RequestLog() const {
  std::lock_guard<std::mutex> g(FLock);
  return FLog;
}

}  // namespace ov::standin
