#include "FileStore.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovstore.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    FRoot = tmpl;
    std::filesystem::create_directories(FRoot + "/d");
    std::ofstream(FRoot + "/d/ten.bin", std::ios::binary) << "0123456789";
    std::ofstream(FRoot + "/secret.txt") << "x";
    ov::standin::TFileStoreConfig cfg;
    cfg.Root = FRoot + "/d";
    cfg.Redirects["/old.bin"] = "/ten.bin";
    ASSERT_TRUE(FStore.Start(cfg));
    FClient = std::make_unique<httplib::Client>("127.0.0.1", FStore.Port());
  }
  void TearDown() override {
    FStore.Stop();
    std::filesystem::remove_all(FRoot);
  }
  httplib::Result Get(const std::string& path, const std::string& range = "") {
    httplib::Headers h;
    if (!range.empty()) h.emplace("Range", range);
    return FClient->Get(path.c_str(), h);
  }

  std::string FRoot;
  ov::standin::TFileStore FStore;
  std::unique_ptr<httplib::Client> FClient;
};

}  // namespace

TEST(FileStorePattern, StarMatchesAnyText) {
  using ov::standin::MatchPattern;
  EXPECT_TRUE(MatchPattern("*", "/a/b"));
  EXPECT_TRUE(MatchPattern("/a/*.zip", "/a/x/y.zip"));
  EXPECT_FALSE(MatchPattern("/a/*.zip", "/a/x.zip.parts"));
  EXPECT_TRUE(MatchPattern("/exact", "/exact"));
  EXPECT_FALSE(MatchPattern("/exact", "/exact2"));
}

TEST_F(FileStoreTest, HeadAndGetAnnounceLengthAndRanges) {
  auto head = FClient->Head("/ten.bin");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), "10");
  EXPECT_EQ(head->get_header_value("Accept-Ranges"), "bytes");
  EXPECT_TRUE(head->body.empty());
  auto get = Get("/ten.bin");
  ASSERT_TRUE(get);
  EXPECT_EQ(get->body, "0123456789");
}

TEST_F(FileStoreTest, RangeAnswersAreExact) {
  struct Case {
    const char* range;
    int status;
    const char* body;
    const char* contentRange;
  };
  for (const Case& c : {Case{"bytes=4-10", 206, "456789", "bytes 4-9/10"},
                        Case{"bytes=4-5", 206, "45", "bytes 4-5/10"},
                        Case{"bytes=7-", 206, "789", "bytes 7-9/10"},
                        Case{"bytes=-3", 206, "789", "bytes 7-9/10"},
                        Case{"bytes=10-", 416, "", "bytes */10"},
                        Case{"bytes=5-2", 416, "", ""},  // refused by the server library itself
                        Case{"bytes=0-1,4-5", 200, "0123456789", ""}}) {
    auto r = Get("/ten.bin", c.range);
    ASSERT_TRUE(r) << c.range;
    EXPECT_EQ(r->status, c.status) << c.range;
    EXPECT_EQ(r->body, c.body) << c.range;
    EXPECT_EQ(r->get_header_value("Content-Range"), c.contentRange) << c.range;
  }
}

TEST_F(FileStoreTest, ValidatorsFollowTheFileAndIfRangeHonoursThem) {
  auto head = FClient->Head("/ten.bin");
  ASSERT_TRUE(head);
  const std::string tag = head->get_header_value("ETag");
  const std::string date = head->get_header_value("Last-Modified");
  EXPECT_EQ(tag.front(), '"');
  EXPECT_EQ(date.size(), 29u) << date;  // "Sun, 06 Nov 1994 08:49:37 GMT"
  auto ranged = [&](const std::string& aIfRange) {
    auto r = FClient->Get("/ten.bin", {{"Range", "bytes=7-"}, {"If-Range", aIfRange}});
    return r ? r->status : -1;
  };
  EXPECT_EQ(ranged(tag), 206);
  EXPECT_EQ(ranged(date), 206);
  EXPECT_EQ(ranged("\"other\""), 200);
  // Rewritten with the same length: another tag, and a range for the old one gets it whole.
  std::ofstream(FRoot + "/d/ten.new", std::ios::binary) << "9876543210";
  std::filesystem::rename(FRoot + "/d/ten.new", FRoot + "/d/ten.bin");
  auto again = FClient->Head("/ten.bin");
  ASSERT_TRUE(again);
  EXPECT_NE(again->get_header_value("ETag"), tag);
  EXPECT_EQ(ranged(tag), 200);
}

