// Whole installs: the ovinst program, copied into the test's program folder with its settings,
// against the stand-in services serving the sample products.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sstream>

#include "base/Alglibrary.h"
#include "base/OVLibUtil.h"
#include "common/RealProcess.h"
#include "common/ServiceTest.h"
#include "common/TestHost.h"
#include "e2e/OvInstHost.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

namespace stdfs = std::filesystem;
namespace pf = ov::platform;

namespace {

// Relative Windows target (".\js\a.js" as published) -> MD5.
using TManifest = std::map<std::string, std::string>;

class OvInstTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    ovtest::BeginInstalls();
    FBin = Host(std::string("C:\\OVTest\\") + stdfs::path(OV_INST_BIN).filename().string());
    stdfs::copy_file(OV_INST_BIN, FBin, stdfs::copy_options::overwrite_existing);
    FErrFile = Prefix() + "/../ovinst.err";
    FOutFile = Prefix() + "/../ovinst.out";
  }
  void TearDown() override {
    FRun.reset();
    ovtest::EndInstalls();
    TServiceTest::TearDown();
  }

  // Starts ovinst with the arguments, stdout to FOutFile and stderr to FErrFile.
  ovtest::TProgramRun& Start(std::vector<std::string> aArgs) {
    aArgs.insert(aArgs.begin(), FBin);
    FRun = std::make_unique<ovtest::TProgramRun>();
    EXPECT_TRUE(FRun->Start(aArgs, FOutFile, FErrFile)) << FBin;
    return *FRun;
  }
  // Runs ovinst to its end: its exit code, its stderr in aErr.
  int Run(std::vector<std::string> aArgs, std::string& aErr) {
    const int rc = Start(std::move(aArgs)).Wait(300000);
    aErr = ReadHost(FErrFile);
    return rc;
  }

  // The web module's files as its descriptor lists them.
  TManifest WebManifest(const std::string& aFolder = "ketrin_webapp") const {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file((RootDir() + "/updatefiles/" + aFolder + "/Updata.xml").c_str()));
    TManifest m;
    for (auto f : doc.child("OVXML").child("FileList").children("File")) {
      m[f.attribute("TargetFile").value()] = f.attribute("MD5").value();
    }
    return m;
  }
  // The files of a version as the catalogue lists them.
  TManifest VersionManifest(const std::string& aPosType) const {
    std::ifstream in(CatalogueFile());
    const auto cat = nlohmann::json::parse(in);
    TManifest m;
    for (const auto& v : cat.at("versions")) {
      if (v.at("pos_type") != aPosType) continue;
      const std::string id = std::to_string(v.at("up_file_id").get<int64_t>());
      for (const auto& f : cat.at("details").at(id).at("file_detail")) {
        m[f.at("file_addr")] = f.at("file_key");
      }
    }
    EXPECT_FALSE(m.empty()) << aPosType;
    return m;
  }
  // Every listed file below the Windows folder aDir (ending in "\") with its MD5; the
  // mismatches, one a line.
  static std::string Mismatches(const TManifest& aFiles, const std::string& aDir) {
    std::string out;
    for (const auto& [target, md5] : aFiles) {
      const std::string file = aDir + target.substr(2);  // drops ".\"
      const std::string got = HostExists(Host(file)) ? TovLib::GetFileMD5(file) : "missing";
      if (got != md5) out += file + ": " + got + " != " + md5 + "\n";
    }
    return out;
  }
  // Files left below a host folder whose names end in aSuffix.
  static std::vector<std::string> FilesEndingIn(const std::string& aHostDir,
                                                const std::string& aSuffix) {
    std::vector<std::string> out;
    if (!stdfs::exists(aHostDir)) return out;
    for (const auto& e : stdfs::recursive_directory_iterator(aHostDir)) {
      const std::string p = e.path().string();
      if (p.size() >= aSuffix.size() &&
          p.compare(p.size() - aSuffix.size(), aSuffix.size(), aSuffix) == 0) {
        out.push_back(p);
      }
    }
    return out;
  }
  static bool ServiceRunning(const std::string& aName) {
    pf::ServiceHandle h;
    pf::ServiceStatus st;
    return h.Open(aName) && h.QueryStatus(st) && st.CurrentState == pf::kServiceRunning;
  }
  static std::string Remembered(const std::string& aName) {
    std::string v;
    pf::SettingsStore::ReadString(pf::RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\OVOnlineSetup",
                                  aName, v);
    return v;
  }

  // Changes the file list of both web descriptors.
  void EditWebList(const std::function<void(pugi::xml_node aList)>& aEdit) const {
    for (const char* name : {"Updata.xml", "WebUpdata.xml"}) {
      const std::string file = RootDir() + "/updatefiles/ketrin_webapp/" + name;
      pugi::xml_document doc;
      ASSERT_TRUE(doc.load_file(file.c_str()));
      aEdit(doc.child("OVXML").child("FileList"));
      ASSERT_TRUE(doc.save_file(file.c_str()));
    }
  }
  // Adds a copy of the first file under another target; that file's MD5 in aMD5.
  void AddWebEntry(const std::string& aTarget, std::string& aMD5) const {
    EditWebList([&](pugi::xml_node aList) {
      pugi::xml_node entry = aList.append_copy(aList.first_child());
      entry.attribute("TargetFile").set_value(aTarget.c_str());
      aMD5 = entry.attribute("MD5").value();
    });
  }
  std::string FBin, FErrFile, FOutFile;
  std::unique_ptr<ovtest::TProgramRun> FRun;
};

}  // namespace

