#include <gtest/gtest.h>

#include <atomic>

#include "common/OVError.h"
#include "base/OVLibUtil.h"
#include "common/ServiceTest.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUMPUtil.h"

using nlohmann::json;

namespace {

json Catalogue(const std::string& aStore) {
  return json::parse(R"({
    "versions":[{"item_id":"80001888","pos_type":"61063","softid":"*","ver_no":"1.0.4",
                 "up_ver_no":"1.0.5","up_ver_name":"春季版","up_file_id":123,"ver_file_id":120,
                 "ver_date":"2026-12-01","forceupdate":"0","ver_memo":"m","ver_up_date":"d"}],
    "details":{"123":{"file_detail":[
        {"id":1,"file_key":"5d41402abc4b2a76b9719d911017c592","file_name":"Caldis.exe",
         "file_size":5,"file_date":"2026-05-06T10:20:30",
         "file_url":"/v/Caldis.exe","file_addr":".\\Caldis.exe"},
        {"id":2,"file_key":"","file_name":"Thumbs.db","file_url":"/v/Thumbs.db","file_addr":""},
        null,
        {"id":3,"file_name":"x.dll","file_url":"http:/)" +
                     aStore + R"(/v/x.dll",
         "file_addr":"bin\\","file_date":"2026/05/06 10:20:30"}],
      "task_detail":[{"exec_node":0,"task_type":3,"task_file":"OVCaldisSvc"},
                     {"exec_node":0,"task_type":0,"task_file":"Caldis.exe"},
                     {"exec_node":0,"task_type":8,"task_file":"old.dll"},
                     {"exec_node":1,"task_type":1,"task_file":"Caldis.exe"},
                     {"exec_node":1,"task_type":4,"task_file":"OVCaldisSvc"},
                     {"exec_node":1,"task_type":3,"task_file":"ignored"},
                     null]}}})");
}

class UpdateUMPTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    ov::standin::TCatalogue cat;
    std::string err;
    ASSERT_TRUE(cat.FromJson(Catalogue(FStore.BaseUrl().substr(7)), err)) << err;
    FVersion.SetCatalogue(cat);
  }
  std::vector<std::string> Targets() {
    std::vector<std::string> out;
    auto g = SyncObj().FileListGuard();
    for (const auto& f : SyncObj().FileList) out.push_back(f->TargetFile);
    return out;
  }
};

}  // namespace

TEST(UpdateUMPSigning, CanonicalStringLeavesOutEmptyValuesAndSortsByName) {
  using ov::update::CanonicalString;
  EXPECT_EQ(CanonicalString({{"item_id", "80001888"},
                             {"pos_type", "61063"},
                             {"softid", "*"},
                             {"branch_jg", "*"},
                             {"jh_no", "*"},
                             {"page_index", "1"},
                             {"page_size", "1000"}}),
            "branch_jg=*&item_id=80001888&jh_no=*&page_index=1&page_size=1000&pos_type=61063&"
            "softid=*");
  EXPECT_EQ(CanonicalString({{"b", ""}, {"Zeta", "1"}, {"alpha", "2"}}), "alpha=2&Zeta=1");
}

TEST(UpdateUMPTransport, UrlDecodingKeepsPlusAndReadsRunsAsUtf8) {
  using ov::update::UrlDecodeText;
  EXPECT_EQ(UrlDecodeText("%41+b%2"), "A+b%2");
  EXPECT_EQ(UrlDecodeText("%E4%B8%AD%e6%96%87!"), "中文!");
  EXPECT_EQ(UrlDecodeText("%zz%"), "%zz%");
  EXPECT_THROW(UrlDecodeText("%FF"), ov::Error);
  EXPECT_THROW(UrlDecodeText("%E4%B8"), ov::Error);  // a sequence cut short
}

TEST(UpdateUMPTargetDir, NormalisesSlashesAndBackslashes) {
  TOVUpdateUMP ump;
  ump.SetTargetDir(" C:/Apps/x ");
  EXPECT_EQ(ump.TargetDir(), "C:\\Apps\\x\\");
  ump.SetTargetDir("");
  EXPECT_EQ(ump.TargetDir(), "C:\\Apps\\x\\");
  ump.SetTargetDir("\\\\srv\\share\\\\a");
  EXPECT_EQ(ump.TargetDir(), "\\srv\\share\\a\\");
  EXPECT_EQ(ump.PkgName(), "OVUpdata.json");
}

