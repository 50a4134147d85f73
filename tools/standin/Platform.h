#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "ServerThread.h"

// The stand-in of the enterprise platform: "POST /api/enterprise/getinstallconfig" over HTTPS.
// It checks the bearer credential, the time stamp (within five minutes), the nonce (ten
// letters or digits, never twice) and the HMAC signature of "T|N", and answers with the
// enterprise's install parameters AES-encrypted under the shared key.
namespace ov::standin {

struct TPlatformConfig {
  int32_t Port = 0;               // 0 = ephemeral
  std::string CertFile, KeyFile;  // both set: HTTPS; else plain HTTP
  std::string CatalogueFile;      // read at every request; empty: SetCatalogue
  std::string Key;                // the installer key: HMAC key and AES-256 key
  std::string Bearer;             // the whole Authorization value, "Bearer <token>"
};

struct TPlatformLogEntry {
  std::string Authorization, Timestamp, Nonce, Signature;
  std::string Body;
  std::string Outcome;  // "ok", "invalid code", or the failed check of the error report
};

class TPlatform {
 public:
  ~TPlatform() { Stop(); }

  bool Start(const TPlatformConfig& aConfig);
  void Stop() { FServer.Stop(); }
  int32_t Port() const { return FPort; }
  // Ends with "/", as the installer's platform host does.
  std::string BaseUrl() const;

  void SetCatalogue(const TCatalogue& aCatalogue);
  // Answers every request with this status and body, unchecked (to test the installer against
  // broken answers); status 0 turns it off.
  void SetRawAnswer(int32_t aStatus, const std::string& aBody);
  std::vector<TPlatformLogEntry> RequestLog() const;

  // Milliseconds from 1970-01-01 08:00 to the local wall-clock time, as the installer counts.
  static int64_t InstallerTimeStamp();

 private:
  // The plaintext to encrypt, and the outcome for the log.
  std::string Evaluate(const httplib::Request& aRequest, std::string& aOutcome);

  TPlatformConfig FConfig;
  TServerThread FServer;
  int32_t FPort = 0;
  bool FTls = false;
  mutable std::mutex FLock;
  TCatalogue FCatalogue;
  std::map<std::string, int64_t> FNonces;  // nonce -> time stamp it came with
  int32_t FRawStatus = 0;
  std::string FRawBody;
  std::vector<TPlatformLogEntry> FLog;
};

}  // namespace ov::standin
