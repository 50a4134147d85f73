#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "Publish.h"
#include "base/Alglibrary.h"
#include "base/OVLibUtil.h"
#include "common/ServiceTest.h"
#include "common/TestHost.h"
#include "install/SoftKetrinHelperUtil.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "platform/ShellLinks.h"
#include "update/UpdateObjUtil.h"

namespace stdfs = std::filesystem;

namespace {

// Every file below a host folder with its content, the download folder left out.
std::map<std::string, std::string> Tree(const std::string& aHostDir) {
  std::map<std::string, std::string> t;
  const stdfs::path root = ovtest::FsPath(aHostDir);
  for (const auto& e : stdfs::recursive_directory_iterator(root)) {
    const std::string rel = stdfs::relative(e.path(), root).generic_string();
    if (rel.rfind("updt_temp", 0) == 0) continue;
    std::ifstream in(e.path(), std::ios::binary);
    t[rel] = e.is_directory() ? "<dir>" : std::string(std::istreambuf_iterator<char>(in), {});
  }
  return t;
}

class PipelineTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    FSource = stdfs::path(Prefix()).parent_path().string() + "/source";
    stdfs::create_directories(FSource);
    FHelper = std::make_unique<TSoftKetrinHelper>();
    FHelper->SetRetryPauseMs(1);
    FHelper->ProgressMax().SetV(50);
    FHelper->SetOnAppInstProgress([this](int32_t aPos, int32_t) { FProgress.push_back(aPos); });
    TovLib::IniOptWrite("IsDebug", "0");
    TovLib::SetDebugFlag(-1);
  }
  void TearDown() override {
    FHelper.reset();
    TServiceTest::TearDown();
  }
  // The path in UTF-8: a narrow std::filesystem path is read in the ANSI code page on Windows.
  void Source(const std::string& aPath, const std::string& aData) {
    const stdfs::path file = ovtest::FsPath(FSource + "/" + aPath);
    stdfs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << aData;
  }
  // Publishes the source as the web module's update folder; returns its address.
  std::string PublishWeb(bool aZip = false) {
    ov::standin::TFolderPublish job;
    job.Source = FSource;
    job.StoreRoot = RootDir();
    job.Folder = "updatefiles/ketrin_webapp";
    job.ModuleCode = "Web";
    job.Zip = aZip;
    if (aZip) job.Note = {{"FileCheckZip", "1"}};
    std::string err;
    EXPECT_TRUE(ov::standin::PublishFolder(job, err)) << err;
    return FStore.BaseUrl() + "/updatefiles/ketrin_webapp/";
  }
  // Serves a descriptor of its own in /own/ (items of its FileList, then further elements);
  // returns the folder's address.
  std::string ServeDescriptor(const std::string& aItems, const std::string& aMore = "") {
    Serve("/own/Updata.xml", "<OVXML><FileList>" + aItems + "</FileList>" + aMore + "</OVXML>");
    return FStore.BaseUrl() + "/own/";
  }
  int32_t Install(const std::string& aUrl, std::string& aResult) {
    return FHelper->DoAppInst("Web", "Web", "C:\\Soft\\Web\\", "C:\\Soft\\Web\\updt_temp\\", aUrl,
                              aResult);
  }
  // f101.bin to f110.bin, each aText and its number, written aHoursLater than now: the
  // descriptor lists only files newer than the installed ones.
  void TenFiles(const std::string& aText, int aHoursLater) {
    for (int i = 1; i <= 10; ++i) {
      const std::string name = "f" + std::to_string(100 + i) + ".bin";
      Source(name, aText + std::to_string(i));
      stdfs::last_write_time(ovtest::FsPath(FSource + "/" + name),
                             stdfs::file_time_type::clock::now() + std::chrono::hours(aHoursLater));
    }
  }
  // Installs ten files of an old version, then publishes a new one with aAdded besides: its
  // address, and in aOld the module folder as the old version left it.
  std::string OldInstalledNewPublished(const std::string& aAdded,
                                       std::map<std::string, std::string>& aOld) {
    TenFiles("old ", 0);
    std::string result;
    EXPECT_EQ(Install(PublishWeb(), result), 1) << result;
    aOld = Tree(Host("C:\\Soft\\Web\\"));
    TenFiles("new version ", 1);
    Source(aAdded, "added");
    return PublishWeb();
  }
  int Requests(const std::string& aSuffix) {
    int n = 0;
    for (const auto& e : FStore.RequestLog()) {
      n += e.Path.size() >= aSuffix.size() &&
           e.Path.compare(e.Path.size() - aSuffix.size(), aSuffix.size(), aSuffix) == 0;
    }
    return n;
  }

  std::string FSource;
  std::unique_ptr<TSoftKetrinHelper> FHelper;
  std::vector<int32_t> FProgress;
};

}  // namespace