TEST(UpdateUMPJson, AnsiTextKeepsFieldOrderAndNonAsciiCharacters) {
  TOVUpdateUMP ump;
  TOVNewVerRequest r;
  r.softid = "软件\t";
  r.page_index = 1;
  EXPECT_EQ(ump.Obj2JSON(r, true),
            R"({"softid":"软件\t","branch_jg":"","jh_no":"","item_id":"","pos_type":"",)"
            R"("page_index":1,"page_size":0,"sg":""})");
  EXPECT_EQ(ump.Obj2JSON(r, false).find("软"), std::string::npos);  // escaped without aIsAnsi
}

TEST_F(UpdateUMPTest, VersionQueryIsSignedAndFillsTheVersionRecord) {
  TOVUpdateUMP ump;
  std::string result = "before";
  ASSERT_EQ(ump.GetAppNewVer(result, "80001888", "61063", "*", "*", ""), 1) << result;
  EXPECT_EQ(ump.NewVerData().up_ver_no, "1.0.5");
  EXPECT_EQ(ump.NewVerData().up_file_id, 123);
  EXPECT_EQ(ump.NewVerData().up_ver_name, "春季版");
  EXPECT_EQ(ump.NewVerData().ver_memo, "m");
  EXPECT_NE(result.find("\"resp_code\":\"1000\""), std::string::npos);
  auto log = FVersion.RequestLog();
  ASSERT_EQ(log.size(), 1u);
  // The empty jh_no is sent as "" (and left out of the signature, or the server would refuse).
  EXPECT_NE(log[0].Body.find(R"("jh_no":"","item_id":"80001888","pos_type":"61063",)"
                             R"("page_index":1,"page_size":1000,"sg":")"),
            std::string::npos);
  EXPECT_EQ(log[0].RespCode, "1000");

  // A refused query empties the record and reports the server's text.
  WriteSettings("", "SignSuffix=0000\r\n");
  EXPECT_EQ(ump.GetAppNewVer(result, "80001888", "61063", "*", "*", "*"), -1);
  EXPECT_EQ(result, "签名验证失败[1006]");
  EXPECT_EQ(ump.NewVerData().up_ver_no, "");
  EXPECT_EQ(ump.NewVerData().up_file_id, 0);
  EXPECT_NE(LogText().find("branch_jg=*&item_id=80001888&jh_no=*&page_index=1&page_size=1000&"
                           "pos_type=61063&softid=*"),
            std::string::npos);
}

TEST_F(UpdateUMPTest, VersionQueryFailuresKeepOrSetTheResultText) {
  TOVUpdateUMP ump;
  std::string answer;
  ump.SetStacks([&](const std::string&, const std::string&) { return answer; }, nullptr);
  std::string result = "kept";
  answer = "no code here";
  EXPECT_EQ(ump.GetAppNewVer(result, "1", "2", "*", "*", "*"), -1);
  EXPECT_EQ(result, "kept");
  answer = R"({"resp_code":"1000","resp_mag":"ok"})";
  EXPECT_EQ(ump.GetAppNewVer(result, "1", "2", "*", "*", "*"), -1);
  EXPECT_EQ(result.rfind("请求获取版本出错：", 0), 0u);
  answer = R"({"resp_code":"1003","resp_mag":"停用"})";
  EXPECT_EQ(ump.GetAppNewVer(result, "1", "2", "*", "*", "*"), -1);
  EXPECT_EQ(result, "停用[1003]");
  answer = R"(["resp_code"])";
  EXPECT_EQ(ump.GetAppNewVer(result, "1", "2", "*", "*", "*"), -1);
  EXPECT_EQ(result, "请求获取版本出错：Marshalling error");
  answer = R"({"resp_code":"1000","data":{"up_ver_no":"2"}} trailing)";
  EXPECT_EQ(ump.GetAppNewVer(result, "1", "2", "*", "*", "*"), -1);
  EXPECT_EQ(result.rfind("请求获取版本出错：", 0), 0u);
  EXPECT_EQ(ump.NewVerData().up_ver_no, "");
}

