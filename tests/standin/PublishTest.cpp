#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "Catalogue.h"
#include "FileStore.h"
#include "Publish.h"
#include "base/OVLibUtil.h"

namespace {

namespace fs = std::filesystem;
using namespace ov::standin;

// 2023-11-14 22:13:20 UTC.
constexpr time_t kStamp = 1700000000;
// MD5 of "hello".
const char* const kHelloMd5 = "5d41402abc4b2a76b9719d911017c592";
const char* const kDataName = "\xE6\x95\xB0\xE6\x8D\xAE.dll";  // 数据.dll

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovpublish.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    FRoot = tmpl;
    FSource = FRoot + "/src";
    FStore = FRoot + "/store";
    fs::create_directories(FSource);
    fs::create_directories(FStore);
    // A zone without daylight saving and away from UTC, so that a stamp written in UTC
    // instead of local time shows.
    const char* tz = std::getenv("TZ");
    FHadTz = tz != nullptr;
    if (tz) FOldTz = tz;
    setenv("TZ", "CST-8", 1);
    tzset();
  }
  void TearDown() override {
    if (FHadTz)
      setenv("TZ", FOldTz.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    fs::remove_all(FRoot);
  }

  static void Write(const std::string& aPath, const std::string& aData, time_t aMTime = kStamp) {
    fs::create_directories(fs::path(aPath).parent_path());
    std::ofstream(aPath, std::ios::binary) << aData;
    struct timespec ts[2] = {{aMTime, 0}, {aMTime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, aPath.c_str(), ts, 0), 0);
  }
  static std::string Read(const std::string& aPath) {
    std::ifstream in(aPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static time_t MTime(const std::string& aPath) {
    struct stat st {};
    return ::stat(aPath.c_str(), &st) == 0 ? st.st_mtime : -1;
  }
  // Every path below aDir, relative, so a test can tell that nothing was written.
  static std::vector<std::string> Tree(const std::string& aDir) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(aDir)) {
      out.push_back(e.path().lexically_relative(aDir).generic_string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // The payload of the descriptor tests: a top-level file, one in a folder with a space and
  // a non-ASCII name, and things that are never payload.
  void WriteWebSource() {
    Write(FSource + "/a.dll", "hello");
    Write(FSource + "/sub dir/" + kDataName, "data bytes", kStamp + 3600);
    Write(FSource + "/lib.zip", "a real archive payload");
    Write(FSource + "/a.dll.zip", "stale variant");
    Write(FSource + "/big.bin.parts", "half a download");
    Write(FSource + "/Updata.xml", "<old/>");
    Write(FSource + "/webupdata.XML", "<old/>");
    Write(FSource + "/Updata.txt", "ver=0.0.1\r\n");
  }

  TFolderPublish WebJob() {
    TFolderPublish job;
    job.Source = FSource;
    job.StoreRoot = FStore;
    job.Folder = "updatefiles/ketrin_webapp";
    job.ModuleCode = "Web";
    job.Version = "1.0.0.2";
    job.Note = {{"FileCheckMode", "1"}, {"filecheckzip", "1"}, {"NoteInfo", "春季 & <更新>"}};
    job.Images = {{"http://img/slider1.png", ""}, {"/x/slider2.jpg", ".\\img\\s2.jpg"}};
    job.Tasks = {{0, 3, "OVSvc"}, {1, 1, "Caldis.exe"}, {0, 8, ".\\old.dll"},
                 {1, 4, "OVSvc"}, {0, 0, "Caldis.exe"}, {0, 3, "OVSvc2"}};
    return job;
  }

  std::string Target() const { return FStore + "/updatefiles/ketrin_webapp"; }

  std::string FRoot, FSource, FStore;
  bool FHadTz = false;
  std::string FOldTz;
};

pugi::xml_node FileItem(const pugi::xml_document& aDoc, const std::string& aName) {
  for (auto item : aDoc.child("OVXML").child("FileList").children()) {
    if (aName == item.attribute("FileName").value()) return item;
  }
  return {};
}

std::vector<std::string> TaskNames(const pugi::xml_node& aList) {
  std::vector<std::string> out;
  for (auto item : aList.children()) out.push_back(item.attribute("FileName").value());
  return out;
}

// ---- update folder and descriptor ----

TEST_F(PublishTest, DescriptorListsEveryPayloadFileWithItsAttributes) {
  WriteWebSource();
  std::string err;
  ASSERT_TRUE(PublishFolder(WebJob(), err)) << err;

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((Target() + "/Updata.xml").c_str()));
  auto list = doc.child("OVXML").child("FileList");
  ASSERT_TRUE(list);
  EXPECT_EQ(std::distance(list.children().begin(), list.children().end()), 3);

  auto a = FileItem(doc, "a.dll");
  ASSERT_TRUE(a);
  EXPECT_STREQ(a.attribute("TargetFile").value(), ".\\a.dll");
  EXPECT_STREQ(a.attribute("MD5").value(), kHelloMd5);
  EXPECT_STREQ(a.attribute("LastWriteTime").value(), "2023-11-15 06:13:20");
  EXPECT_STREQ(a.attribute("SourceFile").value(), "a.dll");
  EXPECT_STREQ(a.attribute("FileSize").value(), "5");

  auto d = FileItem(doc, kDataName);
  ASSERT_TRUE(d);
  EXPECT_EQ(std::string(d.attribute("TargetFile").value()),
            std::string(".\\sub dir\\") + kDataName);
  EXPECT_STREQ(d.attribute("SourceFile").value(), "sub%20dir/%E6%95%B0%E6%8D%AE.dll");
  EXPECT_STREQ(d.attribute("LastWriteTime").value(), "2023-11-15 07:13:20");
  EXPECT_EQ(d.attribute("MD5").value(), TovLib::GetMd5("data bytes"));
  EXPECT_STREQ(d.attribute("FileSize").value(), "10");

  // An archive without a sibling is payload; the variant of a.dll, the download leftover and
  // the old descriptor files are not.
  EXPECT_TRUE(FileItem(doc, "lib.zip"));
  for (const char* name :
       {"a.dll.zip", "big.bin.parts", "Updata.xml", "webupdata.XML", "Updata.txt"}) {
    EXPECT_FALSE(FileItem(doc, name)) << name;
  }

  // Copies keep their bytes and last-write times.
  EXPECT_EQ(Read(Target() + "/sub dir/" + kDataName), "data bytes");
  EXPECT_EQ(MTime(Target() + "/a.dll"), kStamp);
  EXPECT_EQ(MTime(Target() + "/sub dir/" + kDataName), kStamp + 3600);
  EXPECT_FALSE(fs::exists(Target() + "/big.bin.parts"));
  EXPECT_FALSE(fs::exists(Target() + "/a.dll.zip"));
}

TEST_F(PublishTest, DescriptorCarriesHeaderImagesTasksAndSignal) {
  WriteWebSource();
  std::string err;
  ASSERT_TRUE(PublishFolder(WebJob(), err)) << err;

  const std::string xml = Read(Target() + "/Updata.xml");
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << xml;
  EXPECT_EQ(Read(Target() + "/WebUpdata.xml"), xml);
  EXPECT_EQ(Read(Target() + "/Updata.txt"), "ver=1.0.0.2\r\n");

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(xml.c_str()));
  auto root = doc.child("OVXML");
  auto note = root.child("Header").child("Note");
  EXPECT_STREQ(note.attribute("FileCheckMode").value(), "1");
  EXPECT_STREQ(note.attribute("FileCheckZip").value(), "1");  // written in its usual spelling
  EXPECT_STREQ(note.attribute("NoteInfo").value(), "春季 & <更新>");

  auto images = root.child("SliderImgList");
  ASSERT_TRUE(images);
  auto first = images.first_child();
  EXPECT_STREQ(first.attribute("SourceFile").value(), "http://img/slider1.png");
  EXPECT_FALSE(first.attribute("TargetFile"));
  EXPECT_STREQ(first.next_sibling().attribute("TargetFile").value(), ".\\img\\s2.jpg");

  using V = std::vector<std::string>;
  EXPECT_EQ(TaskNames(root.child("OnBeforeUpdaaStop")), (V{"OVSvc", "OVSvc2"}));
  EXPECT_EQ(TaskNames(root.child("OnBeforeUpdaaClose")), (V{"Caldis.exe"}));
  EXPECT_EQ(TaskNames(root.child("OnBeforeUpdaaDelete")), (V{".\\old.dll"}));
  EXPECT_EQ(TaskNames(root.child("OnAfterUpdataRun")), (V{"Caldis.exe"}));
  EXPECT_EQ(TaskNames(root.child("OnAfterUpdataStart")), (V{"OVSvc"}));
}

TEST_F(PublishTest, EmptyListsAreWrittenAndAStaleSignalIsRemoved) {
  WriteWebSource();
  std::string err;
  ASSERT_TRUE(PublishFolder(WebJob(), err)) << err;
  TFolderPublish job;
  job.Source = FSource;
  job.StoreRoot = FStore;
  job.Folder = "updatefiles/ketrin_webapp/";
  ASSERT_TRUE(PublishFolder(job, err)) << err;

  EXPECT_FALSE(fs::exists(Target() + "/Updata.txt"));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((Target() + "/Updata.xml").c_str()));
  auto root = doc.child("OVXML");
  EXPECT_FALSE(root.child("Header").child("Note").first_attribute());
  EXPECT_FALSE(root.child("SliderImgList"));
  for (const char* name : {"OnBeforeUpdaaStop", "OnBeforeUpdaaClose", "OnBeforeUpdaaDelete",
                           "OnAfterUpdataRun", "OnAfterUpdataStart"}) {
    ASSERT_TRUE(root.child(name)) << name;
    EXPECT_FALSE(root.child(name).first_child()) << name;
  }
}