TEST_F(OvInstTest, InstallsTheKetrinSampleWholly) {
  PublishSample("C:\\Shop\\");
  // A log the new version drops before its files are copied.
  WriteHost(Host("C:\\Shop\\Caldis\\logs\\旧日志.log"), "old");
  std::string err;
  ASSERT_EQ(Run({"--modules", "web,pos", "--dir", "C:\\Shop", "--lang", "EN"}, err), 0) << err;

  EXPECT_EQ(Mismatches(WebManifest(), "C:\\Shop\\Web\\"), "");
  EXPECT_EQ(Mismatches(VersionManifest("61063"), "C:\\Shop\\Caldis\\"), "");
  EXPECT_FALSE(HostExists(Host("C:\\Shop\\Caldis\\logs\\旧日志.log")));
  EXPECT_EQ(FilesEndingIn(Host("C:\\Shop"), ".parts"), std::vector<std::string>{});

  const std::string ini = "C:\\Shop\\Web\\OVWebClient.ini";
  auto plain = [&](const char* aKey) {
    return TOvAlgLib::GetAESDecrypt(TovLib::IniRead("Main", aKey, "", ini), "QTRNUX");
  };
  EXPECT_EQ(plain("AppTitle"), "KetrinWeb");  // the English title, as the window writes it
  EXPECT_EQ(plain("AppLangType"), "2");
  EXPECT_EQ(plain("AppUpgrader"), FStore.BaseUrl() + "/updatefiles/ketrin_webapp/");
  EXPECT_NE(TovLib::IniRead("Main", "AppTitle", "", ini), "KetrinWeb");  // stored encrypted

  // One shortcut per module on the desktop, pointing at the installed programs.
  const std::string execs = ovtest::ShortcutTargets(InstallDesktop());
  ASSERT_EQ(std::count(execs.begin(), execs.end(), '\n'), 2) << execs;
  EXPECT_NE(execs.find(Host("C:\\Shop\\Web\\OVWebClient.exe")), std::string::npos) << execs;
  EXPECT_NE(execs.find(Host("C:\\Shop\\Caldis\\Caldis.exe")), std::string::npos) << execs;

  EXPECT_EQ(Remembered("KetrinPath"), "C:\\Shop");
  EXPECT_EQ(Remembered("KetrinWeb"), "1");
  EXPECT_EQ(Remembered("KetrinPos"), "1");
  // The version's after task installed the service from its new program and started it.
  EXPECT_TRUE(ovtest::PollUntil([] { return ServiceRunning("CaldisSvc"); }));
  std::vector<pf::RegisteredService> services;
  ASSERT_TRUE(pf::RegisteredServices(services));
  const auto svc = std::find_if(services.begin(), services.end(),
                                [](const auto& aService) { return aService.Name == "CaldisSvc"; });
  ASSERT_NE(svc, services.end());
  EXPECT_EQ(svc->ImagePath, "C:\\Shop\\Caldis\\CaldisSvc.exe");

  // The texts of the language asked for.
  const std::string en = ReadHost(FOutFile);
  EXPECT_NE(en.find("Downloading installation files"), std::string::npos) << en;
  EXPECT_NE(en.find("Install finished!"), std::string::npos) << en;
  EXPECT_EQ(en.find("程序已安装完成"), std::string::npos) << en;

  // A second run finds the service running, stops it for the copy and starts it again.
  ASSERT_EQ(Run({"--modules", "pos", "--dir", "C:\\Shop", "--lang", "CN"}, err), 0) << err;
  EXPECT_NE(ReadHost(FOutFile).find("程序已安装完成！"), std::string::npos) << ReadHost(FOutFile);
  EXPECT_TRUE(ovtest::PollUntil([] { return ServiceRunning("CaldisSvc"); }));
  EXPECT_EQ(Remembered("KetrinWeb"), "0");
}