TEST_F(PipelineTest, InstallsADescriptorModuleWithZipVariants) {
  Source("a.dll", std::string(5000, 'a'));
  Source("sub/数据.txt", "中文");
  Source("b.7z", std::string(100, 'z'));
  std::string result;
  ASSERT_EQ(Install(PublishWeb(true), result), 1) << result;
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\a.dll")), std::string(5000, 'a'));
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\sub\\数据.txt")), "中文");
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\b.7z")), std::string(100, 'z'));
  EXPECT_EQ(Requests("/a.dll.zip") > 0, true);                        // fetched as its zip variant
  EXPECT_EQ(Requests("/b.7z.zip"), 0);                                // never tried as an archive
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\a.dll")));  // copies removed
  EXPECT_EQ(FHelper->ProgressPos().v(), 48);
  EXPECT_EQ(FProgress.back(), 48);
}

TEST_F(PipelineTest, InstallsAVersionServerModule) {
  Source("Caldis.exe", "caldis");
  Source("lib/x.dll", "x");
  const std::string cat = stdfs::path(Prefix()).parent_path().string() + "/catalogue.json";
  ov::standin::TVersionPublish job;
  job.Source = FSource;
  job.StoreRoot = RootDir();
  job.Folder = "versions/61063/1.0.5";
  job.Catalogue = cat;
  job.ItemId = "80001888";
  job.PosType = "61063";
  job.VerNo = "1.0.5";
  job.VerFileId = 77;
  std::string err;
  ASSERT_TRUE(ov::standin::PublishVersion(job, err)) << err;
  ov::standin::TCatalogue c;
  ASSERT_TRUE(c.Load(cat, err)) << err;
  FVersion.SetCatalogue(c);
  std::string result;
  ASSERT_EQ(
      FHelper->DoAppInst("Caldis", "Caldis", "C:\\Soft\\Caldis\\", "C:\\Soft\\Caldis\\updt_temp\\",
                         "OVUPDATA://VFID=77&APP_NVER=2", result),
      1)
      << result;
  EXPECT_EQ(SyncObj().UMPVerFId().v(), "77");
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Caldis\\lib\\x.dll")), "x");
  EXPECT_TRUE(HostExists(Host("C:\\Soft\\Caldis\\CaldisUpdata.json")));
}

TEST_F(PipelineTest, ReusesAValidDownloadCopy) {
  Source("big.bin", std::string(4096, 'b'));
  const std::string url = PublishWeb();
  WriteHost(Host("C:\\Soft\\Web\\updt_temp\\big.bin"), std::string(4096, 'b'));
  std::string result;
  ASSERT_EQ(Install(url, result), 1) << result;
  EXPECT_EQ(Requests("/big.bin"), 0);
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\big.bin")), std::string(4096, 'b'));
}

TEST_F(PipelineTest, ACopyWhoseMd5CannotBeComputedIsNotReused) {
  Source("big.bin", std::string(4096, 'b'));
  const std::string url = PublishWeb();
  const std::string copy = Host("C:\\Soft\\Web\\updt_temp\\big.bin");
  WriteHost(copy, std::string(4096, 'x'));  // the right size, not the right file
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Open, copy);
  std::string result;
  EXPECT_EQ(Install(url, result), -1);
  EXPECT_GT(Requests("/big.bin"), 0);
  EXPECT_EQ(result, "效验失败：.\\big.bin");  // what stays unreadable cannot be verified
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\big.bin")));
  ov::platform::fs::ClearFaults();
}