TEST_F(UpdateUMPTest, DetailQueryLoadsFilesTasksAndSavesThePackage) {
  TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\Apps\\Caldis");
  ump.SetPkgName("CaldisUpdata.json");
  std::string err;
  ASSERT_TRUE(ump.GetVerFiles("123", err)) << err;
  // Thumbs.db and the null entry are skipped; "bin\" gets the file name.
  EXPECT_EQ(Targets(), (std::vector<std::string>{".\\Caldis.exe", ".\\bin\\x.dll"}));
  {
    auto g = SyncObj().FileListGuard();
    const auto& f = *SyncObj().FileList[0];
    EXPECT_EQ(f.SourceFile, FStore.BaseUrl() + "/v/Caldis.exe");
    EXPECT_EQ(f.Update, "2026-05-06 10:20:30");
    EXPECT_EQ(f.MD5, "5d41402abc4b2a76b9719d911017c592");
    EXPECT_EQ(f.FileSize, 5);
    EXPECT_EQ(f.CreateDateTime, "");
    // The broken "http:/host" address of the file store is repaired.
    EXPECT_EQ(SyncObj().FileList[1]->SourceFile, FStore.BaseUrl() + "/v/x.dll");
    EXPECT_EQ(SyncObj().FileList[1]->Update, "2026-05-06 10:20:30");
  }
  EXPECT_EQ(SyncObj().FileCheckZip(), "1");
  EXPECT_EQ(SyncObj().FBeforeStopList, std::vector<std::string>{"OVCaldisSvc"});
  EXPECT_EQ(SyncObj().FBeforeCloseList, std::vector<std::string>{"Caldis.exe"});
  EXPECT_EQ(SyncObj().FBeforeDeleteList, std::vector<std::string>{"old.dll"});
  EXPECT_EQ(SyncObj().FAfterRunList, std::vector<std::string>{"Caldis.exe"});
  EXPECT_EQ(SyncObj().FAfterStartList, std::vector<std::string>{"OVCaldisSvc"});
  const std::string pkg = ReadHost(Host("C:\\Apps\\Caldis\\CaldisUpdata.json"));
  EXPECT_NE(pkg.find("\"file_detail\""), std::string::npos);

  // A second accepted answer, another module's perhaps, replaces the files and the tasks.
  ASSERT_TRUE(ump.GetVerFiles("123", err));
  EXPECT_EQ(Targets().size(), 2u);
  EXPECT_EQ(SyncObj().FBeforeStopList, std::vector<std::string>{"OVCaldisSvc"});
  EXPECT_EQ(SyncObj().FAfterStartList, std::vector<std::string>{"OVCaldisSvc"});
}

TEST_F(UpdateUMPTest, AnEntryReachingOutsideTheModuleFailsTheWholeLoad) {
  TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\Apps\\Caldis\\");
  auto answer = [](const std::string& aFile, const std::string& aTask) {
    return R"({"resp_code":"1000","data":{"file_detail":[{"file_name":"a.dll"})" + aFile +
           R"(],"task_detail":[{"exec_node":1,"task_type":4,"task_file":"OVSvc"})" + aTask + "]}}";
  };
  auto file = [](const std::string& aAddr, const std::string& aName) {
    return "," + json{{"file_name", aName}, {"file_addr", aAddr}}.dump();
  };
  auto toDelete = [](const std::string& aFile) {
    return "," + json{{"exec_node", 0}, {"task_type", 8}, {"task_file", aFile}}.dump();
  };
  std::string err;
  // Full paths with a drive stay allowed, for files as for files to delete.
  ASSERT_TRUE(ump.LoadVerDetail(answer(file("D:\\Other\\", "f.dll"), toDelete("C:\\Temp\\x.log")),
                                false, err))
      << err;
  EXPECT_EQ(Targets(), (std::vector<std::string>{".\\a.dll", "D:\\Other\\f.dll"}));

  const std::pair<std::string, std::string> cases[] = {
      {answer(file(".\\..\\..\\", "evil.dll"), ""), ".\\..\\..\\evil.dll"},
      {answer(file("sub\\..\\x.dll", "x.dll"), ""), "sub\\..\\x.dll"},
      {answer(file(".\\../up.dll", "up.dll"), ""), ".\\../up.dll"},
      {answer(file("", "..\\x.dll"), ""), "..\\x.dll"},
      {answer("", toDelete(".\\../old.dll")), ".\\../old.dll"},
      {answer("", toDelete("bin\\old.dll")), "bin\\old.dll"},  // below the working folder
  };
  for (const auto& [text, entry] : cases) {
    EXPECT_FALSE(ump.LoadVerDetail(text, false, err)) << entry;
    EXPECT_EQ(err, "文件路径无效：" + entry);
    EXPECT_TRUE(Targets().empty()) << entry;
    EXPECT_TRUE(SyncObj().FAfterStartList.empty()) << entry;
    EXPECT_TRUE(SyncObj().FBeforeDeleteList.empty()) << entry;
  }
}