TEST_F(OvInstTest, InstallsTheZelcvServiceProduct) {
  PublishSample("C:\\Shop\\", "C:\\Zel\\");
  std::string err;
  ASSERT_EQ(Run({"--product", "zelcv", "--dir", "C:\\Zel"}, err), 0) << err;
  EXPECT_EQ(Mismatches(VersionManifest("21062"), "C:\\Zel\\"), "");
  EXPECT_EQ(TovLib::IniRead("Main", "SoftDefVerFlag", "", "C:\\Zel\\OVZelService.ini"), "CV");
  EXPECT_TRUE(ovtest::PollUntil([] { return ServiceRunning("OVZelService"); }));
}

TEST_F(OvInstTest, EveryOtherProductOfTheTableInstalls) {
  PublishSample("C:\\Shop\\", "C:\\Zel\\", true);
  struct TCase {
    const char* Product;
    const char* Dir;
    const char* WebFolder;  // empty for a service product
    const char* PosType;
  };
  for (const TCase& c :
       {TCase{"pindor", "C:\\Pindor\\", "pindor_webapp", "61064"},
        TCase{"Daskor", "C:\\Daskor\\", "daskor_webapp", "61009"},
        TCase{"zelapp", "C:\\Zel\\", "", "21062"}, TCase{"zelntr", "C:\\Zel\\", "", "21062"},
        TCase{"brvapp", "C:\\Brv\\", "", "31067"}}) {
    SCOPED_TRACE(c.Product);
    std::string err;
    ASSERT_EQ(Run({"--product", c.Product, "--dir", c.Dir, "--modules", "web,pos"}, err), 0) << err;
    const std::string dir = c.Dir;
    if (*c.WebFolder) {
      EXPECT_EQ(Mismatches(WebManifest(c.WebFolder), dir + "Web\\"), "");
      EXPECT_EQ(Mismatches(VersionManifest(c.PosType), dir + "Caldis\\"), "");
    } else {
      EXPECT_EQ(Mismatches(VersionManifest(c.PosType), dir), "");
    }
  }
}