TEST_F(PublishTest, FolderPublishedInPlaceDoesNotListItsOwnDescriptors) {
  const std::string target = Target();
  Write(target + "/app.exe", "program");
  TFolderPublish job;
  job.Source = target;
  job.StoreRoot = FStore;
  job.Folder = "updatefiles/ketrin_webapp";
  job.ModuleCode = "Web";
  job.Version = "2";
  job.Zip = true;
  std::string err;
  ASSERT_TRUE(PublishFolder(job, err)) << err;
  ASSERT_TRUE(PublishFolder(job, err)) << err;

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((target + "/Updata.xml").c_str()));
  auto list = doc.child("OVXML").child("FileList");
  ASSERT_EQ(std::distance(list.children().begin(), list.children().end()), 1);
  EXPECT_STREQ(list.first_child().attribute("FileName").value(), "app.exe");
  EXPECT_EQ(Read(target + "/app.exe"), "program");
}

TEST_F(PublishTest, EverySourceFileIsFetchableFromTheFileStore) {
  WriteWebSource();
  std::string err;
  ASSERT_TRUE(PublishFolder(WebJob(), err)) << err;
  TFileStore store;
  TFileStoreConfig cfg;
  cfg.Root = FStore;
  ASSERT_TRUE(store.Start(cfg));
  httplib::Client client("127.0.0.1", store.Port());

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((Target() + "/Updata.xml").c_str()));
  int fetched = 0;
  for (auto item : doc.child("OVXML").child("FileList").children()) {
    const std::string url =
        "/updatefiles/ketrin_webapp/" + std::string(item.attribute("SourceFile").value());
    auto r = client.Get(url.c_str());
    ASSERT_TRUE(r) << url;
    EXPECT_EQ(r->status, 200) << url;
    EXPECT_EQ(TovLib::GetMd5(r->body), item.attribute("MD5").value()) << url;
    ++fetched;
  }
  EXPECT_EQ(fetched, 3);
  store.Stop();
}

