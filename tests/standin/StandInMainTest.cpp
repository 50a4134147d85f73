#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "base/OVLibUtil.h"
#include "common/TestCert.h"

namespace {

std::string ReadAll(const std::string& aFile) {
  std::ifstream in(aFile);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class StandInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovproc.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    FDir = tmpl;
    std::filesystem::create_directories(FDir + "/root/versions");
    std::ofstream(FDir + "/root/versions/a.txt") << "hello";
  }
  void TearDown() override {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
    std::filesystem::remove_all(FDir);
  }
  // Starts ovstandin with the arguments; waits for its ready file.
  bool Start(std::vector<std::string> aArgs) {
    aArgs.insert(aArgs.begin(), OV_STANDIN_BIN);
    aArgs.push_back("--ready-file");
    aArgs.push_back(FDir + "/ready");
    FPid = fork();
    if (FPid == 0) {
      std::vector<char*> argv;
      for (auto& a : aArgs) argv.push_back(a.data());
      argv.push_back(nullptr);
      if (!freopen("/dev/null", "w", stdout)) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::filesystem::exists(FDir + "/ready")) {
        std::istringstream in(ReadAll(FDir + "/ready"));
        std::string line;
        while (std::getline(in, line)) {
          size_t eq = line.find('=');
          if (eq != std::string::npos) FPorts[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
        }
        return true;
      }
      int status = 0;
      if (waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        FExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  int Stop() {
    kill(FPid, SIGTERM);
    int status = 0;
    waitpid(FPid, &status, 0);
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string FDir;
  pid_t FPid = -1;
  int FExit = 0;
  std::map<std::string, int> FPorts;
};

}  // namespace

TEST_F(StandInProcess, ServesAllThreeServicesFromOneSettingsFile) {
  std::string cert, key;
  ASSERT_TRUE(MakeTestCertificate(FDir, cert, key));
  std::ofstream(FDir + "/services.ini") << "[Services]\r\nSignPrefix=ZXCV\r\nSignSuffix=5150\r\n";
  std::ofstream(FDir + "/catalogue.json")
      << R"({"details":{"7":{"file_detail":[{"file_name":"a.txt","file_url":"/versions/a.txt"}]}}})";
  ASSERT_TRUE(Start({"--root", FDir + "/root", "--port", "0", "--version-port", "0", "--settings",
                     FDir + "/services.ini", "--catalogue", FDir + "/catalogue.json", "--cert",
                     cert, "--key", key}));
  ASSERT_GT(FPorts["file_store_port"], 0);
  ASSERT_GT(FPorts["version_server_port"], 0);
  ASSERT_GT(FPorts["platform_port"], 0);

  httplib::Client ver("127.0.0.1", FPorts["version_server_port"]);
  const std::string sg = TovLib::GetMd5("ZXCVfile_id=75150");
  auto r = ver.Post("/FileInfo/GetDetailInfo", R"({"file_id":7,"sg":")" + sg + "\"}",
                    "application/json");
  ASSERT_TRUE(r);
  auto j = nlohmann::json::parse(r->body);
  ASSERT_EQ(j["resp_code"], "1000");
  const std::string url = j["data"]["file_detail"][0]["file_url"];
  const std::string store = "http://127.0.0.1:" + std::to_string(FPorts["file_store_port"]);
  ASSERT_EQ(url, store + "/versions/a.txt");
  httplib::Client files("127.0.0.1", FPorts["file_store_port"]);
  auto f = files.Get("/versions/a.txt");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->body, "hello");

  httplib::SSLClient plat("127.0.0.1", FPorts["platform_port"]);
  plat.set_ca_cert_path(cert.c_str());
  auto p = plat.Post("/api/enterprise/getinstallconfig", "{}", "application/json");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->status, 200);
  EXPECT_NE(p->body.find("\"iv\""), std::string::npos);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(StandInProcess, RefusesBadSettingsAndArguments) {
  std::ofstream(FDir + "/bad.ini") << "[Services]\r\nSignPrefix=lower\r\n";
  EXPECT_FALSE(
      Start({"--root", FDir + "/root", "--version-port", "0", "--settings", FDir + "/bad.ini"}));
  EXPECT_EQ(FExit, 2);
  EXPECT_FALSE(Start({"--root", FDir + "/root", "--version-port", "99999"}));
  EXPECT_EQ(FExit, 2);
  EXPECT_FALSE(Start({"--root", FDir + "/root", "--settings", FDir + "/missing.ini"}));
  EXPECT_EQ(FExit, 2);
}