TEST_F(OvInstTest, TheEnterpriseProductInstallsWithItsCodeAndRefusesAWrongOne) {
  // The sample enterprise's parameters point the web module at a descriptor folder and the
  // front end at a version of the version server.
  PublishSample("C:\\Corp\\", "C:\\Zel\\", true);
  std::string err;
  const std::vector<std::string> args = {"--product", "corvela", "--corp-id", "1001",
                                         "--modules", "web,pos", "--dir",     "C:\\Corp"};
  std::vector<std::string> right = args, wrong = args;
  right.insert(right.end(), {"--install-code", "K7Q2"});
  wrong.insert(wrong.end(), {"--install-code", "WRONG"});
  ASSERT_EQ(Run(right, err), 0) << err;
  EXPECT_EQ(Mismatches(WebManifest(), "C:\\Corp\\Web\\"), "");
  EXPECT_EQ(Mismatches(VersionManifest("61063"), "C:\\Corp\\Caldis\\"), "");
  EXPECT_EQ(Remembered("CorvelaCorpId"), "1001");
  ASSERT_FALSE(FPlatform.RequestLog().empty());
  EXPECT_EQ(FPlatform.RequestLog().back().Outcome, "ok");

  EXPECT_EQ(Run(wrong, err), 1);
  EXPECT_NE(err.find("ovinst: invalid code"), std::string::npos) << err;
}

TEST_F(OvInstTest, JsonLinesForScripts) {
  PublishSample("C:\\Shop\\", "C:\\Zel\\");
  std::string err;
  ASSERT_EQ(Run({"--product", "zelcv", "--dir", "C:\\Zel", "--json"}, err), 0) << err;
  std::vector<nlohmann::json> lines;
  std::stringstream out(ReadHost(FOutFile));
  for (std::string line; std::getline(out, line);) {
    ASSERT_TRUE(nlohmann::json::accept(line)) << line;
    lines.push_back(nlohmann::json::parse(line));
  }
  ASSERT_GE(lines.size(), 4u);
  std::map<std::string, int> events;
  int64_t lastPos = -1, bytes = 0;
  for (const auto& l : lines) {
    ++events[l.at("event").get<std::string>()];
    if (l["event"] == "progress") {
      EXPECT_GT(l.at("pos").get<int64_t>(), lastPos) << l;
      EXPECT_EQ(l.at("max"), 50) << l;
      lastPos = l["pos"].get<int64_t>();
      bytes = l.at("bytes").get<int64_t>();
    }
  }
  EXPECT_GT(bytes, 400 * 1024);  // the service's files, the 400 KiB library among them
  EXPECT_GT(events["hint"], 0);
  EXPECT_GT(events["progress"], 0);
  EXPECT_EQ(events["module"], 2);  // its start and end
  EXPECT_EQ(events["result"], 1);
  const auto& last = lines.back();
  EXPECT_EQ(last.at("event"), "result");
  EXPECT_EQ(last.at("exit"), 0);
  EXPECT_EQ(last.at("message"), "Install finished!");

  EXPECT_EQ(Run({"--json", "--lang", "FR"}, err), 2);
  const auto bad = nlohmann::json::parse(ReadHost(FOutFile));
  EXPECT_EQ(bad.at("exit"), 2);
}