TEST_F(PublishTest, ZipVariantHoldsOnlyTheFileUnderItsBaseName) {
  WriteWebSource();
  auto job = WebJob();
  job.Zip = true;
  std::string err;
  ASSERT_TRUE(PublishFolder(job, err)) << err;

  const std::string zipPath = Target() + "/sub dir/" + kDataName + ".zip";
  int zerr = 0;
  zip_t* za = zip_open(zipPath.c_str(), ZIP_RDONLY, &zerr);
  ASSERT_NE(za, nullptr) << zipPath;
  ASSERT_EQ(zip_get_num_entries(za, 0), 1);
  EXPECT_STREQ(zip_get_name(za, 0, 0), kDataName);
  zip_stat_t st;
  ASSERT_EQ(zip_stat_index(za, 0, 0, &st), 0);
  EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
  std::string body(st.size, '\0');
  zip_file_t* zf = zip_fopen_index(za, 0, 0);
  ASSERT_NE(zf, nullptr);
  EXPECT_EQ(zip_fread(zf, body.data(), body.size()), static_cast<zip_int64_t>(body.size()));
  zip_fclose(zf);
  zip_close(za);
  EXPECT_EQ(body, "data bytes");

  EXPECT_TRUE(fs::exists(Target() + "/a.dll.zip"));
  EXPECT_NE(Read(Target() + "/a.dll.zip"), "stale variant");
  // An archive is fetched as it is, so it gets no variant of its own.
  EXPECT_FALSE(fs::exists(Target() + "/lib.zip.zip"));
}