TEST_F(PipelineTest, TargetsWithADriveAreInstalledWhereTheySay) {
  AddDrive('d');
  Serve("/own/c.dll", "from-c");
  Serve("/own/d.dll", "from-d");
  WriteHost(Host("C:\\Ext\\a.dll"), "old");
  const std::string url =
      ServeDescriptor(R"(<f TargetFile="C:\Ext\a.dll" FileName="a.dll" SourceFile="c.dll"/>)"
                      R"(<f TargetFile="D:\Ext\a.dll" FileName="a.dll" SourceFile="d.dll"/>)");
  std::string result;
  ASSERT_EQ(Install(url, result), 1) << result;
  EXPECT_EQ(ReadHost(Host("C:\\Ext\\a.dll")), "from-c");
  EXPECT_EQ(ReadHost(Host("D:\\Ext\\a.dll")), "from-d");
}

TEST_F(PipelineTest, EntriesReachingOutsideTheModuleFailItAndTouchNothingThere) {
  Serve("/own/x.dll", "x");
  WriteHost(Host("C:\\Soft\\keep.txt"), "keep");
  struct TCase {
    std::string Items, More, Entry;
  };
  const TCase cases[] = {
      {R"(<f TargetFile=".\../outside.dll" FileName="outside.dll" SourceFile="x.dll"/>)", "",
       ".\\../outside.dll"},
      {"", R"(<OnBeforeUpdaaDelete><i FileName=".\../keep.txt"/></OnBeforeUpdaaDelete>)",
       ".\\../keep.txt"},
      // The ".\" replacement would leave a path below the working folder.
      {R"(<f TargetFile="sub\..\x.dll" FileName="x.dll" SourceFile="x.dll"/>)", "",
       "sub\\..\\x.dll"},
  };
  for (const auto& c : cases) {
    std::string result;
    EXPECT_EQ(Install(ServeDescriptor(c.Items, c.More), result), -1) << c.Entry;
    EXPECT_EQ(result, "文件路径无效：" + c.Entry);
  }
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\outside.dll")));
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\keep.txt")), "keep");
}

TEST_F(PipelineTest, AFailedDownloadNamesItsReasonBesideTheSystemsText) {
  Source("d.bin", "data");
  const std::string url = PublishWeb();
  FStore.AddFault({.Pattern = "*/d.bin", .ForceStatus = 503});
  std::string result;
  EXPECT_EQ(Install(url, result), -1);
  EXPECT_EQ(result, "下载失败：.\\d.bin");
  EXPECT_NE(FHelper->FailReason().v().find("503"), std::string::npos) << FHelper->FailReason().v();
}

TEST_F(PipelineTest, ACorruptServerFileFailsAfterOneFreshDownload) {
  Source("c.bin", std::string(3000, 'c'));
  const std::string url = PublishWeb();
  FStore.AddFault({.Pattern = "*/c.bin", .CorruptAt = 10});
  std::string result;
  EXPECT_EQ(Install(url, result), -1);
  EXPECT_EQ(result, "效验失败：.\\c.bin");
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\c.bin")));
  EXPECT_FALSE(SyncObj().UpdateSucessed());
}

TEST_F(PipelineTest, QuittingDuringDownloadsCopiesNothing) {
  Source("1.bin", "one");
  Source("2.bin", "two");
  const std::string url = PublishWeb();
  FHelper->SetOnAppInstProgress([](int32_t aPos, int32_t) {
    if (aPos > 2) SyncObj().SetIsAppExit(true);  // after the first file
  });
  std::string result;
  EXPECT_EQ(Install(url, result), 0);
  EXPECT_EQ(result, "终止安装");
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\1.bin")));
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\2.bin")));
}

