#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "common/ServiceTest.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateXMLUtil.h"

namespace {

class UpdateXMLTest : public TServiceTest {
 protected:
  // Serves a descriptor (and optionally a signal) in /upd/; returns the folder's address.
  std::string Publish(const std::string& aXml, const std::string& aSignal = "") {
    Serve("/upd/Updata.xml", aXml);
    if (!aSignal.empty()) Serve("/upd/Updata.txt", aSignal);
    return FStore.BaseUrl() + "/upd";
  }
  bool Load(const std::string& aXml, std::string& aErro, std::string aAppVer = "") {
    TOVUpdateXML x;
    x.SetTargetDir("C:\\App\\");
    x.SetTempDir("C:\\App\\updt_temp\\");
    x.SetXMLName("WebUpdata.xml");
    x.InitProperty();
    return x.GetNetXML(Publish(aXml), aAppVer, aErro);
  }
  std::vector<std::string> Targets() {
    std::vector<std::string> out;
    auto g = SyncObj().FileListGuard();
    for (const auto& f : SyncObj().FileList) out.push_back(f->TargetFile);
    return out;
  }
};

const char* const kFull = R"(<?xml version="1.0" encoding="UTF-8"?>
<OVXML>
  <Header><Note NoteInfo=" hello " filecheckmode="1" FileCheckZip="1" AppNewVer=" 2.0 "
                CustInstPkg="" FileServerType="oss" AutoFlag="3" ProcExitUpdate="1"/></Header>
  <FileList>
    <File TargetFile=".\a.dll" LastWriteTime="2026/05/06 10:20:30" MD5="5d41402abc4b2a76b9719d911017c592"
          FileName="a.dll" SourceFile="a.dll" FileSize="5"/>
    <File TargetFile=".\DataTransServer\srv.exe" FileName="srv.exe" SourceFile="d/srv.exe"/>
    <File TargetFile=".\Thumbs.db" FileName="Thumbs.db" SourceFile="Thumbs.db"/>
    <File FileName="no-target.dll"/>
    <Other TargetFile=".\big.bin" FileName="big.bin" FileSize="4294967296"/>
    text between items
  </FileList>
  <SliderImgList>
    <Img SourceFile="http://img/a/b/pic.png"/>
    <Img SourceFile="http://img/c.jpg" TargetFile=" .\s\c.jpg "/>
    <Img TargetFile=".\none.png"/>
  </SliderImgList>
  <OnBeforeUpdaaStop><Item FileName="OVSvc"/></OnBeforeUpdaaStop>
  <OnBeforeUpdaaClose><Item FileName="KTWeb.exe"/><Item/></OnBeforeUpdaaClose>
  <OnAfterUpdataStart><Item FileName="OVSvc"/></OnAfterUpdataStart>
</OVXML>)";

}  // namespace

TEST(UpdateXMLVersion, VerToNumberKeepsTheDigits) {
  EXPECT_EQ(TOVUpdateXML::VerToNumber(" 1.0.0.2 "), 1002);
  EXPECT_EQ(TOVUpdateXML::VerToNumber("2.10.3"), 2103);
  EXPECT_EQ(TOVUpdateXML::VerToNumber("v-x"), 0);
  EXPECT_THROW(TOVUpdateXML::VerToNumber("99999999999999999999"), ov::Error);
}

TEST(UpdateXMLNodes, FindChildNodeMatchesExactNamesOfDirectChildren) {
  pugi::xml_document d;
  ASSERT_TRUE(d.load_string("<a><b><c/></b><B/>t</a>"));
  pugi::xml_node a = TOVUpdateXML::FindChildNode(d, "a");
  EXPECT_TRUE(TOVUpdateXML::FindChildNode(a, "b"));
  EXPECT_FALSE(TOVUpdateXML::FindChildNode(a, "c"));  // a grandchild
  EXPECT_STREQ(TOVUpdateXML::FindChildNode(a, "B").name(), "B");
  EXPECT_FALSE(TOVUpdateXML::FindChildNode(pugi::xml_node(), "b"));
  std::string err;
  EXPECT_EQ(TOVUpdateXML::GetNodeAttr(a.last_child(), "x", err), "");
  EXPECT_EQ(err, "获取x失败");
}