TEST_F(PublishTest, ZipMinSizeLeavesSmallFilesPlainAndDropsTheirOldVariants) {
  WriteWebSource();
  auto job = WebJob();
  job.Zip = true;
  std::string err;
  ASSERT_TRUE(PublishFolder(job, err)) << err;
  ASSERT_TRUE(fs::exists(Target() + "/a.dll.zip"));

  job.ZipMinSize = 8;  // "hello" is 5 bytes, "data bytes" 10
  ASSERT_TRUE(PublishFolder(job, err)) << err;
  EXPECT_FALSE(fs::exists(Target() + "/a.dll.zip"));
  EXPECT_TRUE(fs::exists(Target() + "/sub dir/" + kDataName + ".zip"));
  EXPECT_EQ(Read(Target() + "/a.dll"), "hello");
}

TEST_F(PublishTest, BadDescriptorOptionsWriteNothing) {
  WriteWebSource();
  std::string err;
  auto job = WebJob();
  job.Tasks.push_back({2, 9, "x"});
  EXPECT_FALSE(PublishFolder(job, err));
  EXPECT_NE(err.find("2:9"), std::string::npos) << err;

  job = WebJob();
  job.Note.push_back({"NoSuchOption", "1"});
  EXPECT_FALSE(PublishFolder(job, err));
  EXPECT_NE(err.find("NoSuchOption"), std::string::npos) << err;

  job = WebJob();
  job.Note.push_back({"fileCheckMode", "0"});
  EXPECT_FALSE(PublishFolder(job, err));
  EXPECT_NE(err.find("twice"), std::string::npos) << err;

  job = WebJob();
  job.ModuleCode = "../Web";
  EXPECT_FALSE(PublishFolder(job, err));

  job = WebJob();
  job.Version = "1.0\r\nver=9";
  EXPECT_FALSE(PublishFolder(job, err));

  job = WebJob();
  job.Source = FRoot + "/missing";
  EXPECT_FALSE(PublishFolder(job, err));
  EXPECT_NE(err.find("missing"), std::string::npos) << err;

  EXPECT_TRUE(Tree(FStore).empty());
}

TEST_F(PublishTest, FoldersOutsideTheStoreAreRefused) {
  WriteWebSource();
  for (const char* folder : {"..", "../x", "a/../../x", "/tmp/x", "a\\b", "", "a//b", "./a"}) {
    auto job = WebJob();
    job.Folder = folder;
    std::string err;
    EXPECT_FALSE(PublishFolder(job, err)) << folder;
    EXPECT_FALSE(err.empty()) << folder;
  }
  EXPECT_TRUE(Tree(FStore).empty());
  EXPECT_FALSE(fs::exists(FRoot + "/x"));

  std::string normal, err;
  EXPECT_TRUE(CheckStoreFolder("versions/61063/1.0.5/", normal, err)) << err;
  EXPECT_EQ(normal, "versions/61063/1.0.5");
}

TEST_F(PublishTest, SourceAndDestinationMayNotContainEachOther) {
  Write(FStore + "/raw/a.dll", "hello");
  TFolderPublish job;
  job.StoreRoot = FStore;
  job.Source = FStore + "/raw";
  job.Folder = "raw/out";
  std::string err;
  EXPECT_FALSE(PublishFolder(job, err));
  EXPECT_NE(err.find("overlap"), std::string::npos) << err;
  job.Source = FStore;
  job.Folder = "raw";
  EXPECT_FALSE(PublishFolder(job, err));
  EXPECT_EQ(Tree(FStore), (std::vector<std::string>{"raw", "raw/a.dll"}));
}

TEST(PublishEncoding, KeepsUnreservedAndSlashesEncodesTheRest) {
  EXPECT_EQ(EncodeUrlPath("a-b_c.d~e/F9"), "a-b_c.d~e/F9");
  EXPECT_EQ(EncodeUrlPath("my file+x%#?&.txt"), "my%20file%2Bx%25%23%3F%26.txt");
  EXPECT_EQ(EncodeUrlPath("\xC3\xA9"), "%C3%A9");
}