// Downloads ahead: the walk reports every file in list order while later ones are fetched.
TEST_F(PipelineTest, ASlowFileDoesNotHoldBackTheFilesBehindIt) {
  TenFiles("ahead ", 0);
  const std::string url = PublishWeb();
  FStore.AddFault({.Pattern = "*/f101.bin", .LatencyMs = 1500, .Method = "GET"});
  FHelper->SetDownloadJobs(4);
  std::vector<std::string> fetched;
  FHelper->SetOnAppInstHint([&](const std::string&, const std::string& aSub) {
    if (aSub.rfind("下载：", 0) == 0 && (fetched.empty() || fetched.back() != aSub)) {
      fetched.push_back(aSub);
    }
  });
  std::string result;
  ASSERT_EQ(Install(url, result), 1) << result;
  ASSERT_EQ(fetched.size(), 10u);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(fetched[i - 1], "下载：.\\f" + std::to_string(100 + i) + ".bin");
    EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\f" + std::to_string(100 + i) + ".bin")),
              "ahead " + std::to_string(i));
  }
  // The store logs an answer when it is sent: the slow one went out after others.
  std::vector<std::string> gets;
  for (const auto& e : FStore.RequestLog()) {
    if (e.Method == "GET" && e.Path.find("/f1") != std::string::npos) gets.push_back(e.Path);
  }
  ASSERT_EQ(gets.size(), 10u);
  EXPECT_EQ(gets.front().find("f101.bin"), std::string::npos) << gets.front();
  EXPECT_EQ(FProgress.back(), 48);
}

TEST_F(PipelineTest, AFailureAheadIsReportedWhenTheWalkReachesIt) {
  TenFiles("ahead ", 0);
  const std::string url = PublishWeb();
  FStore.AddFault({.Pattern = "*/f101.bin", .LatencyMs = 500, .Method = "GET"});
  FStore.AddFault({.Pattern = "*/f104.bin", .ForceStatus = 404});
  FHelper->SetDownloadJobs(4);
  std::string result;
  EXPECT_EQ(Install(url, result), -1);
  EXPECT_EQ(result, "下载失败：.\\f104.bin");
  // Stages 1 and 2, then three files before the failed one.
  ASSERT_GE(FProgress.size(), 5u);
  EXPECT_EQ(FProgress.back(), 2 + 3 * 38 / 10);
  EXPECT_FALSE(SyncObj().UpdateSucessed());
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\f101.bin")));
}

TEST_F(PipelineTest, QuittingCancelsTheDownloadsAhead) {
  Source("1.bin", "one");
  for (int i = 2; i <= 4; ++i) Source(std::to_string(i) + ".bin", std::string(2 << 20, 'x'));
  const std::string url = PublishWeb();
  FStore.AddFault({.Pattern = "*.bin", .BandwidthBytesPerSec = 256 << 10, .Method = "GET"});
  FHelper->SetDownloadJobs(4);
  FHelper->SetOnAppInstProgress([](int32_t aPos, int32_t) {
    if (aPos > 2) SyncObj().SetIsAppExit(true);  // after the first file
  });
  std::string result;
  EXPECT_EQ(Install(url, result), 0);
  EXPECT_EQ(result, "终止安装");
  // Each large file would take eight seconds: none was finished.
  for (int i = 2; i <= 4; ++i) {
    EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\" + std::to_string(i) + ".bin")));
  }
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\1.bin")));
}

TEST_F(PipelineTest, DownloadJobsComeFromTheSettingsUnlessSet) {
  EXPECT_EQ(FHelper->DownloadJobs(), 1);
  TovLib::IniOptWrite("DownloadAhead", "3");
  EXPECT_EQ(FHelper->DownloadJobs(), 3);
  TovLib::IniOptWrite("DownloadAhead", "many");
  EXPECT_EQ(FHelper->DownloadJobs(), 1);
  TovLib::IniOptWrite("DownloadAhead", "500");
  EXPECT_EQ(FHelper->DownloadJobs(), TSoftSaasHelper::kMaxDownloadJobs);
  FHelper->SetDownloadJobs(2);
  EXPECT_EQ(FHelper->DownloadJobs(), 2);
}