TEST_F(UpdateXMLTest, LoadsHeaderFilesImagesAndTasks) {
  std::string err;
  ASSERT_TRUE(Load(kFull, err)) << err;
  EXPECT_EQ(SyncObj().NoteInfo(), "hello");
  EXPECT_EQ(SyncObj().FileCheckMode(), 1);  // the attribute name in another case still counts
  EXPECT_EQ(SyncObj().FileCheckZip(), "1");
  EXPECT_EQ(SyncObj().AppNewVer(), "2.0");
  EXPECT_EQ(SyncObj().AutoFlag(), 3);
  EXPECT_EQ(SyncObj().ProcExitUpdate(), 1);
  EXPECT_EQ(SyncObj().FileServerType().v(), "oss");
  // No DataTransServer folder: its files are left out; Thumbs.db and items without targets too.
  EXPECT_EQ(Targets(), (std::vector<std::string>{".\\a.dll", ".\\big.bin"}));
  {
    auto g = SyncObj().FileListGuard();
    const auto& a = *SyncObj().FileList[0];
    EXPECT_EQ(a.Update, "2026-05-06 10:20:30");
    EXPECT_EQ(a.CreateDateTime, "2026-05-06 10:20:30");
    EXPECT_EQ(a.SourceFile, "a.dll");
    EXPECT_EQ(a.FileSize, 5);
    EXPECT_EQ(SyncObj().FileList[1]->FileSize, 0);  // beyond 32 bits
  }
  {
    auto g = SyncObj().ImgListGuard();
    ASSERT_EQ(SyncObj().ImgList.size(), 2u);
    EXPECT_EQ(SyncObj().ImgList[0]->TargetFile, ".\\pic.png");
    EXPECT_EQ(SyncObj().ImgList[1]->TargetFile, ".\\s\\c.jpg");
  }
  EXPECT_EQ(SyncObj().FBeforeStopList, std::vector<std::string>{"OVSvc"});
  EXPECT_EQ(SyncObj().FBeforeCloseList, (std::vector<std::string>{"KTWeb.exe", ""}));
  EXPECT_EQ(SyncObj().FAfterStartList, std::vector<std::string>{"OVSvc"});
  EXPECT_NE(LogText().find("解析升级XML时读取[OnAfterUpdataRun]“待启动程序列表”：无"),
            std::string::npos);
  // The local copy keeps the caller's name.
  EXPECT_TRUE(HostExists(Host("C:\\App\\updt_temp\\WebUpdata.xml")));
}

TEST_F(UpdateXMLTest, DataTransServerFilesOnlyWhereTheFolderExists) {
  WriteHost(Host("C:\\App\\DataTransServer\\keep.txt"), "x");
  std::string err;
  ASSERT_TRUE(Load(kFull, err)) << err;
  EXPECT_EQ(Targets(),
            (std::vector<std::string>{".\\a.dll", ".\\DataTransServer\\srv.exe", ".\\big.bin"}));
}

TEST_F(UpdateXMLTest, DescriptorVariants) {
  std::string err;
  EXPECT_FALSE(Load("<ovxml><FileList/></ovxml>", err));
  EXPECT_EQ(err, "解析升级XML时读取OVXML失败");
  EXPECT_FALSE(Load("<OVXML><FileList>", err));  // not well-formed: an empty document
  EXPECT_EQ(err, "解析升级XML时读取OVXML失败");

  EXPECT_TRUE(Load("<OVXML><FileList/></OVXML>", err));
  EXPECT_TRUE(Targets().empty());
  EXPECT_EQ(err.rfind("加载头部信息失败(不影响)[]：", 0), 0u);  // no Header, result unharmed

  EXPECT_FALSE(
      Load("<OVXML><OnBeforeUpdaaStop><i FileName=\"s1\"/></OnBeforeUpdaaStop></OVXML>", err));
  EXPECT_EQ(err, "解析升级XML时读取[FileList]升级文件失败");
  EXPECT_EQ(SyncObj().FBeforeStopList, std::vector<std::string>{"s1"});
}

TEST_F(UpdateXMLTest, EveryLoadStartsFromEmptyTaskLists) {
  std::string err;
  ASSERT_TRUE(Load(kFull, err)) << err;
  ASSERT_TRUE(Load("<OVXML><FileList/></OVXML>", err));
  EXPECT_TRUE(SyncObj().FBeforeStopList.empty());
  EXPECT_TRUE(SyncObj().FBeforeCloseList.empty());
  EXPECT_TRUE(SyncObj().FAfterStartList.empty());
}

TEST_F(UpdateXMLTest, NoteAttributeErrorsStayWithTheirAttribute) {
  SyncObj().SetFileCheckMode(7);
  std::string err;
  ASSERT_TRUE(Load(R"(<OVXML><Header><Note FileCheckMode="" AutoFlag="x1" NoteInfo="n"/></Header>
                      <FileList/></OVXML>)",
                   err));
  EXPECT_EQ(SyncObj().FileCheckMode(), 7);  // empty: unchanged
  EXPECT_EQ(err, "加载头部信息失败(不影响)IN[AutoFlag]：'x1' is not a valid integer value");
  EXPECT_EQ(SyncObj().NoteInfo(), "n");  // applied after the failing one
}

