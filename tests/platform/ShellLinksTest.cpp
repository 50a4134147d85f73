#include <gtest/gtest.h>

#include <string>

#include "common/OVError.h"
#include "common/TestPrefix.h"
#include "platform/ShellLinks.h"

namespace pf = ov::platform;

namespace {

using ShellLinksTest = TPrefixTest;

TEST_F(ShellLinksTest, SavesTheFileItsNameGivesAndThrowsWhereNoneCanBeWritten) {
  const pf::ShortcutSpec spec{"C:\\App\\a.exe", "C:\\App", "A", ""};
  pf::SaveShortcut("C:\\Links\\A.lnk", spec);
  EXPECT_TRUE(HostExists(Host(pf::ShortcutFileOf("C:\\Links\\A.lnk"))));
  // Saving again replaces it.
  pf::SaveShortcut("C:\\Links\\A.lnk", spec);
  EXPECT_THROW(pf::SaveShortcut("Q:\\Links\\A.lnk", spec), ov::Error);
}

}  // namespace