TEST_F(OvInstTest, CheckTellsWhatAnInstallWouldFetchAndChangesNothing) {
  PublishSample("C:\\Shop\\");
  // What the servers list: the web descriptor's files and the POS version's.
  pugi::xml_document xml;
  ASSERT_TRUE(xml.load_file((RootDir() + "/updatefiles/ketrin_webapp/Updata.xml").c_str()));
  int64_t webFiles = 0, webBytes = 0;
  for (auto f : xml.child("OVXML").child("FileList").children("File")) {
    ++webFiles;
    webBytes += f.attribute("FileSize").as_llong();
  }
  const std::string webVer = xml.child("OVXML").child("Header").child("Note").attribute("AppNewVer").value();
  std::ifstream in(CatalogueFile());
  const auto cat = nlohmann::json::parse(in);
  int64_t posFiles = 0, posBytes = 0;
  std::string posVer;
  for (const auto& v : cat.at("versions")) {
    if (v.at("pos_type") != "61063") continue;
    posVer = v.at("up_ver_no").get<std::string>();
    const std::string id = std::to_string(v.at("up_file_id").get<int64_t>());
    for (const auto& f : cat.at("details").at(id).at("file_detail")) {
      ++posFiles;
      posBytes += f.at("file_size").get<int64_t>();
    }
  }
  ASSERT_GT(webFiles, 0);
  ASSERT_GT(posFiles, 0);

  std::string err;
  ASSERT_EQ(Run({"--check", "--json", "--modules", "web,pos", "--dir", "C:\\Shop"}, err), 0)
      << err;
  const std::string text = ReadHost(FOutFile);
  ASSERT_TRUE(nlohmann::json::accept(text)) << text;  // one object, nothing else
  const auto out = nlohmann::json::parse(text);
  EXPECT_EQ(out.at("event"), "check");
  EXPECT_EQ(out.at("exit"), 0);
  const auto& mods = out.at("modules");
  ASSERT_EQ(mods.size(), 2u) << text;
  EXPECT_EQ(mods[0].at("name"), "Web");
  EXPECT_EQ(mods[0].at("files"), webFiles);
  EXPECT_EQ(mods[0].at("bytes"), webBytes);
  EXPECT_EQ(mods[0].at("new_version"), webVer.empty() ? nlohmann::json() : nlohmann::json(webVer));
  EXPECT_EQ(mods[1].at("name"), "Caldis");
  EXPECT_EQ(mods[1].at("files"), posFiles);
  EXPECT_EQ(mods[1].at("bytes"), posBytes);
  EXPECT_EQ(mods[1].at("new_version"), posVer);
  for (const auto& m : mods) {
    EXPECT_TRUE(m.at("ok").get<bool>()) << m;
    EXPECT_GT(m.at("path_free").get<int64_t>(), m.at("path_need").get<int64_t>()) << m;
  }
  // No module folder, download folder, package or descriptor copy, and nothing remembered.
  EXPECT_FALSE(HostExists(Host("C:\\Shop")));
  EXPECT_EQ(Remembered("KetrinPath"), "");
  EXPECT_EQ(Remembered("KetrinWeb"), "");

  // A module whose list cannot be had: the install could not proceed.
  FStore.AddFault({.Pattern = "*/Updata.xml", .ForceStatus = 404});
  EXPECT_EQ(Run({"--check", "--json", "--modules", "web,pos", "--dir", "C:\\Shop"}, err), 1);
  const auto bad = nlohmann::json::parse(ReadHost(FOutFile));
  EXPECT_EQ(bad.at("exit"), 1);
  ASSERT_EQ(bad.at("modules").size(), 2u);
  EXPECT_FALSE(bad["modules"][0].at("ok").get<bool>());
  EXPECT_NE(bad["modules"][0].at("message"), "");
  EXPECT_TRUE(bad["modules"][1].at("ok").get<bool>());  // the others are still told
  EXPECT_FALSE(HostExists(Host("C:\\Shop")));
}

TEST_F(OvInstTest, AKilledRunIsCompletedByTheNextOne) {
  PublishSample("C:\\Shop\\");
  // Slow enough that the kill lands inside the download of the web module's largest file.
  FStore.AddFault({.Pattern = "/updatefiles/ketrin_webapp/bin/OVBrowser.dll*",
                   .BandwidthBytesPerSec = 150 * 1024});
  ovtest::TProgramRun& run = Start({"--modules", "web,pos", "--dir", "C:\\Shop"});
  const std::string shop = Host("C:\\Shop");
  ASSERT_TRUE(ovtest::PollUntil([&] {
    for (const auto& p : FilesEndingIn(shop, ".parts")) {
      std::error_code ec;
      if (p.find("OVBrowser.dll") != std::string::npos && stdfs::file_size(p, ec) > 64 * 1024 &&
          !ec) {
        return true;
      }
    }
    return false;
  }));
  ASSERT_TRUE(run.Kill());
  ASSERT_EQ(run.Wait(10000), -1);
  ASSERT_FALSE(FilesEndingIn(shop, ".parts").empty());

  FStore.ClearFaults();
  FStore.ClearLog();
  std::string err;
  ASSERT_EQ(Run({"--modules", "web,pos", "--dir", "C:\\Shop"}, err), 0) << err;
  EXPECT_EQ(FilesEndingIn(shop, ".parts"), std::vector<std::string>{});
  EXPECT_EQ(FilesEndingIn(shop, ".parts.info"), std::vector<std::string>{});
  EXPECT_EQ(Mismatches(WebManifest(), "C:\\Shop\\Web\\"), "");
  EXPECT_EQ(Mismatches(VersionManifest("61063"), "C:\\Shop\\Caldis\\"), "");
  // The rerun resumed the cut download instead of fetching it from the start.
  bool resumed = false;
  for (const auto& e : FStore.RequestLog()) {
    if (e.Path.find("OVBrowser.dll") != std::string::npos && e.Range.rfind("bytes=", 0) == 0 &&
        e.Range != "bytes=0-") {
      resumed = true;
    }
  }
  EXPECT_TRUE(resumed);
}