TEST(PublishTaskText, ParsesNodeTypeAndFile) {
  TPublishTask t;
  std::string err;
  ASSERT_TRUE(ParsePublishTask("0:8:C:\\old\\a.dll", t, err)) << err;
  EXPECT_EQ(t.ExecNode, 0);
  EXPECT_EQ(t.TaskType, 8);
  EXPECT_EQ(t.TaskFile, "C:\\old\\a.dll");
  for (const char* bad : {"0:3", "0:3:", "x:3:svc", "0:3x:svc", ":3:svc", "svc", ""}) {
    EXPECT_FALSE(ParsePublishTask(bad, t, err)) << bad;
  }
}

// ---- version for the version server ----

class PublishVersionTest : public PublishTest {
 protected:
  TVersionPublish Job() {
    TVersionPublish job;
    job.Source = FSource;
    job.StoreRoot = FStore;
    job.Folder = "versions/61063/1.0.5";
    job.Catalogue = FRoot + "/catalogue.json";
    job.ItemId = "80001888";
    job.PosType = "61063";
    job.VerNo = "1.0.5";
    job.VerName = "春季版";
    job.VerFileId = 123;
    job.VerDate = "2026-01-02 03:04:05";
    job.Tasks = {{0, 3, "OVCaldisSvc"}, {1, 4, "OVCaldisSvc"}};
    return job;
  }
  TCatalogue Load() {
    TCatalogue cat;
    std::string err;
    EXPECT_TRUE(cat.Load(FRoot + "/catalogue.json", err)) << err;
    return cat;
  }
};

TEST_F(PublishVersionTest, CatalogueDescribesTheCopiedFilesAndTasks) {
  Write(FSource + "/Caldis.exe", "hello");
  Write(FSource + "/bin/" + std::string(kDataName), "data bytes");
  Write(FSource + "/Caldis.exe.zip", "stale variant");
  std::string err;
  ASSERT_TRUE(PublishVersion(Job(), err)) << err;

  const auto cat = Load();
  ASSERT_EQ(cat.Versions.size(), 1u);
  const auto& v = cat.Versions[0];
  EXPECT_EQ(v["item_id"], "80001888");
  EXPECT_EQ(v["softid"], "*");
  EXPECT_EQ(v["branch_jg"], "*");
  EXPECT_EQ(v["jh_no"], "*");
  EXPECT_EQ(v["up_ver_no"], "1.0.5");
  EXPECT_EQ(v["up_ver_name"], "春季版");
  EXPECT_EQ(v["up_file_id"], 123);
  EXPECT_EQ(v["ver_file_id"], 123);
  EXPECT_EQ(v["forceupdate"], "0");
  EXPECT_EQ(v["ver_up_date"], "2026-01-02 03:04:05");

  const auto& files = cat.Details["123"]["file_detail"];
  ASSERT_EQ(files.size(), 2u);
  // Sorted by the bytes of the path: "Caldis.exe" before "bin/数据.dll".
  const auto& d = files[1];
  EXPECT_EQ(d["id"], 2);
  EXPECT_EQ(d["sort_no"], 2);
  EXPECT_EQ(d["file_name"], kDataName);
  EXPECT_EQ(d["file_type"], "dll");
  EXPECT_EQ(d["file_key"], TovLib::GetMd5("data bytes"));
  EXPECT_EQ(d["file_size"], 10);
  EXPECT_EQ(d["file_url"], "/versions/61063/1.0.5/bin/%E6%95%B0%E6%8D%AE.dll");
  EXPECT_EQ(d["file_addr"], std::string(".\\bin\\") + kDataName);
  const auto& c = files[0];
  EXPECT_EQ(c["id"], 1);
  EXPECT_EQ(c["file_key"], kHelloMd5);
  EXPECT_EQ(c["file_date"], "2023-11-15 06:13:20");
  EXPECT_EQ(c["time_chg"], "2023-11-15 06:13:20");
  EXPECT_EQ(c["file_url"], "/versions/61063/1.0.5/Caldis.exe");
  EXPECT_EQ(c["file_addr"], ".\\Caldis.exe");

  const auto& tasks = cat.Details["123"]["task_detail"];
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks[1]["ver_id"], 123);
  EXPECT_EQ(tasks[1]["sort_no"], 2);
  EXPECT_EQ(tasks[1]["exec_node"], 1);
  EXPECT_EQ(tasks[1]["task_type"], 4);
  EXPECT_EQ(tasks[1]["task_file"], "OVCaldisSvc");

  const std::string target = FStore + "/versions/61063/1.0.5";
  EXPECT_EQ(Read(target + "/bin/" + kDataName), "data bytes");
  EXPECT_EQ(MTime(target + "/Caldis.exe"), kStamp);
  EXPECT_FALSE(fs::exists(target + "/Caldis.exe.zip"));
}

