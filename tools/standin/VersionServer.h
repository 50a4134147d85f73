#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "ServerThread.h"

// The stand-in of the maker's version server: two signed JSON posts over plain HTTP,
// "/FileInfo/SelNewSWVer" (which version of a module is current) and "/FileInfo/GetDetailInfo"
// (the files and tasks of a version), answered from a catalogue.
namespace ov::standin {

struct TVersionServerConfig {
  int32_t Port = 9006;        // 0 = ephemeral
  std::string CatalogueFile;  // read at every request, so a republish is seen at once;
                              // empty: the catalogue given by SetCatalogue
  std::string SignPrefix, SignSuffix;
  std::string FileStoreUrl;  // put in front of file_url values that start with "/"
};

struct TVersionLogEntry {
  std::string Path;
  std::string Body;
  std::string RespCode;  // resp_code of the answer
};

class TVersionServer {
 public:
  ~TVersionServer() { Stop(); }

  bool Start(const TVersionServerConfig& aConfig);
  void Stop() { FServer.Stop(); }
  int32_t Port() const { return FPort; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(FPort); }

  void SetCatalogue(const TCatalogue& aCatalogue);
  // Answers start with the UTF-8 byte-order mark.
  void SetBom(bool aValue);
  // Answers are percent-encoded (every byte outside A-Z a-z 0-9 - _ . ~).
  void SetUrlEncoded(bool aValue);
  std::vector<TVersionLogEntry> RequestLog() const;

 private:
  std::string Answer(const std::string& aPath, const std::string& aBody);
  bool CurrentCatalogue(TCatalogue& aCatalogue, std::string& aError);

  TVersionServerConfig FConfig;
  TServerThread FServer;
  int32_t FPort = 0;
  mutable std::mutex FLock;
  TCatalogue FCatalogue;
  bool FBom = false, FUrlEncoded = false;
  std::vector<TVersionLogEntry> FLog;
};

// Canonical string of a request: "name=value" of every member but sg whose value is not
// empty, sorted without regard to case, joined with "&".
std::string CanonicalString(const nlohmann::json& aRequest);
std::string Signature(const std::string& aCanonical, const std::string& aPrefix,
                      const std::string& aSuffix);

}  // namespace ov::standin