TEST_F(UpdateUMPTest, DetailQueryAcceptsAByteOrderMarkAndSignsNonNumbersAsZero) {
  TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\Apps\\Caldis");
  FVersion.SetBom(true);
  std::string err;
  EXPECT_TRUE(ump.GetVerFiles("123", err)) << err;
  EXPECT_FALSE(ump.GetVerFiles("12x", err));
  EXPECT_EQ(err, "版本文件不存在[1002]");  // signed correctly as file_id=0, but unknown
  EXPECT_NE(FVersion.RequestLog().back().Body.find("{\"file_id\":0,\"sg\":\""), std::string::npos);
}

TEST_F(UpdateUMPTest, DetailQueryRetriesOnTheFirstStackOnly) {
  TOVUpdateUMP ump;
  std::atomic<int> first{0}, second{0};
  ump.SetStacks(
      [&](const std::string&, const std::string&) -> std::string {
        ++first;
        throw ov::Error("Connection refused");
      },
      [&](const std::string&, const std::string&) -> std::string {
        ++second;
        throw ov::Error("timeout");
      });
  std::string err = "unchanged";
  EXPECT_FALSE(ump.GetVerFiles("123", err));
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(err, "unchanged");

  // A TLS failure with reason 241 switches stacks for good; the retry already goes there and a
  // failure there is not retried.
  first = 0;
  ump.SetStacks(
      [&](const std::string&, const std::string&) -> std::string {
        ++first;
        throw ov::Error("SSL connection failed reason(241)");
      },
      [&](const std::string&, const std::string&) -> std::string {
        ++second;
        throw ov::Error("timeout");
      });
  EXPECT_FALSE(ump.GetVerFiles("123", err));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(ump.NetControlType(), 1);
  EXPECT_NE(LogText().find("【网络错误】Idy调用SSL错误，自动切换控件...."), std::string::npos);
  EXPECT_NE(LogText().find("][-1]：[网络错误]SSL connection failed reason(241)"),
            std::string::npos);
}

TEST_F(UpdateUMPTest, SecondStackDecodesUrlEncodedAnswers) {
  TOVUpdateUMP ump;
  ump.SetNetControlType(1);  // the real libcurl stack against the stand-in
  FVersion.SetUrlEncoded(true);
  std::string result;
  ASSERT_EQ(ump.GetAppNewVer(result, "80001888", "61063", "*", "*", "*"), 1) << result;
  EXPECT_EQ(ump.NewVerData().up_ver_name, "春季版");

  std::string respond;
  ump.SetStacks(nullptr, [](const std::string&, const std::string&) {
    return std::string("{\"a\":\"%FF\"}");
  });
  EXPECT_EQ(ump.DoNetPost("http://x/", "{}", respond), 0);
  EXPECT_EQ(respond, "{\"a\":\"%FF\"}");  // the body as received
}

TEST_F(UpdateUMPTest, FirstStackReportsNetworkFailures) {
  TOVUpdateUMP ump;
  std::string respond;
  EXPECT_EQ(ump.DoPost("http://127.0.0.1:1/FileInfo/SelNewSWVer", "{}", respond), -1);
  EXPECT_EQ(respond.rfind("[网络错误]", 0), 0u);
  EXPECT_EQ(ump.NetControlType(), 0);
  // An error status is a failure on this stack.
  EXPECT_EQ(ump.DoPost(FVersion.BaseUrl() + "/FileInfo/Nothing", "{}", respond), -1);
  EXPECT_EQ(respond, "[网络错误]HTTP/1.1 404 Not Found");
}

TEST_F(UpdateUMPTest, TargetsResolveAgainstTheInstallFolder) {
  TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\Apps\\Caldis\\");
  auto load = [&](const std::string& aAddr, const std::string& aName) {
    TOVVerFile f;
    f.file_name = aName;
    f.file_addr = aAddr;
    ump.LoadVerFile(&f);
  };
  load("", "a.exe");
  load(".\\sub\\", "b.dll");
  load("bin\\x.dll", "x.dll");
  load("D:\\Other\\f.dll", "f.dll");
  load(".\\c.txt", "c.txt");
  load("d.txt", "ignored-name.txt");
  load("", "");  // no file name: skipped
  EXPECT_EQ(Targets(), (std::vector<std::string>{".\\a.exe", ".\\sub\\b.dll", ".\\bin\\x.dll",
                                                 "D:\\Other\\f.dll", ".\\c.txt", ".\\d.txt"}));
}