TEST_F(PublishVersionTest, RepublishReplacesTheVersionOfTheSameModule) {
  Write(FSource + "/Caldis.exe", "hello");
  std::string err;
  auto job = Job();
  ASSERT_TRUE(PublishVersion(job, err)) << err;
  job.VerNo = "1.0.6";
  job.Folder = "versions/61063/1.0.6";
  job.VerFileId = 124;
  job.UpFileId = 125;
  job.Zip = true;
  ASSERT_TRUE(PublishVersion(job, err)) << err;
  job.PosType = "61064";
  ASSERT_TRUE(PublishVersion(job, err)) << err;

  const auto cat = Load();
  ASSERT_EQ(cat.Versions.size(), 2u);
  EXPECT_EQ(cat.Versions[0]["ver_no"], "1.0.6");
  EXPECT_EQ(cat.Versions[0]["ver_file_id"], 124);
  EXPECT_EQ(cat.Versions[0]["up_file_id"], 125);
  EXPECT_EQ(cat.Details["125"]["task_detail"][0]["ver_id"], 125);
  EXPECT_TRUE(fs::exists(FStore + "/versions/61063/1.0.6/Caldis.exe.zip"));
}

TEST_F(PublishVersionTest, MalformedCatalogueIsReportedAndLeftAlone) {
  Write(FSource + "/Caldis.exe", "hello");
  const std::string bad = "{\"versions\": [ not json";
  Write(FRoot + "/catalogue.json", bad);
  std::string err;
  EXPECT_FALSE(PublishVersion(Job(), err));
  EXPECT_NE(err.find("catalogue.json"), std::string::npos) << err;
  EXPECT_EQ(Read(FRoot + "/catalogue.json"), bad);
  EXPECT_TRUE(Tree(FStore).empty());

  Write(FRoot + "/catalogue.json", "{\"versions\": {}}");
  EXPECT_FALSE(PublishVersion(Job(), err));
  EXPECT_EQ(Read(FRoot + "/catalogue.json"), "{\"versions\": {}}");
}

TEST_F(PublishVersionTest, MissingRecordFieldsAreRefused) {
  Write(FSource + "/Caldis.exe", "hello");
  std::string err;
  auto job = Job();
  job.VerFileId = 0;
  EXPECT_FALSE(PublishVersion(job, err));
  job = Job();
  job.ItemId.clear();
  EXPECT_FALSE(PublishVersion(job, err));
  job = Job();
  job.Folder = "versions/../../etc";
  EXPECT_FALSE(PublishVersion(job, err));
  EXPECT_FALSE(fs::exists(FRoot + "/catalogue.json"));
  EXPECT_TRUE(Tree(FStore).empty());
}

// ---- slide images ----

TEST_F(PublishTest, SlidesAreNumberedInNameOrderAndOldOnesRemoved) {
  Write(FSource + "/b.jpg", "bee");
  Write(FSource + "/a.PNG", "ay");
  Write(FSource + "/c.png", "see");
  const std::string target = FStore + "/updatefiles/ketrin_sdimgs";
  Write(target + "/slider2.png", "old png that would shadow slider2.jpg");
  Write(target + "/Slider4.JPG", "old fourth");
  Write(target + "/notes.txt", "kept");
  std::string err;
  ASSERT_TRUE(PublishSlides({FSource, FStore, "ketrin"}, err)) << err;

  EXPECT_EQ(Tree(target),
            (std::vector<std::string>{"notes.txt", "slider1.png", "slider2.jpg", "slider3.png"}));
  EXPECT_EQ(Read(target + "/slider1.png"), "ay");
  EXPECT_EQ(Read(target + "/slider2.jpg"), "bee");
  EXPECT_EQ(Read(target + "/slider3.png"), "see");
}

