#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "cli/ConsoleReceiver.h"

using ov::cli::FormatBytes;
using ov::cli::FormatDuration;
using ov::cli::TConsoleReceiver;
using ov::cli::TProgressLine;

namespace {

std::string Drain(std::FILE* aFile) {
  std::fflush(aFile);
  std::rewind(aFile);
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, aFile)) > 0;) out.append(buf, n);
  return out;
}

}  // namespace

TEST(ConsoleFormat, BytesAndDurations) {
  EXPECT_EQ(FormatBytes(0), "0 B");
  EXPECT_EQ(FormatBytes(1023), "1023 B");
  EXPECT_EQ(FormatBytes(1536), "1.5 KB");
  EXPECT_EQ(FormatBytes(300 * 1024), "300 KB");
  EXPECT_EQ(FormatBytes(64LL * 1024 * 1024), "64 MB");
  EXPECT_EQ(FormatBytes(3LL << 30), "3.0 GB");
  EXPECT_EQ(FormatDuration(7), "0:07");
  EXPECT_EQ(FormatDuration(750), "12:30");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(-5), "0:00");
}

TEST(ConsoleProgressLine, CountsBytesAcrossFilesWithSpeedAndTimeLeft) {
  TProgressLine line;
  line.Progress(0, 100, 0);
  line.Bytes(100, 0);
  line.Bytes(300, 500);
  line.Bytes(50, 1000);  // the next file starts
  EXPECT_EQ(line.TotalBytes(), 350);
  line.Bytes(1024 * 1024 + 50, 2000);
  // About 1 MiB in the 2 s since the first sample.
  EXPECT_NE(line.Text(2000).find("  1.0 MB  512 KB/s"), std::string::npos) << line.Text(2000);
  line.Progress(25, 100, 10000);
  const std::string t = line.Text(10000);
  EXPECT_NE(t.find(" 25%"), std::string::npos) << t;
  // Nothing arrived in the last seconds.
  EXPECT_NE(t.find("  0 B/s"), std::string::npos) << t;
  // A quarter took 10 s, three quarters are left.
  EXPECT_NE(t.find("0:30 left"), std::string::npos) << t;
}

TEST(ConsoleProgressLine, UnknownSpeedAndTimeLeftAreShownAsDashes) {
  TProgressLine line;
  EXPECT_NE(line.Text(0).find("-- B/s  --:-- left"), std::string::npos) << line.Text(0);
  line.Progress(100, 100, 0);
  EXPECT_NE(line.Text(5).find("100%"), std::string::npos);
  EXPECT_NE(line.Text(5).find("--:-- left"), std::string::npos);
}

TEST(ConsoleReceiver, PlainOutputHasOneLinePerHintAndProgressStep) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    TConsoleReceiver c(out, false);
    c.ShowInstHint("正在安装Web", "");
    c.ShowInstHint("", "下载文件 a.js");
    c.ShowInstProgress(3, 100);
    c.ShowInstProgress(3, 100);
    c.ShowFileDownProgressHint("1.0MB/20KB ");
    c.ShowDownloadBytes(20000, 100000);
    c.ShowInstProgress(0, 0);
    c.EndLine();
  }
  EXPECT_EQ(Drain(out), "正在安装Web\n  下载文件 a.js\nprogress 3/100\n");
  std::fclose(out);
}

TEST(ConsoleReceiver, ALogGetsItsLinesWhileTheModuleRuns) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("ovinst-console-" + std::to_string(::getpid()));
  std::FILE* out = std::fopen(log.string().c_str(), "wb");
  ASSERT_NE(out, nullptr);
  auto written = [&] {
    std::ifstream in(log, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  {
    TConsoleReceiver c(out, false);
    c.ShowInstHint("正在安装Web", "下载文件 a.js");
    // A long download after it: the line must not wait in the buffer for the module's end.
    std::string seen;
    for (int i = 0; i < 200 && seen.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      seen = written();
    }
    EXPECT_EQ(seen, "正在安装Web\n  下载文件 a.js\n");
  }
  std::fclose(out);
  std::filesystem::remove(log);
}

TEST(ConsoleReceiver, TerminalOutputRedrawsTheLiveLineBelowTheHints) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    TConsoleReceiver c(out, true);
    c.ShowInstHint("before any progress", "");
    c.ShowInstProgress(50, 100);
    c.ShowDownloadBytes(4096, 8192);
    c.ShowInstHint("hint", "sub");
    c.EndLine();
  }
  const std::string s = Drain(out);
  // No live line before the first progress report.
  EXPECT_EQ(s.rfind("before any progress\n", 0), 0u) << s;
  const size_t hint = s.find("hint\n  sub\n");
  ASSERT_NE(hint, std::string::npos) << s;
  // The live line returns after the hint and is ended with a newline.
  const size_t live = s.find("\r\033[K[", hint);
  ASSERT_NE(live, std::string::npos) << s;
  EXPECT_NE(s.find("50%  4.0 KB", live), std::string::npos) << s;
  EXPECT_EQ(s.back(), '\n');
}

TEST(ConsoleReceiver, ATerminalShowsAModulesMainLineOnceAboveItsFileHints) {
  for (const bool tty : {true, false}) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
      TConsoleReceiver c(out, tty);
      c.ShowInstHint("Web正在下载安装文件", "检测：.\\a.js");
      c.ShowInstHint("Web正在下载安装文件", "下载：.\\a.js");
      c.ShowInstHint("Web正在安装更新文件", "安装：.\\a.js");
      c.ShowInstHint("Web正在下载安装文件", "检测：.\\b.js");
    }
    const std::string s = Drain(out);
    const std::string once =
        "Web正在下载安装文件\n  检测：.\\a.js\n  下载：.\\a.js\n"
        "Web正在安装更新文件\n  安装：.\\a.js\nWeb正在下载安装文件\n  检测：.\\b.js\n";
    const std::string each =
        "Web正在下载安装文件\n  检测：.\\a.js\nWeb正在下载安装文件\n  下载：.\\a.js\n"
        "Web正在安装更新文件\n  安装：.\\a.js\nWeb正在下载安装文件\n  检测：.\\b.js\n";
    EXPECT_EQ(s, tty ? once : each);
  }
}