TEST_F(FileStoreTest, MissingFilesFoldersAndEscapesAre404) {
  for (const char* path : {"/none.bin", "/", "/../secret.txt", "/%2e%2e/secret.txt"}) {
    auto r = Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 404) << path;
  }
  auto moved = Get("/old.bin");
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->status, 302);
  EXPECT_EQ(moved->get_header_value("Location"), "/ten.bin");
}

TEST_F(FileStoreTest, FaultsFromTheControlEndpoint) {
  auto bad = FClient->Post("/_control/faults", "{nope", "application/json");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  auto ok = FClient->Post("/_control/faults",
                          R"({"faults":[{"pattern":"/ten.bin","status":503,"times":1,"method":"GET"},
                                        {"pattern":"/ten.bin","corrupt_at":2,"drop_accept_ranges":true}]})",
                          "application/json");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  // The first fault is for GETs only: a HEAD neither meets it nor uses it up.
  auto head = FClient->Head("/ten.bin");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  auto first = Get("/ten.bin");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 503);
  auto second = Get("/ten.bin");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, std::string("01") + static_cast<char>('2' ^ 0x5A) + "3456789");
  EXPECT_EQ(second->get_header_value("Accept-Ranges"), "none");
}

TEST_F(FileStoreTest, ChunkedAnswerHasNoContentLength) {
  FStore.AddFault({.Pattern = "*", .DropContentLength = true});
  auto head = FClient->Head("/ten.bin");
  ASSERT_TRUE(head);
  EXPECT_FALSE(head->has_header("Content-Length"));
  auto get = Get("/ten.bin");
  ASSERT_TRUE(get);
  EXPECT_EQ(get->body, "0123456789");
  EXPECT_FALSE(get->has_header("Content-Length"));
}

TEST_F(FileStoreTest, CloseAfterCutsTheBody) {
  FStore.AddFault({.Pattern = "/ten.bin", .CloseAfterBytes = 4});
  auto r = Get("/ten.bin");
  // The client sees a broken answer: fewer bytes than announced.
  EXPECT_TRUE(!r || r->body.size() < 10);
}

TEST_F(FileStoreTest, RequestLogRecordsMethodPathRangeAndStatus) {
  Get("/ten.bin", "bytes=2-3");
  FClient->Head("/none");
  auto log = FStore.RequestLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Method, "GET");
  EXPECT_EQ(log[0].Path, "/ten.bin");
  EXPECT_EQ(log[0].Range, "bytes=2-3");
  EXPECT_EQ(log[0].Status, 206);
  EXPECT_EQ(log[1].Method, "HEAD");
  EXPECT_EQ(log[1].Status, 404);
  auto remote = Get("/_control/log");
  ASSERT_TRUE(remote);
  EXPECT_NE(remote->body.find("\"range\":\"bytes=2-3\""), std::string::npos);
  auto cleared = FClient->Post("/_control/log/clear", "", "text/plain");
  ASSERT_TRUE(cleared);
  EXPECT_EQ(cleared->status, 200);
  EXPECT_TRUE(FStore.RequestLog().empty());
}

TEST_F(FileStoreTest, RandomFaultsFollowTheirChanceAndRepeatWithTheSeed) {
  // Which requests fail, and where, is the same for the same seed.
  auto pattern = [&](uint32_t aSeed) {
    const std::string doc = R"({"seed":)" + std::to_string(aSeed) +
                            R"(,"faults":[{"pattern":"/ten.bin","chance":50,"cut_at_random":true}]})";
    std::string err;
    EXPECT_TRUE(FStore.LoadFaults(doc, err)) << err;
    std::string seen;
    for (int i = 0; i < 40; ++i) {
      auto r = Get("/ten.bin");
      const bool whole = r && r->body == "0123456789";
      seen += whole ? 'w' : 'c';
      // A cut answer is a prefix of the file, never other bytes.
      if (r && !whole) {
        EXPECT_EQ(std::string("0123456789").substr(0, r->body.size()), r->body);
      }
    }
    return seen;
  };
  const std::string first = pattern(7);
  EXPECT_EQ(first, pattern(7));
  const auto cuts = std::count(first.begin(), first.end(), 'c');
  EXPECT_GT(cuts, 5);
  EXPECT_LT(cuts, 35);

  std::string err;
  EXPECT_FALSE(FStore.LoadFaults(R"({"faults":[{"chance":101}]})", err));
  EXPECT_NE(err.find("chance"), std::string::npos);
}