TEST_F(PipelineTest, EmptyListAdvancesTheWholeModule) {
  const std::string url = PublishWeb();
  std::string result;
  ASSERT_EQ(Install(url, result), 1) << result;
  EXPECT_EQ(FHelper->ProgressPos().v(), 48);
}

TEST_F(PipelineTest, ProgressSpreadsOverTheEntriesRoundingHalvesToEven) {
  for (int i = 0; i < 76; ++i) Source("f" + std::to_string(100 + i) + ".txt", std::to_string(i));
  const std::string url = PublishWeb();
  std::string result;
  ASSERT_EQ(Install(url, result), 1) << result;
  // 1 and 2 from the two stage steps, then the download phase from base 2.
  ASSERT_GE(FProgress.size(), 2u + 76u);
  EXPECT_EQ(FProgress[2], 2 + 0);  // 0.5 rounds to 0
  EXPECT_EQ(FProgress[3], 2 + 1);
  EXPECT_EQ(FProgress[2 + 37], 2 + 19);
  EXPECT_EQ(FProgress[2 + 75], 2 + 38);
  EXPECT_EQ(FProgress.back(), 48);
}

TEST_F(PipelineTest, DebugModeKeepsTheDownloadCopies) {
  Source("k.txt", "keep");
  const std::string url = PublishWeb();
  TovLib::IniOptWrite("IsDebug", "1");
  TovLib::SetDebugFlag(-1);
  std::string result;
  ASSERT_EQ(Install(url, result), 1) << result;
  EXPECT_TRUE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\k.txt")));
  // The kept copy is a file of its own: changing it leaves the installed one alone.
  WriteHost(Host("C:\\Soft\\Web\\updt_temp\\k.txt"), "changed");
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\k.txt")), "keep");
}

TEST_F(PipelineTest, AFailedCopyPutsThePreviousVersionBack) {
  std::map<std::string, std::string> old;
  const std::string url = OldInstalledNewPublished("sub/deep/added.bin", old);
  const std::string module = Host("C:\\Soft\\Web\\");
  std::string result;
  // The third copy fails twice; the two before it had replaced old files.
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Copy, Host("C:\\Soft\\Web\\f103.bin"));
  ASSERT_EQ(Install(url, result), -1);
  EXPECT_EQ(result, "更新失败：.\\f103.bin");
  EXPECT_FALSE(SyncObj().UpdateSucessed());
  EXPECT_EQ(Tree(module), old);
  // The download copies stay for the next run; nothing of the put-back is left.
  EXPECT_TRUE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\f101.bin")));
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\InstKeep.lst")));
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\InstKeep")));

  ov::platform::fs::ClearFaults();
  ASSERT_EQ(Install(url, result), 1) << result;
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\f103.bin")), "new version 3");
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\sub\\deep\\added.bin")), "added");
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\f101.bin")));
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\InstKeep")));
}

TEST_F(PipelineTest, ACopyStageCutShortIsPutBackByTheNextRun) {
  std::map<std::string, std::string> old;
  const std::string url = OldInstalledNewPublished("sub/added.bin", old);
  const std::string module = Host("C:\\Soft\\Web\\");
  std::string result;

  // What a kill would leave: the disk as it is when the sixth copy starts.
  // Without its trailing separator: MinGW's std::filesystem copies no folder named so.
  const stdfs::path at = ovtest::FsPath(Host("C:\\Soft\\Web")), kill = at.parent_path() / "killed";
  FHelper->SetOnAppInstHint([&](const std::string&, const std::string& aSub) {
    if (aSub.find("f106.bin") != std::string::npos && aSub.find("安装") == 0) {
      stdfs::copy(at, kill, stdfs::copy_options::recursive);
    }
  });
  ASSERT_EQ(Install(url, result), 1) << result;
  FHelper->SetOnAppInstHint(nullptr);
  ASSERT_TRUE(stdfs::exists(kill));
  stdfs::remove_all(at);
  stdfs::rename(kill, at);
  ASSERT_NE(Tree(module), old);  // half new

  // The next run puts the previous version back before anything else, even when it then fails.
  ASSERT_EQ(Install(FStore.BaseUrl() + "/gone/", result), -1);
  EXPECT_EQ(Tree(module), old);
  ASSERT_EQ(Install(url, result), 1) << result;
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\f" + std::to_string(100 + i) + ".bin")),
              "new version " + std::to_string(i));
  }
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\sub\\added.bin")), "added");
}

