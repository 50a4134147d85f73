#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Processes.h"

// Command lines are read as Windows reads them, on every host.
namespace pf = ov::platform;

namespace {
using Args = std::vector<std::string>;
}  // namespace

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(pf::SplitCommandLine("pos.exe a  b\tc"), (Args{"pos.exe", "a", "b", "c"}));
  EXPECT_EQ(pf::SplitCommandLine("  \"C:\\My App\\pos.exe\" \"a b\" c"),
            (Args{"C:\\My App\\pos.exe", "a b", "c"}));
  EXPECT_EQ(pf::SplitCommandLine("p a\"b c\"d"), (Args{"p", "ab cd"}));
  EXPECT_EQ(pf::SplitCommandLine("p \"\""), (Args{"p", ""}));
  EXPECT_TRUE(pf::SplitCommandLine("").empty());
  EXPECT_TRUE(pf::SplitCommandLine(" \t ").empty());
}

TEST(SplitCommandLine, BackslashesEscapeOnlyBeforeQuotes) {
  EXPECT_EQ(pf::SplitCommandLine("p C:\\dir\\file"), (Args{"p", "C:\\dir\\file"}));
  EXPECT_EQ(pf::SplitCommandLine("p a\\\"b"), (Args{"p", "a\"b"}));  // 1 -> quote
  EXPECT_EQ(pf::SplitCommandLine("p \"C:\\dir\\\\\" x"), (Args{"p", "C:\\dir\\", "x"}));
  EXPECT_EQ(pf::SplitCommandLine("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));       // 3 -> \ and quote
  EXPECT_EQ(pf::SplitCommandLine("p \"a\"\"b\" c"), (Args{"p", "a\"b", "c"}));  // "" in quotes
}

TEST(SplitCommandLine, ProgramTokenKnowsNoEscapes) {
  EXPECT_EQ(pf::SplitCommandLine("\"C:\\dir\\\\\" x"), (Args{"C:\\dir\\\\", "x"}));
  EXPECT_EQ(pf::SplitCommandLine("\"C:\\a b\"\\c.exe -s"), (Args{"C:\\a b\\c.exe", "-s"}));
}