TEST_F(UpdateXMLTest, NewHostDashClearsAndEmptyKeeps) {
  std::string err;
  ASSERT_TRUE(
      Load(R"(<OVXML><Header><Note NewHost=" http://new/ "/></Header><FileList/></OVXML>)", err));
  EXPECT_EQ(TovLib::IniOptRead("NewHost", "?"), "http://new/");
  ASSERT_TRUE(Load(R"(<OVXML><Header><Note NewHost=""/></Header><FileList/></OVXML>)", err));
  EXPECT_EQ(TovLib::IniOptRead("NewHost", "?"), "http://new/");
  ASSERT_TRUE(Load(R"(<OVXML><Header><Note NewHost="-"/></Header><FileList/></OVXML>)", err));
  EXPECT_EQ(TovLib::IniOptRead("NewHost", "?"), "");
}

TEST_F(UpdateXMLTest, VersionSignalDecidesWhetherTheDescriptorIsFetched) {
  const std::string xml =
      "<OVXML><FileList><f TargetFile=\".\\a\" FileName=\"a\"/></FileList></OVXML>";
  auto run = [&](const std::string& aSignal, std::string aVer) {
    Serve("/upd/Updata.txt", aSignal);
    TOVUpdateXML x;
    x.SetTargetDir("C:\\App\\");
    x.SetTempDir("C:\\App\\tmp\\");
    x.InitProperty();
    std::string err;
    bool ok = x.GetNetXML(Publish(xml), aVer, err);
    return std::make_pair(ok, aVer);
  };
  auto [ok1, ver1] = run("ver=1.0.0.3\r\n", "1.0.0.2");
  EXPECT_TRUE(ok1);
  EXPECT_EQ(ver1, "1.0.0.3");
  EXPECT_EQ(Targets().size(), 1u);
  auto [ok2, ver2] = run("name=x\r\nVER=1.0.0.2\r\n", "1.0.0.2");
  EXPECT_TRUE(ok2);
  EXPECT_EQ(ver2, "1.0.0.2");
  EXPECT_TRUE(Targets().empty());  // current: nothing fetched
  auto [ok3, ver3] = run("ver=\r\n", "1.0.0.2");
  EXPECT_TRUE(ok3);
  EXPECT_EQ(Targets().size(), 1u);  // no version in the signal: fetched as if none
  const size_t before = FStore.RequestLog().size();
  auto [ok4, ver4] = run("ver=9", "");
  EXPECT_TRUE(ok4);
  for (size_t i = before; i < FStore.RequestLog().size(); ++i) {
    EXPECT_NE(FStore.RequestLog()[i].Path, "/upd/Updata.txt");  // no version: no signal asked
  }
}

TEST_F(UpdateXMLTest, DownloadFailuresAndEmptyHost) {
  TOVUpdateXML x;
  x.SetTempDir("C:\\App\\tmp\\");
  x.InitProperty();
  std::string ver, err;
  EXPECT_FALSE(x.GetNetXML("", ver, err));
  EXPECT_EQ(err, "获取升级XML时HOST不能为空");
  EXPECT_FALSE(x.GetNetXML(FStore.BaseUrl() + "/missing/", ver, err));
  EXPECT_EQ(err, "请求服务器失败 404: Not Found");
  EXPECT_NE(LogText().find("升级XML下载失败：" + FStore.BaseUrl() + "/missing/Updata.xml"),
            std::string::npos);
  int gets = 0;
  for (const auto& e : FStore.RequestLog()) {
    gets += e.Path == "/missing/Updata.xml" && e.Method == "GET";
  }
  EXPECT_EQ(gets, 0);  // the HEAD already answers 404: three attempts, no body asked for
}

// A task list may be walked on one thread while a descriptor loads on another.
TEST_F(UpdateXMLTest, TaskListsStayConsistentWhileLoading) {
  const std::string url = Publish(kFull);
  std::atomic<bool> done{false};
  std::thread walker([&] {
    while (!done) {
      auto g = SyncObj().FBeforeCloseListGuard();
      for (const auto& s : SyncObj().FBeforeCloseList) {
        if (s != "KTWeb.exe" && !s.empty()) ADD_FAILURE() << s;
      }
    }
  });
  for (int i = 0; i < 5; ++i) {
    TOVUpdateXML x;
    x.SetTargetDir("C:\\App\\");
    x.SetTempDir("C:\\App\\tmp" + std::to_string(i) + "\\");
    x.InitProperty();
    std::string ver, err;
    EXPECT_TRUE(x.GetNetXML(url, ver, err)) << err;
  }
  done = true;
  walker.join();
}
