#include <gtest/gtest.h>

#include <string>

#include "common/TestPrefix.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

using namespace ov::platform;

namespace {

const char* const kKey = "SOFTWARE\\OVTest";

std::string Read(RootKey root, const std::string& name) {
  std::string v;
  return SettingsStore::ReadString(root, kKey, name, v) ? v : std::string("<missing>");
}

}  // namespace

using SettingsStoreTest = TPrefixTest;

TEST_F(SettingsStoreTest, ValuesLiveUnderKeyPathsWithoutRegardToCase) {
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, "SOFTWARE\\ONDREVO\\OVOnlineSetup",
                                         "KetrinPath", "D:\\Ondrevo\\Ketrin\\"));
  std::string v;
  ASSERT_TRUE(SettingsStore::ReadString(RootKey::LocalMachine, "software\\ondrevo\\ovonlinesetup",
                                        "ketrinpath", v));
  EXPECT_EQ(v, "D:\\Ondrevo\\Ketrin\\");
  EXPECT_TRUE(
      SettingsStore::KeyExists(RootKey::LocalMachine, "\\SOFTWARE\\ONDREVO\\OVOnlineSetup\\"));
  EXPECT_FALSE(SettingsStore::ReadString(RootKey::CurrentUser, "SOFTWARE\\ONDREVO\\OVOnlineSetup",
                                         "KetrinPath", v));  // the other root
}

TEST_F(SettingsStoreTest, KeysValuesAndDeletion) {
  EXPECT_TRUE(
      SettingsStore::CreateKey(RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\services\\svc"));
  EXPECT_TRUE(
      SettingsStore::KeyExists(RootKey::LocalMachine, "system\\currentcontrolset\\SERVICES\\svc"));
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "A", "1"));
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "B", "中文值"));
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "a", "2"));
  std::vector<std::string> names;
  ASSERT_TRUE(SettingsStore::ValueNames(RootKey::LocalMachine, kKey, names));
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Read(RootKey::LocalMachine, "A"), "2");
  EXPECT_EQ(Read(RootKey::LocalMachine, "b"), "中文值");
  EXPECT_TRUE(SettingsStore::DeleteValue(RootKey::LocalMachine, kKey, "A"));
  EXPECT_FALSE(SettingsStore::DeleteValue(RootKey::LocalMachine, kKey, "A"));
  EXPECT_EQ(Read(RootKey::LocalMachine, "A"), "<missing>");
  EXPECT_FALSE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "C", "x\r\n[Evil]"));
  EXPECT_FALSE(SettingsStore::KeyExists(RootKey::LocalMachine, "Evil"));
  EXPECT_FALSE(SettingsStore::WriteString(RootKey::LocalMachine, "", "C", "x"));
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeOpenedActsLikeAnUnopenableKey) {
  ASSERT_TRUE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "A", "1"));
  fs::InjectFault(fs::Op::Open, SettingsStore::StoreFile(RootKey::LocalMachine));
  std::string v;
  EXPECT_FALSE(SettingsStore::ReadString(RootKey::LocalMachine, kKey, "A", v));
  EXPECT_FALSE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "A", "2"));
  EXPECT_FALSE(SettingsStore::KeyExists(RootKey::LocalMachine, kKey));
  EXPECT_FALSE(SettingsStore::CreateKey(RootKey::LocalMachine, "X"));
  fs::ClearFaults();
  EXPECT_EQ(Read(RootKey::LocalMachine, "A"), "1");
  // A failed replacement leaves the old store readable.
  fs::InjectFault(fs::Op::Write, SettingsStore::StoreFile(RootKey::LocalMachine));
  EXPECT_FALSE(SettingsStore::WriteString(RootKey::LocalMachine, kKey, "A", "3"));
  fs::ClearFaults();
  EXPECT_EQ(Read(RootKey::LocalMachine, "A"), "1");
}
