#include "base/OVDateUtil.h"

#include <gtest/gtest.h>

#include "common/OVError.h"

using namespace ov;

namespace {
TFormatSettings StartupSettings() {
  TFormatSettings fs;
  fs.ShortDateFormat = fs.LongDateFormat = "yyyy-MM-dd";
  fs.ShortTimeFormat = fs.LongTimeFormat = "HH:mm:ss";
  fs.DateSeparator = '-';
  fs.TimeSeparator = ':';
  return fs;
}
}  // namespace

TEST(OVDate, EncodesDaysSince18991230) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1970, 1, 1), 25569.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 3, 10), 46091.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 3, 10, 12), 46091.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 2, 29), 36585.0);
  EXPECT_THROW(EncodeDateTime(2026, 2, 29), Error);
  EXPECT_THROW(EncodeDateTime(2026, 1, 1, 24), Error);
}

TEST(OVDate, DecodeRoundsToTheMillisecondAcrossMidnight) {
  TDateTime t = EncodeDateTime(2026, 12, 31, 23, 59, 59, 999);
  TDateParts p = DecodeDateTime(t);
  EXPECT_EQ(p.Year, 2026);
  EXPECT_EQ(p.Month, 12);
  EXPECT_EQ(p.Day, 31);
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Minute, 59);
  EXPECT_EQ(p.Second, 59);
  EXPECT_EQ(p.MSec, 999);
  // Half a millisecond before midnight rounds up into the next day.
  TDateParts n = DecodeDateTime(t + 0.6 / kMSecsPerDay);
  EXPECT_EQ(n.Year, 2027);
  EXPECT_EQ(n.Day, 1);
  EXPECT_EQ(n.Hour, 0);
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(2026, 3, 10)).DayOfWeek, 3);  // a Tuesday
  // Before the epoch the fraction still counts forward from the day.
  TDateParts b = DecodeDateTime(-1.25);
  EXPECT_EQ(b.Day, 29);
  EXPECT_EQ(b.Hour, 6);
}

TEST(OVDate, FormatsThePatternsTheInstallerUses) {
  TFormatSettings fs = StartupSettings();
  TDateTime t = EncodeDateTime(2026, 3, 1, 14, 3, 7, 42);
  EXPECT_EQ(FormatDateTime("yyyy-MM-dd HH:mm:ss", t, fs), "2026-03-01 14:03:07");
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", t, fs), "14:03:07.042");
  EXPECT_EQ(FormatDateTime("yymmdd", t, fs), "260301");
  EXPECT_EQ(FormatDateTime("yyyymmdd", t, fs), "20260301");
  // "mm" right after an hour field is the minute, elsewhere the month.
  EXPECT_EQ(FormatDateTime("hh:mm", t, fs), "14:03");
  EXPECT_EQ(FormatDateTime("mm/dd", t, fs), "03-01");
  EXPECT_EQ(FormatDateTime("h:n:s", EncodeDateTime(2026, 1, 2, 5, 6, 7), fs), "5:6:7");
  EXPECT_EQ(FormatDateTime("hh:nn am/pm", t, fs), "02:03 pm");
  EXPECT_EQ(FormatDateTime("yyyy'年'm'月'", t, fs), "2026年3月");
  EXPECT_EQ(FormatDateTime("dddd", t, fs), "Sunday");
}

TEST(OVDate, DefaultTextDropsMidnight) {
  TFormatSettings fs = StartupSettings();
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2026, 3, 10), fs), "2026-03-10");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2026, 3, 10, 10), fs), "2026-03-10 10:00:00");
}

TEST(OVDate, ParsesGoodTexts) {
  TFormatSettings fs = StartupSettings();
  TDateTime t = 0;
  ASSERT_TRUE(TryStrToDateTime("2026-03-10 10:00:02", t, fs));
  EXPECT_EQ(FormatDateTime("yyyy-MM-dd HH:mm:ss", t, fs), "2026-03-10 10:00:02");
  ASSERT_TRUE(TryStrToDateTime("2026-3-9", t, fs));
  EXPECT_DOUBLE_EQ(t, EncodeDateTime(2026, 3, 9));
  ASSERT_TRUE(TryStrToDateTime("  2026-03-10 7:05  ", t, fs));
  EXPECT_DOUBLE_EQ(t, EncodeDateTime(2026, 3, 10, 7, 5));
  ASSERT_TRUE(TryStrToDateTime("2026-03-10 10:00:02.250", t, fs));
  EXPECT_EQ(DecodeDateTime(t).MSec, 250);
  ASSERT_TRUE(TryStrToDateTime("2026-03-10 01:00:00 PM", t, fs));
  EXPECT_EQ(DecodeDateTime(t).Hour, 13);
  ASSERT_TRUE(TryStrToDateTime("23:59:58", t, fs));
  EXPECT_NEAR(t, (86400.0 - 2) / 86400.0, 1e-9);
}

TEST(OVDate, RejectsBadTexts) {
  TFormatSettings fs = StartupSettings();
  TDateTime t = 123;
  for (const char* bad : {"", "abc", "2026-13-01", "2026-02-30", "2026-03-10 24:00:00",
                          "2026-03-10 10:61", "2026/03/10 10:00:00", "2026-03-10x",
                          "2026-03-10 10:00:00 junk", "10-"}) {
    EXPECT_FALSE(TryStrToDateTime(bad, t, fs)) << bad;
  }
  EXPECT_DOUBLE_EQ(t, 123);  // untouched on failure
}

TEST(OVDate, FixedClockReplacesTheSystemClock) {
  auto clock = std::make_shared<TFixedClock>(EncodeDateTime(2026, 3, 10, 23, 59));
  SetClock(clock);
  EXPECT_DOUBLE_EQ(Now(), EncodeDateTime(2026, 3, 10, 23, 59));
  clock->Advance(1.0 / 24);
  EXPECT_EQ(DecodeDateTime(Now()).Day, 11);
  SetClock(nullptr);
  EXPECT_GT(Now(), EncodeDateTime(2020, 1, 1));
}

TEST(OVDate, UnixConversionsRoundTripInLocalTime) {
  int64_t ms = 0;
  TDateTime t = EncodeDateTime(2026, 3, 10, 10, 0, 2, 500);
  ASSERT_TRUE(LocalToUnixMs(t, ms));
  EXPECT_NEAR(UnixMsToLocal(ms), t, 1e-9);
}