TEST_F(OvInstTest, DroppedConnectionsEndInACorrectInstallOrAClearFailure) {
  PublishSample("C:\\Shop\\");
  int installed = 0;
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::string err;
    ASSERT_TRUE(FStore.LoadFaults(
        R"({"seed":)" + std::to_string(seed) + R"(,"faults":[{"chance":25,"cut_at_random":true}]})",
        err))
        << err;
    const std::string dir = "C:\\Drop" + std::to_string(seed) + "\\";
    const int rc = Run({"--modules", "web,pos", "--dir", dir}, err);
    ASSERT_TRUE(rc == 0 || rc == 1) << rc;
    std::printf("seed %u: exit %d %s", seed, rc, rc == 0 ? "\n" : err.c_str());
    const std::string web = Mismatches(WebManifest(), dir + "Web\\");
    const std::string pos = Mismatches(VersionManifest("61063"), dir + "Caldis\\");
    if (rc == 0) {
      ++installed;
      EXPECT_EQ(web, "");
      EXPECT_EQ(pos, "");
    } else {
      EXPECT_EQ(err.rfind("ovinst: ", 0), 0u) << err;
      EXPECT_GT(err.size(), std::string("ovinst: \n").size()) << err;
      // Whatever was put in place is the published file; nothing half-written.
      for (const std::string* list : {&web, &pos}) {
        std::stringstream lines(*list);
        for (std::string line; std::getline(lines, line);) {
          EXPECT_NE(line.find(": missing !="), std::string::npos) << line;
        }
      }
    }
  }
  // The retries of the download client carry most runs through.
  EXPECT_GE(installed, 1);
}

TEST_F(OvInstTest, BadArgumentsAndFailuresHaveTheirExitCodes) {
  PublishSample("C:\\Shop\\");
  std::string err;
  EXPECT_EQ(Run({"--product", "nosuch"}, err), 2);
  EXPECT_NE(err.find("usage: ovinst"), std::string::npos);
  EXPECT_EQ(Run({"--lang", "FR"}, err), 2);
  EXPECT_EQ(Run({"--product", "corvela"}, err), 2);
  EXPECT_EQ(Run({"--jobs", "0"}, err), 2);
  EXPECT_NE(err.find("--jobs must be a number from 1 to 16"), std::string::npos) << err;
  FStore.AddFault({.Pattern = "/updatefiles/ketrin_webapp/Updata.xml", .ForceStatus = 404});
  EXPECT_EQ(Run({"--modules", "web", "--dir", "C:\\Soft"}, err), 1);
  EXPECT_NE(err.find("ovinst: 请求服务器失败 404: Not Found"), std::string::npos) << err;
  // A file that cannot be written: what the system said follows its own text.
  FStore.ClearFaults();
  stdfs::create_directories(Host("C:\\Soft\\Web\\updt_temp\\index.html.parts"));
  EXPECT_EQ(Run({"--modules", "web", "--dir", "C:\\Soft", "--lang", "CN"}, err), 1);
  EXPECT_EQ(err.rfind("ovinst: 下载失败", 0), 0u) << err;
  EXPECT_NE(err.find(".\\index.html ("), std::string::npos) << err;
  EXPECT_NE(err.find(ovtest::FolderInTheWayText()), std::string::npos) << err;
}

