#pragma once

#include <string>

#include "FileStore.h"
#include "Platform.h"
#include "VersionServer.h"
#include "common/TestPrefix.h"

// A prefix test with the update state, a logger, a queue main thread, and the stand-in file
// store, version server and enterprise platform (HTTPS, checking the installer's built-in key
// and credential), named in the program's "OVUpdata.ini" as the installer's services.
class TServiceTest : public TPrefixTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file below the served folder; returns its URL.
  std::string Serve(const std::string& aPath, const std::string& aData);
  // Rewrites "OVUpdata.ini": the services plus the extra lines (appended to [Options]).
  void WriteSettings(const std::string& aOptions = "", const std::string& aServices = "");
  // Publishes aSource/web as the ketrin web module's update folder and aSource/pos as version
  // 1.0.5 (file id 55) of its POS module, which the version server then answers.
  void PublishKetrin(const std::string& aSource, bool aZip = false);
  // Publishes the sample products (ovsample's trees) for installs into the given folders;
  // with aAllProducts for every row of the product table but the enterprise one.
  void PublishSample(const std::string& aKetrinDir,
                     const std::string& aZelcvDir = "C:\\Ondrevo\\Zelcv\\",
                     bool aAllProducts = false);
  // The catalogue file the version server answers from.
  std::string CatalogueFile() const { return FRoot + "/../catalogue.json"; }
  // The day's log so far.
  std::string LogText() const;
  // The desktop the installs put their shortcuts on: all users' where the system names one,
  // else the user's.
  static std::string InstallDesktop();
  std::string RootDir() const { return FRoot; }

  static constexpr const char* kPrefixPiece = "ABCD";
  static constexpr const char* kSuffixPiece = "9876";

  ov::standin::TFileStore FStore;
  ov::standin::TVersionServer FVersion;
  ov::standin::TPlatform FPlatform;

 private:
  std::string FRoot;
};