TEST_F(UpdateUMPTest, FreshnessByTimeAndByMd5OnRealFiles) {
  const std::string file = "C:\\Apps\\f.bin";
  WriteHost(Host(file), "hello");
  const ov::TDateTime server = ov::EncodeDateTime(2026, 5, 6, 10, 20, 30, 0);
  const double second = 1.0 / 86400;
  auto localAt = [&](ov::TDateTime aWhen) {
    ASSERT_TRUE(TovLib::SetFileDateTime(file, aWhen, aWhen));
  };
  SyncObj().SetFileCheckMode(0);
  localAt(server - 5 * second);
  EXPECT_FALSE(TOVUpdateUMP::FileNeedsUpdate(file, "", server, file));
  localAt(server - 11 * second);
  EXPECT_TRUE(TOVUpdateUMP::FileNeedsUpdate(file, "", server, file));
  localAt(server + 60 * second);
  EXPECT_FALSE(TOVUpdateUMP::FileNeedsUpdate(file, "", server, file));
  EXPECT_TRUE(TOVUpdateUMP::FileNeedsUpdate(file, "", 0, file));  // no server time
  EXPECT_TRUE(TOVUpdateUMP::FileNeedsUpdate("C:\\Apps\\none.bin", "", server, "shown"));
  EXPECT_NE(LogText().find("[升级检测]需要升级：shown [文件不存在] 文件最后修改时间，"),
            std::string::npos);

  SyncObj().SetFileCheckMode(1);
  EXPECT_FALSE(TOVUpdateUMP::FileNeedsUpdate(file, "5D41402ABC4B2A76B9719D911017C592", 0, file));
  EXPECT_TRUE(TOVUpdateUMP::FileNeedsUpdate(file, "00000000000000000000000000000000", 0, file));
  EXPECT_TRUE(TOVUpdateUMP::FileNeedsUpdate(file, "", server, file));  // no server MD5
  EXPECT_TRUE(TOVUpdateUMP::FileNeedsUpdate("C:\\Apps\\none.bin",
                                            "5d41402abc4b2a76b9719d911017c592", 0, "n"));
  EXPECT_NE(LogText().find("[升级检测]无需升级：" + file +
                           " [文件存在] 文件MD5码[本地：5d41402abc4b2a76b9719d911017c592]-"
                           "[服务器：5D41402ABC4B2A76B9719D911017C592]"),
            std::string::npos);
}

TEST_F(UpdateUMPTest, CurrentFilesGiveAnEmptyListAndStillSucceed) {
  WriteHost(Host("C:\\Apps\\Caldis\\Caldis.exe"), "hello");
  WriteHost(Host("C:\\Apps\\Caldis\\bin\\x.dll"), "x");
  SyncObj().SetFileCheckMode(1);
  TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\Apps\\Caldis");
  std::string err;
  // x.dll has no server MD5, so it still needs an update; Caldis.exe matches.
  ASSERT_TRUE(ump.GetVerFiles("123", err)) << err;
  EXPECT_EQ(Targets(), std::vector<std::string>{".\\bin\\x.dll"});
}

TEST_F(UpdateUMPTest, RejectedOrMalformedDetailsLeaveTheListsAlone) {
  TOVUpdateUMP ump;
  ump.SetTargetDir("C:\\Apps\\Caldis");
  std::string err;
  ASSERT_TRUE(ump.GetVerFiles("123", err));
  const auto before = Targets();
  const std::pair<std::string, std::string> cases[] = {
      {R"({"resp_code":"1004","resp_mag":"无权限"})", "无权限[1004]"},
      {"null", "版本数据解析出错"},
      {"  ", "版本数据解析出错"},
      {R"({"resp_code":"1000","data":{"file_detail":[{"file_size":"big"}]}})",
       "加载版本数据出错：Marshalling error"},
      {R"({"resp_code":1000})", "加载版本数据出错：Marshalling error"},
  };
  for (const auto& [text, want] : cases) {
    err.clear();
    EXPECT_FALSE(ump.LoadVerDetail(text, false, err)) << text;
    EXPECT_EQ(err, want) << text;
  }
  EXPECT_FALSE(ump.LoadVerDetail("{\"resp_code\":", false, err));
  EXPECT_EQ(err.rfind("加载版本数据出错：", 0), 0u);
  EXPECT_EQ(Targets(), before);
  EXPECT_EQ(SyncObj().FBeforeStopList.size(), 1u);
}
