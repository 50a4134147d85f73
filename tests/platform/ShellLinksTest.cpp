#include <gtest/gtest.h>

#include <string>

#include "common/OVError.h"
#include "common/TestPrefix.h"
#include "platform/ShellLinks.h"

namespace pf = ov::platform;

namespace {

using ShellLinksTest = TPrefixTest;

TEST_F(ShellLinksTest, SavesTheFileItsNameGivesAndThrowsWhereNoneCanBeWritten) {
  const pf::ShortcutSpec link{"C:\\App\\a.exe", "C:\\App", "A", ""};
  pf::SaveShortcut("C:\\Links\\A.lnk", link);
  EXPECT_TRUE(HostExists(Host(pf::ShortcutFileOf("C:\\Links\\A.lnk"))));
  // Saving again replaces it.
  pf::SaveShortcut("C:\\Links\\A.lnk", link);
  EXPECT_THROW(pf::SaveShortcut("Q:\\Links\\A.lnk", link), ov::Error);
}

}  // namespace