TEST_F(OvInstTest, AnErrorPageNeverBecomesPartOfAFile) {
  PublishSample("C:\\Shop\\");
  // A file listed without an MD5: nothing after the download would catch a 503 page in it.
  EditWebList([](pugi::xml_node aList) {
    aList.find_child_by_attribute("TargetFile", ".\\说明.txt").attribute("MD5").set_value("");
  });
  FStore.AddFault({.Pattern = "/updatefiles/ketrin_webapp/说明.txt",
                   .ForceStatus = 503,
                   .Times = 1,
                   .Method = "GET"});
  std::string err;
  ASSERT_EQ(Run({"--modules", "web", "--dir", "C:\\Shop"}, err), 0) << err;
  EXPECT_EQ(ReadHost(Host("C:\\Shop\\Web\\说明.txt")),
            ReadHost(RootDir() + "/updatefiles/ketrin_webapp/说明.txt"));
}

TEST_F(OvInstTest, FullPathTargetsStayAndEntriesLeavingTheFolderAreRefused) {
  PublishSample("C:\\Shop\\");
  const TManifest web = WebManifest();
  std::string md5;
  AddWebEntry("C:\\Extra\\tool.dll", md5);
  // An old copy, older than the published one, so the freshness test replaces it.
  WriteHost(Host("C:\\Extra\\tool.dll"), "the old one");
  stdfs::last_write_time(
      Host("C:\\Extra\\tool.dll"),
      stdfs::last_write_time(Host("C:\\Extra\\tool.dll")) - std::chrono::hours(24 * 365 * 5));
  std::string err;
  ASSERT_EQ(Run({"--modules", "web", "--dir", "C:\\Shop"}, err), 0) << err;
  ASSERT_TRUE(HostExists(Host("C:\\Extra\\tool.dll")));
  EXPECT_EQ(TovLib::GetFileMD5("C:\\Extra\\tool.dll"), md5);
  EXPECT_EQ(Mismatches(web, "C:\\Shop\\Web\\"), "");

  PublishSample("C:\\Shop\\");
  AddWebEntry("..\\..\\Outside\\evil.dll", md5);
  EXPECT_EQ(Run({"--modules", "web", "--dir", "C:\\Shop2"}, err), 1);
  EXPECT_NE(err.find("..\\..\\Outside\\evil.dll"), std::string::npos) << err;
  EXPECT_FALSE(HostExists(Host("C:\\Outside")));
  EXPECT_FALSE(HostExists(Host("C:\\Shop2\\Web\\OVWebClient.ini")));
}

TEST_F(OvInstTest, CtrlCDuringADownloadEndsTheRunAtOnce) {
  PublishSample("C:\\Shop\\");
  FStore.AddFault({.Pattern = "/updatefiles/ketrin_webapp/bin/OVBrowser.dll*",
                   .BandwidthBytesPerSec = 16 * 1024});
  ovtest::TProgramRun& run = Start({"--modules", "web,pos", "--dir", "C:\\Shop"});
  const std::string shop = Host("C:\\Shop");
  ASSERT_TRUE(ovtest::PollUntil([&] {
    for (const auto& p : FilesEndingIn(shop, ".parts")) {
      if (p.find("OVBrowser.dll") != std::string::npos) return true;
    }
    return false;
  }));
  ASSERT_TRUE(run.Interrupt());
  // The download in flight is stopped; at this speed the rest of the file takes half a minute.
  EXPECT_EQ(run.Wait(8000), 1);
  EXPECT_NE(ReadHost(FErrFile).find("ovinst: Terminate installation"), std::string::npos)
      << ReadHost(FErrFile);
  EXPECT_FALSE(HostExists(Host("C:\\Shop\\Web\\OVWebClient.ini")));
}
