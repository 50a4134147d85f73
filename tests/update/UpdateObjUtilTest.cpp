#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/OVError.h"
#include "update/UpdateObjUtil.h"
#include "update/UpdateUtil.h"

TEST(UpdateObj, FreshStateIsIdleAndEmpty) {
  TSyncObj s;
  EXPECT_EQ(s.UpdateModel(), 1);
  EXPECT_TRUE(s.DownFinished());
  EXPECT_EQ(s.FileIndex(), -1);
  EXPECT_EQ(s.ImgIndexForTest(), -1);
  EXPECT_EQ(s.ProcExitUpdate(), 0);
  EXPECT_EQ(s.FileCheckMode(), 0);
  EXPECT_EQ(s.AutoFlag(), 0);
  EXPECT_EQ(s.BeginTime(), 0);
  EXPECT_EQ(s.NeedTimeForTest(), 0);
  EXPECT_EQ(s.NoteInfo(), "");
  EXPECT_EQ(s.AppNewVer(), "");
  EXPECT_EQ(s.FileCheckZip(), "");
  EXPECT_FALSE(s.IsAppExit());
  EXPECT_FALSE(s.IsWinShutdown());
  EXPECT_FALSE(s.UpdateSucessed());
  EXPECT_EQ(s.UpdatePath().v(), "");
  EXPECT_EQ(s.CustInstPkg().v(), "");
  EXPECT_EQ(s.FileServerType().v(), "");
  EXPECT_EQ(s.UMPFlag().v(), 0);
  EXPECT_EQ(s.UMPVerFId().v(), "");
  EXPECT_EQ(s.UMPProtRegFlag().v(), 0);
  EXPECT_EQ(s.WorkCode().v(), 0);
  EXPECT_EQ(s.WorkData().v(), "");
  EXPECT_TRUE(s.FileList.empty());
  EXPECT_TRUE(s.ImgList.empty());
  EXPECT_TRUE(s.FBeforeStopList.empty());
  EXPECT_TRUE(s.FAfterStartList.empty());
}

TEST(UpdateObj, PropertiesWriteThrough) {
  TSyncObj s;
  s.SetFileCheckMode(1);
  s.SetFileCheckZip("1");
  s.SetIsAppExit(true);
  s.SetUpdateSucessed(true);
  s.SetBeginTime(INT64_C(1) << 40);
  s.WorkCode().SetV(-1);
  s.WorkData().SetV("下载失败");
  EXPECT_EQ(s.FileCheckMode(), 1);
  EXPECT_EQ(s.FileCheckZip(), "1");
  EXPECT_TRUE(s.IsAppExit());
  EXPECT_TRUE(s.UpdateSucessed());
  EXPECT_EQ(s.BeginTime(), INT64_C(1) << 40);
  EXPECT_EQ(s.WorkCode().v(), -1);
  EXPECT_EQ(s.WorkData().v(), "下载失败");
  // The holders are never replaced: the same object is handed out each time.
  EXPECT_EQ(&s.WorkCode(), &s.WorkCode());
}

TEST(UpdateObj, StringPropertyIsNeverTorn) {
  TSyncObj s;
  const std::string a(4096, 'a');
  const std::string b(8192, 'b');
  std::atomic<bool> stop{false};
  std::atomic<bool> torn{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) s.SetNoteInfo((i & 1) ? a : b);
    stop = true;
  });
  std::thread reader([&] {
    while (!stop) {
      std::string v = s.NoteInfo();
      if (!v.empty() && v != a && v != b) torn = true;
    }
  });
  writer.join();
  reader.join();
  EXPECT_FALSE(torn.load());
}

TEST(UpdateObj, ListLocksExcludeOtherThreadsAndNestFileListOutside) {
  TSyncObj s;
  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false};
  auto fill = [&](int id) {
    for (int i = 0; i < 300; ++i) {
      auto files = s.FileListGuard();
      if (inside.fetch_add(1) != 0) overlap = true;
      auto f = std::make_unique<TFileInfo>();
      f->FileName = std::to_string(id);
      s.FileList.push_back(std::move(f));
      {
        auto tasks = s.FAfterStartListGuard();  // the one permitted nesting
        s.FAfterStartList.push_back("svc" + std::to_string(id));
      }
      inside.fetch_sub(1);
    }
  };
  std::thread t1(fill, 1);
  std::thread t2(fill, 2);
  t1.join();
  t2.join();
  EXPECT_FALSE(overlap.load());
  EXPECT_EQ(s.FileList.size(), 600u);
  EXPECT_EQ(s.FAfterStartList.size(), 600u);
  s.FileListLock();
  s.ClearFileList();  // re-entrant: the caller already holds the lock
  s.FileListUnLock();
  EXPECT_TRUE(s.FileList.empty());
}

TEST(UpdateObj, ProcessWideInstances) {
  EXPECT_FALSE(HasSyncObj());
  EXPECT_THROW(SyncObj(), ov::Error);
  CreateSyncObj();
  ASSERT_TRUE(HasSyncObj());
  SyncObj().WorkCode().SetV(1);
  EXPECT_EQ(SyncObj().WorkCode().v(), 1);
  FreeSyncObj();
  EXPECT_FALSE(HasSyncObj());

  CreateOvUpdate();
  ASSERT_NE(OvUpdate(), nullptr);
  EXPECT_EQ(OvUpdate()->FAppTitle, "Pellavo软件客户端智能更新");
  EXPECT_EQ(OvUpdate()->FAppVer, "1.0.0.2");
  EXPECT_FALSE(OvUpdate()->FOnlyCheck);
  EXPECT_FALSE(OvUpdate()->FOnAppRestart);
  FreeOvUpdate();
  EXPECT_EQ(OvUpdate(), nullptr);
}