TEST_F(PublishTest, SlidesBeyondThirtyTwoOrNotImagesAreRefused) {
  for (int i = 0; i < 33; ++i) Write(FSource + "/img" + std::to_string(100 + i) + ".png", "x");
  std::string err;
  EXPECT_FALSE(PublishSlides({FSource, FStore, "ketrin"}, err));
  EXPECT_NE(err.find("33"), std::string::npos) << err;
  fs::remove(FSource + "/img100.png");
  Write(FSource + "/readme.txt", "x");
  EXPECT_FALSE(PublishSlides({FSource, FStore, "ketrin"}, err));
  EXPECT_NE(err.find("readme.txt"), std::string::npos) << err;
  fs::remove(FSource + "/readme.txt");
  EXPECT_FALSE(PublishSlides({FSource, FStore, "ketrin/../.."}, err));
  EXPECT_TRUE(Tree(FStore).empty());
  ASSERT_TRUE(PublishSlides({FSource, FStore, "ketrin"}, err)) << err;
  EXPECT_TRUE(fs::exists(FStore + "/updatefiles/ketrin_sdimgs/slider32.png"));
}

// ---- enterprises ----

TEST_F(PublishTest, EnterpriseTakesItsParametersFromAJsonObject) {
  const std::string catalogue = FRoot + "/catalogue.json";
  Write(FRoot + "/params.json", R"({"softid":1001,"carouselpicurls":["http://a/1.png"]})");
  std::string err;
  ASSERT_TRUE(PublishEnterprise({catalogue, 1001, "ABC", FRoot + "/params.json"}, err)) << err;
  Write(FRoot + "/params.json", R"({"softid":1001,"vip_apiurl":"http://vip"})");
  ASSERT_TRUE(PublishEnterprise({catalogue, 1001, "ABC", FRoot + "/params.json"}, err)) << err;

  TCatalogue cat;
  ASSERT_TRUE(cat.Load(catalogue, err)) << err;
  ASSERT_EQ(cat.Enterprises.size(), 1u);
  EXPECT_EQ(cat.Enterprises[0]["install_code"], "ABC");
  EXPECT_EQ(cat.Enterprises[0]["data"]["vip_apiurl"], "http://vip");

  const std::string before = Read(catalogue);
  for (const char* data : {"[1,2]", "{\"softid\":", "\"text\""}) {
    Write(FRoot + "/params.json", data);
    EXPECT_FALSE(PublishEnterprise({catalogue, 1002, "XYZ", FRoot + "/params.json"}, err));
    EXPECT_NE(err.find("params.json"), std::string::npos) << err;
  }
  EXPECT_FALSE(PublishEnterprise({catalogue, 1002, "XYZ", FRoot + "/none.json"}, err));
  EXPECT_FALSE(PublishEnterprise({catalogue, 1002, "", FRoot + "/params.json"}, err));
  EXPECT_EQ(Read(catalogue), before);
}

// ---- the program ----

struct TRun {
  int Code = -1;
  std::string Output;
};

TRun RunPublish(const std::string& aArgs) {
  TRun r;
  FILE* p = popen((std::string(OV_PUBLISH_BIN) + " " + aArgs + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Output.append(buf, n);
  const int status = pclose(p);
  r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST_F(PublishTest, ProgramReportsBadArgumentsAndFailures) {
  auto r = RunPublish("folder --source " + FSource + " --bogus 1");
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(r.Output.find("unknown option --bogus"), std::string::npos) << r.Output;
  EXPECT_NE(r.Output.find("usage:"), std::string::npos) << r.Output;

  r = RunPublish("version --source " + FSource + " --store " + FStore);
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(r.Output.find("is required"), std::string::npos) << r.Output;

  r = RunPublish("enterprise --catalogue c --softid 12x --install-code A --data d");
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(r.Output.find("--softid"), std::string::npos) << r.Output;

  r = RunPublish("nothing");
  EXPECT_EQ(r.Code, 2);

  Write(FSource + "/a.dll", "hello");
  r = RunPublish("folder --source " + FSource + " --store " + FStore + " --folder ..");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Output.find("\"..\""), std::string::npos) << r.Output;
  EXPECT_TRUE(Tree(FStore).empty());

  r = RunPublish("folder --source " + FSource + " --store " + FStore +
                 " --folder updatefiles/ketrin_webapp --module Web --version 3 --zip"
                 " --note FileCheckZip=1 --task 0:3:OVSvc");
  EXPECT_EQ(r.Code, 0) << r.Output;
  EXPECT_TRUE(fs::exists(Target() + "/WebUpdata.xml"));
  EXPECT_TRUE(fs::exists(Target() + "/a.dll.zip"));
}

}  // namespace
