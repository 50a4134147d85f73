#include "base/OVSyncObj.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(OVSyncObj, ScalarHoldersKeepTheirDefault) {
  TOVSyncInt i(100);
  EXPECT_EQ(i.v(), 100);
  EXPECT_EQ(i.DefValue(), 100);
  i.SetV(5);
  EXPECT_EQ(i.v(), 5);
  EXPECT_EQ(i.DefValue(), 100);
  i.ResetDef();
  EXPECT_EQ(i.v(), 100);

  TOVSyncStr s("x");
  s.SetV("程序");
  EXPECT_EQ(s.v(), "程序");
  EXPECT_EQ(s.DefValue(), "x");
  TOVSyncInt64 big(0);
  big.SetV(INT64_C(0x7FFFFFFF00000001));
  EXPECT_EQ(big.v(), INT64_C(0x7FFFFFFF00000001));
}

TEST(OVSyncObj, StringCopiesAreIndependentOfTheHolder) {
  TOVSyncStr s("");
  s.SetV("first");
  std::string copy = s.v();
  s.SetV("second");
  EXPECT_EQ(copy, "first");
}

TEST(OVSyncObj, ListAddReplacesInPlaceWithoutRegardToCase) {
  TOVSyncStringList l("");
  EXPECT_EQ(l.Count(), 0);
  l.Add("a", "1");
  l.Add("b", "x");
  l.Add("A", "2");
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.GetValue("a"), "2");
  EXPECT_EQ(l.GetCommaText(), "A=2,b=x");  // the line became "A=2" at the first position
}

TEST(OVSyncObj, ListEmptyValueRemovesOnlyAnExistingEntry) {
  TOVSyncStringList l("a=1,b=2");
  ASSERT_EQ(l.Count(), 2);
  l.Add("c", "");
  EXPECT_EQ(l.Count(), 2);
  l.Add("a", "");
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.GetValue("a"), "");
  EXPECT_EQ(l.GetValue("b"), "2");
  EXPECT_EQ(l.GetValue("missing"), "");
}

TEST(OVSyncObj, ListValuesMayHoldEqualsSignsAndQuotedCommas) {
  TOVSyncStringList l("\"k=x, y\",z=1");
  EXPECT_EQ(l.GetValue("k"), "x, y");
  l.Add("k", "x=y");
  EXPECT_EQ(l.GetValue("k"), "x=y");
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  l.ResetDef();
  EXPECT_EQ(l.Count(), 2);
  EXPECT_TRUE(l.Del("Z"));
  EXPECT_FALSE(l.Del("z"));
}

TEST(OVSyncObj, Int64IsNeverTornBetweenThreads) {
  TOVSyncInt64 h(0);
  const int64_t a = INT64_C(0x0000000100000002);
  const int64_t b = INT64_C(0x7FFFFFFE7FFFFFFD);
  std::atomic<bool> stop{false};
  std::atomic<int64_t> bad{0};
  std::thread writer([&] {
    for (int i = 0; i < 200000; ++i) h.SetV((i & 1) ? a : b);
    stop = true;
  });
  std::thread reader([&] {
    while (!stop) {
      int64_t v = h.v();
      if (v != 0 && v != a && v != b) bad = v;
    }
  });
  writer.join();
  reader.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(OVSyncObj, ListSurvivesConcurrentWriters) {
  TOVSyncStringList l("");
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t) {
    ts.emplace_back([&l, t] {
      for (int i = 0; i < 500; ++i) {
        l.Add("n" + std::to_string(t), std::to_string(i));
        (void)l.GetValue("n" + std::to_string((t + 1) % 4));
      }
    });
  }
  for (auto& th : ts) th.join();
  EXPECT_EQ(l.Count(), 4);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(l.GetValue("N" + std::to_string(t)), "499");
}
