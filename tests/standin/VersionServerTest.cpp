#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "VersionServer.h"
#include "base/OVLibUtil.h"

namespace {

using nlohmann::json;

const char* const kPrefix = "ABCD";
const char* const kSuffix = "9876";

// Signs the way the installer does, with the installer's own MD5 helper.
std::string Sign(const std::string& aCanonical) {
  return TovLib::GetMd5(std::string(kPrefix) + aCanonical + kSuffix);
}

json Catalogue() {
  return json::parse(R"({
    "versions":[{"item_id":"80001888","pos_type":"61063","softid":"*","ver_no":"1.0.4",
                 "up_ver_no":"1.0.5","up_ver_name":"春季版","up_file_id":123,"ver_file_id":120}],
    "details":{"123":{"file_detail":[
        {"id":1,"file_key":"00112233445566778899aabbccddeeff","file_name":"Caldis.exe",
         "file_size":10,"file_url":"/versions/61063/1.0.5/Caldis.exe","file_addr":".\\Caldis.exe"},
        {"id":2,"file_name":"x.dll","file_url":"http://elsewhere/x.dll"}],
      "task_detail":[{"exec_node":0,"task_type":3,"task_file":"OVCaldisSvc"}]}}})");
}

class VersionServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ov::standin::TCatalogue cat;
    std::string err;
    ASSERT_TRUE(cat.FromJson(Catalogue(), err)) << err;
    ov::standin::TVersionServerConfig cfg;
    cfg.Port = 0;
    cfg.SignPrefix = kPrefix;
    cfg.SignSuffix = kSuffix;
    cfg.FileStoreUrl = "http://127.0.0.1:1234";
    FServer.SetCatalogue(cat);
    ASSERT_TRUE(FServer.Start(cfg));
    FClient = std::make_unique<httplib::Client>("127.0.0.1", FServer.Port());
  }
  std::string PostRaw(const std::string& aPath, const std::string& aBody) {
    auto r = FClient->Post(aPath.c_str(), aBody, "application/json");
    EXPECT_TRUE(r);
    if (!r) return {};
    EXPECT_EQ(r->status, 200);
    return r->body;
  }
  json Post(const std::string& aPath, const std::string& aBody) {
    return json::parse(PostRaw(aPath, aBody), nullptr, false);
  }
  static std::string VersionQuery(const std::string& aModId, const std::string& aSg = "") {
    const std::string canonical =
        "branch_jg=*&item_id=80001888&jh_no=*&page_index=1&"
        "page_size=1000&pos_type=" +
        aModId + "&softid=*";
    return R"({"softid":"*","branch_jg":"*","jh_no":"*","item_id":"80001888","pos_type":")" +
           aModId + R"(","page_index":1,"page_size":1000,"sg":")" +
           (aSg.empty() ? Sign(canonical) : aSg) + "\"}";
  }

  ov::standin::TVersionServer FServer;
  std::unique_ptr<httplib::Client> FClient;
};

}  // namespace

TEST(VersionSigning, CanonicalStringSkipsEmptyValuesAndSortsByName) {
  auto req = json::parse(R"({"softid":"*","branch_jg":"*","jh_no":"","item_id":"80001888",
      "pos_type":"61063","page_index":1,"page_size":1000,"sg":"zzz"})");
  EXPECT_EQ(ov::standin::CanonicalString(req),
            "branch_jg=*&item_id=80001888&page_index=1&page_size=1000&pos_type=61063&softid=*");
  // Case does not decide the order of names.
  EXPECT_EQ(ov::standin::CanonicalString(json::parse(R"({"b":"2","A":"1","c":"3"})")),
            "A=1&b=2&c=3");
  EXPECT_EQ(ov::standin::Signature("file_id=0", kPrefix, kSuffix), Sign("file_id=0"));
}

TEST_F(VersionServerTest, AnswersTheCurrentVersionToASignedQuery) {
  json a = Post("/FileInfo/SelNewSWVer", VersionQuery("61063"));
  ASSERT_TRUE(a.is_object());
  EXPECT_EQ(a["resp_code"], "1000");
  EXPECT_EQ(a["data"]["up_ver_no"], "1.0.5");
  EXPECT_EQ(a["data"]["up_file_id"], 123);
  EXPECT_EQ(a["data"]["up_ver_name"], "春季版");
  EXPECT_EQ(a["data"]["pos_type"], "61063");
  EXPECT_EQ(a["data"]["jh_no"], "*");  // echoed from the query
  // Non-ASCII text travels as UTF-8, not as \u escapes.
  EXPECT_NE(PostRaw("/FileInfo/SelNewSWVer", VersionQuery("61063")).find("春季版"),
            std::string::npos);
}

TEST_F(VersionServerTest, UnknownModuleIsAcceptedWithoutAVersion) {
  json a = Post("/FileInfo/SelNewSWVer", VersionQuery("99999"));
  EXPECT_EQ(a["resp_code"], "1000");
  EXPECT_EQ(a["data"]["up_ver_no"], "");
  EXPECT_EQ(a["data"]["up_file_id"], 0);
}