TEST_F(PipelineTest, AddressProblems) {
  std::string result;
  EXPECT_EQ(Install("", result), -1);
  EXPECT_EQ(result, "Web服务地址无效");
  EXPECT_EQ(Install("ovupdata://app_nver=2", result), -1);  // no vfid: an empty id is asked
  EXPECT_EQ(SyncObj().UMPVerFId().v(), "");
  EXPECT_EQ(result, "版本文件不存在[1002]");
}

TEST_F(PipelineTest, WebModuleSetupWritesSettingsAndShortcuts) {
  Source("OVWebClient.exe", "exe");
  Source("KTWebApp.ico", "ico");
  CreateSoftVar();
  SoftVar().path().SetV("D:\\soft");
  AddDrive('d');
  FHelper->WebUpdateUrl().SetV(PublishWeb());
  std::string result;
  ASSERT_EQ(FHelper->WebAppInst(result), 1) << result;
  ov::platform::JoinWorkers(20000);
  const std::string ini = "D:\\soft\\Web\\OVWebClient.ini";
  auto plain = [&](const char* aKey) {
    return TOvAlgLib::GetAESDecrypt(TovLib::IniRead("Main", aKey, "", ini), "QTRNUX");
  };
  EXPECT_EQ(plain("AppTitle"), "Ketrin-saas");
  EXPECT_EQ(plain("AppUpgrader"), FHelper->WebUpdateUrl().v());
  EXPECT_EQ(plain("AppLangType"), "2");
  std::string host;
  FHelper->GetWebHost(host);
  EXPECT_EQ(plain("AppHost"), host);
  const std::string desktop = InstallDesktop();
  ASSERT_FALSE(desktop.empty());
  const std::string shortcut = desktop + "\\Ketrin-saas.lnk";
  EXPECT_NE(ovtest::ShortcutTargets(desktop).find(Host("D:\\soft\\Web\\OVWebClient.exe")),
            std::string::npos)
      << ovtest::ShortcutTargets(desktop);
  // The shared desktop outlives the test's own folders.
  std::error_code ec;
  stdfs::remove(ovtest::FsPath(Host(ov::platform::ShortcutFileOf(shortcut))), ec);
  FreeSoftVar();
}

TEST_F(PipelineTest, TheSpaceNeedCountsOnlyWhatTheRunWrites) {
  const std::string tmp = "C:\\Soft\\Web\\updt_temp\\";
  auto entry = [](const std::string& aTarget, int64_t aSize) {
    TFileInfo f;
    f.TargetFile = aTarget;
    f.FileSize = aSize;
    return f;
  };
  const std::vector<TFileInfo> files = {entry(".\\have.bin", 100), entry(".\\short.bin", 200),
                                        entry(".\\new.bin", 300), entry(".\\nosize.bin", 0)};
  WriteHost(Host(tmp + "have.bin"), std::string(100, 'h'));  // downloaded before: not again
  WriteHost(Host(tmp + "short.bin"), std::string(50, 's'));  // cut short: fetched again
  WriteHost(Host(tmp + "nosize.bin"), "x");                  // no size to compare with
  WriteHost(Host("C:\\Soft\\Web\\new.bin"), std::string(40, 'o'));  // replaced, kept meanwhile
  const int64_t m = kInstallSpaceMargin;

  // One volume, linked into place: only the downloads.
  TInstallSpace s = InstallSpaceNeed(files, "C:\\Soft\\Web\\", tmp, true, false);
  EXPECT_EQ(s.FetchCount, 3);
  EXPECT_EQ(s.FetchBytes, 500);
  EXPECT_EQ(s.TmpNeed, 500 + m);
  EXPECT_EQ(s.PathNeed, 0);
  // One volume in debug mode: every file is also copied.
  s = InstallSpaceNeed(files, "C:\\Soft\\Web\\", tmp, true, true);
  EXPECT_EQ(s.TmpNeed, 500 + 600 + m);
  // Two volumes: the copies on the install volume, the kept old files on the download one.
  s = InstallSpaceNeed(files, "C:\\Soft\\Web\\", tmp, false, true);
  EXPECT_EQ(s.TmpNeed, 500 + 40 + m);
  EXPECT_EQ(s.PathNeed, 600 + m);
}

