#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/TestPrefix.h"
#include "platform/IniFile.h"
#include "platform/SettingsStore.h"

// The INI stand-in as such: two processes write one store file under its lock.
extern char** environ;

using namespace ov::platform;

namespace {

const char* const kKey = "SOFTWARE\\OVTest";

// A running ovstore_writer whose completed values arrive on a pipe.
struct Writer {
  pid_t pid = -1;
  FILE* out = nullptr;

  Writer(const std::string& name, long count) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    std::string countText = std::to_string(count);
    char* argv[] = {const_cast<char*>(OV_STORE_WRITER), const_cast<char*>(name.c_str()),
                    const_cast<char*>(countText.c_str()), nullptr};
    if (posix_spawn(&pid, OV_STORE_WRITER, &fa, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    out = fdopen(fds[0], "r");
  }
  ~Writer() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out) fclose(out);
  }
  // Next completed value, -1 at the end.
  long Next() {
    long v = -1;
    if (!out || fscanf(out, "%ld", &v) != 1) return -1;
    return v;
  }
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

std::string Read(RootKey root, const std::string& name) {
  std::string v;
  return SettingsStore::ReadString(root, kKey, name, v) ? v : std::string("<missing>");
}

}  // namespace

using SettingsStorePosixTest = TPrefixTest;

TEST_F(SettingsStorePosixTest, EachKeyPathIsOneSectionOfTheRootsFile) {
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\OVOnlineSetup",
                                         "KetrinPath", "D:\\Ondrevo\\Ketrin\\"));
  // No section stands for the parent key.
  EXPECT_FALSE(SettingsStore::KeyExists(RootKey::LocalMachine, "SOFTWARE\\ONDREVO"));
  IniFile ini;
  ASSERT_TRUE(ini.LoadHost(SettingsStore::StoreFile(RootKey::LocalMachine)));
  EXPECT_EQ(ini.GetValue("SOFTWARE\\ONDREVO\\OVOnlineSetup", "KetrinPath"),
            "D:\\Ondrevo\\Ketrin\\");
}

TEST_F(SettingsStorePosixTest, TwoProcessesWritingAtOnceKeepBothValues) {
  {
    Writer a("First", 150);
    Writer b("Second", 150);
    ASSERT_GT(a.pid, 0);
    ASSERT_GT(b.pid, 0);
    EXPECT_EQ(a.Wait(), 0);
    EXPECT_EQ(b.Wait(), 0);
  }
  EXPECT_EQ(Read(RootKey::LocalMachine, "First"), "150");
  EXPECT_EQ(Read(RootKey::LocalMachine, "Second"), "150");
}

TEST_F(SettingsStorePosixTest, KilledWriterLeavesTheLastCompletedValue) {
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "Other", "kept"));
  for (int round = 0; round < 3; ++round) {
    long last = 0;
    {
      Writer w("Loop", 0);
      ASSERT_GT(w.pid, 0);
      const long stopAt = 20 + round * 17;
      while (last < stopAt) {
        long v = w.Next();
        ASSERT_GT(v, 0);
        last = v;
      }
      kill(w.pid, SIGKILL);
      waitpid(w.pid, nullptr, 0);
      w.pid = -1;
      // Values that completed before the kill but were still in the pipe.
      for (long v = w.Next(); v > 0; v = w.Next()) last = v;
    }
    IniFile ini;
    ASSERT_TRUE(ini.LoadHost(SettingsStore::StoreFile(RootKey::LocalMachine)));
    EXPECT_EQ(ini.GetValue(kKey, "Other"), "kept");
    long stored = std::stol(ini.GetValue(kKey, "Loop", "0"));
    // The write in flight may have completed without being reported.
    EXPECT_TRUE(stored == last || stored == last + 1) << stored << " vs " << last;
  }
}