TEST_F(VersionServerTest, RefusesWrongSignaturesAndMalformedQueries) {
  json a = Post("/FileInfo/SelNewSWVer", VersionQuery("61063", std::string(32, '0')));
  EXPECT_EQ(a["resp_code"], "1006");
  EXPECT_FALSE(a.contains("data"));
  // Signed without the empty member being left out: a different canonical string.
  std::string body = VersionQuery("61063");
  body.replace(body.find("\"jh_no\":\"*\""), 11, "\"jh_no\":\"\"");
  EXPECT_EQ(Post("/FileInfo/SelNewSWVer", body)["resp_code"], "1006");
  EXPECT_EQ(Post("/FileInfo/SelNewSWVer", "{not json")["resp_code"], "1001");
  EXPECT_EQ(Post("/FileInfo/GetDetailInfo", "[1,2]")["resp_code"], "1001");
  auto log = FServer.RequestLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].RespCode, "1006");
  EXPECT_EQ(log[3].Path, "/FileInfo/GetDetailInfo");
}

TEST_F(VersionServerTest, DetailListsFilesOnTheStoreAndTasks) {
  json a =
      Post("/FileInfo/GetDetailInfo", R"({"file_id":123,"sg":")" + Sign("file_id=123") + "\"}");
  ASSERT_EQ(a["resp_code"], "1000");
  auto files = a["data"]["file_detail"];
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0]["file_url"], "http://127.0.0.1:1234/versions/61063/1.0.5/Caldis.exe");
  EXPECT_EQ(files[1]["file_url"], "http://elsewhere/x.dll");
  EXPECT_EQ(a["data"]["task_detail"][0]["task_file"], "OVCaldisSvc");
  json missing =
      Post("/FileInfo/GetDetailInfo", R"({"file_id":0,"sg":")" + Sign("file_id=0") + "\"}");
  EXPECT_EQ(missing["resp_code"], "1002");
}

TEST_F(VersionServerTest, SwitchesForByteOrderMarkAndUrlEncodedAnswers) {
  FServer.SetBom(true);
  std::string raw = PostRaw("/FileInfo/SelNewSWVer", VersionQuery("61063"));
  ASSERT_GE(raw.size(), 3u);
  EXPECT_EQ(raw.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(json::parse(raw.substr(3))["resp_code"], "1000");
  FServer.SetBom(false);
  FServer.SetUrlEncoded(true);
  raw = PostRaw("/FileInfo/SelNewSWVer", VersionQuery("61063"));
  EXPECT_EQ(raw.find('{'), std::string::npos);
  EXPECT_NE(raw.find("resp_code"), std::string::npos);  // letters and "_" stay as they are
  std::string decoded = httplib::detail::decode_url(raw, false);
  EXPECT_EQ(json::parse(decoded)["data"]["up_ver_name"], "春季版");
}

TEST(VersionServerFile, ReadsTheCatalogueAtEveryRequest) {
  char tmpl[] = "/tmp/ovver.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string file = std::string(tmpl) + "/catalogue.json";
  ov::standin::TVersionServer server;
  ov::standin::TVersionServerConfig cfg;
  cfg.Port = 0;
  cfg.CatalogueFile = file;
  cfg.SignPrefix = kPrefix;
  cfg.SignSuffix = kSuffix;
  ASSERT_TRUE(server.Start(cfg));
  httplib::Client c("127.0.0.1", server.Port());
  const std::string body = R"({"file_id":123,"sg":")" + Sign("file_id=123") + "\"}";
  auto code = [&] {
    auto r = c.Post("/FileInfo/GetDetailInfo", body, "application/json");
    return r ? json::parse(r->body).value("resp_code", std::string()) : std::string("none");
  };
  EXPECT_EQ(code(), "1002");  // no file yet: an empty catalogue
  std::ofstream(file) << Catalogue().dump();
  EXPECT_EQ(code(), "1000");
  std::ofstream(file) << "{\"versions\":";
  EXPECT_EQ(code(), "1009");
  server.Stop();
  std::filesystem::remove_all(tmpl);
}

TEST(Catalogue, ReplacingAVersionDropsItsOldFileList) {
  ov::standin::TCatalogue cat;
  auto version = [](int64_t aId, const char* aPos) {
    return json{{"item_id", "80001888"}, {"pos_type", aPos}, {"up_file_id", aId}};
  };
  cat.PutVersion(version(1, "61063"), json::array(), json::array());
  cat.PutVersion(version(5, "61064"), json::array(), json::array());
  cat.PutVersion(version(2, "61063"), json::array(), json::array());
  EXPECT_EQ(cat.Versions.size(), 2u);
  EXPECT_FALSE(cat.Details.contains("1"));
  EXPECT_TRUE(cat.Details.contains("2"));
  EXPECT_TRUE(cat.Details.contains("5"));
  // A file list that another version still names stays.
  cat.PutVersion(version(5, "61009"), json::array(), json::array());
  cat.PutVersion(version(6, "61009"), json::array(), json::array());
  EXPECT_TRUE(cat.Details.contains("5"));
}