TEST_F(PipelineTest, AModuleTooBigForItsVolumeFailsBeforeAnythingIsFetchedOrDeleted) {
  const std::string volume = AddDrive('e');
  std::string why;
  if (!ovtest::MountSmallVolume(volume, 32, why)) GTEST_SKIP() << why;
  struct TUnmount {
    std::string Dir;
    ~TUnmount() { ovtest::UnmountVolume(Dir); }
  } unmount{volume};
  Serve("/own/a.dll", "small");
  WriteHost(Host("E:\\Soft\\Web\\old.txt"), "old");
  // The sizes the list gives count, not what the server holds. The make-room step would
  // delete old.txt.
  auto list = [&](const char* aSize) {
    return ServeDescriptor(
        std::string(R"(<f TargetFile=".\a.dll" FileName="a.dll" SourceFile="a.dll" FileSize=")") +
            aSize + R"("/>)",
        R"(<OnBeforeUpdaaDelete><i FileName=".\old.txt"/></OnBeforeUpdaaDelete>)");
  };
  auto install = [&](const std::string& aUrl, std::string& aResult) {
    return FHelper->DoAppInst("Web", "Web", "E:\\Soft\\Web\\", "C:\\Soft\\Web\\updt_temp\\", aUrl,
                              aResult);
  };
  std::string result;
  EXPECT_EQ(install(list("20000000"), result), -1);
  EXPECT_EQ(result.rfind("磁盘空间不足(Web)：E:\\Soft\\Web\\，需要 ", 0), 0u) << result;
  EXPECT_NE(result.find("，可用 3"), std::string::npos) << result;  // about 32 MB
  EXPECT_EQ(Requests("/a.dll"), 0);
  EXPECT_FALSE(HostExists(Host("C:\\Soft\\Web\\updt_temp\\a.dll")));
  EXPECT_EQ(ReadHost(Host("E:\\Soft\\Web\\old.txt")), "old");
  EXPECT_FALSE(HostExists(Host("E:\\Soft\\Web\\a.dll")));

  // What fits is installed: the check is no blanket refusal of a small volume.
  ASSERT_EQ(install(list("1000000"), result), 1) << result;
  EXPECT_EQ(ReadHost(Host("E:\\Soft\\Web\\a.dll")), "small");
  EXPECT_FALSE(HostExists(Host("E:\\Soft\\Web\\old.txt")));
}

TEST_F(PipelineTest, AnInstallFolderThatCannotBeWrittenFailsBeforeAnythingIsFetched) {
  Source("a.dll", "a");
  const std::string url = PublishWeb();
  WriteHost(Host("C:\\Soft\\Web\\keep.txt"), "keep");
  ov::platform::fs::InjectFault(ov::platform::fs::Op::Create, Host("C:\\Soft\\Web") + "/");
  // The download folder lies elsewhere: the descriptor is fetched into it.
  std::string result;
  EXPECT_EQ(FHelper->DoAppInst("Web", "Web", "C:\\Soft\\Web\\", "C:\\Dl\\Web\\", url, result), -1);
  ov::platform::fs::ClearFaults();
  EXPECT_EQ(result, "安装目录无法写入(Web)：C:\\Soft\\Web\\");
  EXPECT_NE(FHelper->FailReason().v().find("injected"), std::string::npos)
      << FHelper->FailReason().v();
  EXPECT_EQ(Requests("/a.dll"), 0);
  EXPECT_FALSE(HostExists(Host("C:\\Dl\\Web\\a.dll")));
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\keep.txt")), "keep");
}
