#pragma once

#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "net/UpdateHTTPUtil.h"

// Client of an update folder described by "Updata.xml" (with the version signal "Updata.txt"):
// fetches the descriptor and loads it into the update state.
class TOVUpdateXML {
 public:
  TOVUpdateXML();
  ~TOVUpdateXML();
  TOVUpdateXML(const TOVUpdateXML&) = delete;
  TOVUpdateXML& operator=(const TOVUpdateXML&) = delete;

  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t aValue) { FReadTimeout = aValue; }
  const std::string& XMLName() const { return FXMLName; }
  void SetXMLName(const std::string& aValue) { FXMLName = aValue; }
  const std::string& TXTName() const { return FTXTName; }
  void SetTXTName(const std::string& aValue) { FTXTName = aValue; }
  const std::string& TargetDir() const { return FTargetDir; }
  void SetTargetDir(const std::string& aValue) { FTargetDir = aValue; }
  const std::string& TempDir() const { return FTempDir; }
  void SetTempDir(const std::string& aValue) { FTempDir = aValue; }
  const TOnFileDownload& OnChecking() const { return FOnChecking; }
  void SetOnChecking(TOnFileDownload aValue) { FOnChecking = std::move(aValue); }
  const std::string& XMLFile() const { return FXMLFile; }
  // Read-only: the descriptor and the signal are fetched into memory; no folder, file or
  // setting is written (a check of what an install would do).
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool aValue) { FReadOnly = aValue; }
  const std::string& TXTFile() const { return FTXTFile; }

  void InitProperty();
  // Fetches the folder's descriptor at aHost (unless its signal says aAppVer is current) and
  // loads it. Holds the file-list lock throughout.
  bool GetNetXML(const std::string& aHost, std::string& aAppVer, std::string& aErro);
  // -1 when aAppVer is current, 1 when the signal names a newer version (into aAppVer), else 0.
  int32_t CheckVerSignal(std::string& aAppVer, std::string& aErro);
  bool DownXMLFile(std::string& aErro);
  bool LoadXMLFile(std::string& aErro);
  // LoadXMLFile on the descriptor's bytes.
  bool LoadXMLText(std::string aBytes, std::string& aErro);
  // The version a descriptor file names (Header/Note AppNewVer); empty when it names none or
  // cannot be read.
  static std::string FileAppVer(const std::string& aFile);
  // Throws ov::update::EBadEntryPath for a target that reaches outside the module folder.
  bool LoadFileNode(const pugi::xml_node& aItem, std::string& aErro);
  void LoadImgNode(const pugi::xml_node& aItem, std::string& aErro);

  // The first direct child of that exact name; an empty node when there is none.
  static pugi::xml_node FindChildNode(const pugi::xml_node& aNode, const std::string& aName);
  static std::string GetNodeAttr(const pugi::xml_node& aNode, const std::string& aName,
                                 std::string& aErro);
  // The decimal digits of a version text as one number (1.0.0.2 gives 1002); 0 without digits.
  // Throws ov::Error when the digits do not fit 64 bits.
  static int64_t VerToNumber(const std::string& aVer);

 private:
  bool EnsureNetHTTP(std::string& aErro);
  void ApplyNoteAttr(const std::string& aName, const std::string& aValue);

  std::string FTXTUrl;
  std::string FTXTFile;
  std::string FXMLUrl;
  std::string FXMLFile;
  std::string FXMLName;
  std::string FTXTName;
  std::string FTargetDir;
  std::string FTempDir;
  std::unique_ptr<TNetHTTP> FNetHTTP;
  int32_t FReadTimeout = 10000;
  bool FIsExistsDataTransServer = false;
  bool FReadOnly = false;
  TOnFileDownload FOnChecking;
};
