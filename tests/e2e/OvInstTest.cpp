// Whole installs: the ovinst program, copied into the test's program folder with its settings,
// against the stand-in services.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/OVLibUtil.h"
#include "common/ServiceTest.h"
#include "platform/SettingsStore.h"

namespace stdfs = std::filesystem;

namespace {

class OvInstTest : public TServiceTest {
 protected:
  void SetUp() override {
    TServiceTest::SetUp();
    FBin = Host("C:\\OVTest\\ovinst");
    stdfs::copy_file(OV_INST_BIN, FBin, stdfs::copy_options::overwrite_existing);
    const std::string src = stdfs::path(Prefix()).parent_path().string() + "/src";
    stdfs::create_directories(src + "/web/js");
    stdfs::create_directories(src + "/pos");
    std::ofstream(src + "/web/OVWebClient.exe") << "web";
    std::ofstream(src + "/web/js/应用.js") << std::string(30000, 'j');
    std::ofstream(src + "/pos/Caldis.exe") << "pos";
    PublishKetrin(src, true);
  }
  // Runs ovinst with the arguments; its exit code, its stderr in aErr.
  int Run(std::vector<std::string> aArgs, std::string& aErr) {
    const std::string errFile = Prefix() + "/../ovinst.err";
    aArgs.insert(aArgs.begin(), FBin);
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (auto& s : aArgs) argv.push_back(s.data());
      argv.push_back(nullptr);
      if (!freopen("/dev/null", "w", stdout) || !freopen(errFile.c_str(), "w", stderr)) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    aErr = ReadHost(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string FBin;
};

}  // namespace

TEST_F(OvInstTest, InstallsBothKetrinModulesAndRemembersTheChoices) {
  std::string err;
  ASSERT_EQ(Run({"--modules", "web,pos", "--dir", "C:\\Soft"}, err), 0) << err;
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\OVWebClient.exe")), "web");
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Web\\js\\应用.js")), std::string(30000, 'j'));
  EXPECT_EQ(ReadHost(Host("C:\\Soft\\Caldis\\Caldis.exe")), "pos");
  EXPECT_TRUE(HostExists(Host("C:\\Soft\\Web\\OVWebClient.ini")));
  std::string v;
  using ov::platform::RootKey;
  using ov::platform::SettingsStore;
  ASSERT_TRUE(SettingsStore::ReadString(RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\OVOnlineSetup",
                                        "KetrinPath", v));
  EXPECT_EQ(v, "C:\\Soft");
  ASSERT_TRUE(SettingsStore::ReadString(RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\OVOnlineSetup",
                                        "KetrinWeb", v));
  EXPECT_EQ(v, "1");
}

TEST_F(OvInstTest, BadArgumentsAndFailuresHaveTheirExitCodes) {
  std::string err;
  EXPECT_EQ(Run({"--product", "nosuch"}, err), 2);
  EXPECT_NE(err.find("usage: ovinst"), std::string::npos);
  EXPECT_EQ(Run({"--lang", "FR"}, err), 2);
  EXPECT_EQ(Run({"--product", "corvela"}, err), 2);
  FStore.AddFault({.Pattern = "/updatefiles/ketrin_webapp/Updata.xml", .ForceStatus = 404});
  EXPECT_EQ(Run({"--modules", "web", "--dir", "C:\\Soft"}, err), 1);
  EXPECT_NE(err.find("ovinst: 请求服务器失败 404: Not Found"), std::string::npos) << err;
}
