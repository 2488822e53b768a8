#include <gtest/gtest.h>

#include <string>

#include "platform/windows_names.h"

namespace {

struct NameCase {
  std::string component;
  bool hostile;
};

TEST(WindowsNames, RefusesWhatWindowsWouldNotStoreAsAName) {
  const NameCase cases[] = {
      // Reduced to ".." once Windows drops trailing dots and spaces.
      {"..", true},
      {"...", true},
      {".. ", true},
      {". .", true},
      {" ..", true},
      {". . .", true},
      {".", false},
      {". ", false},
      {" ", false},
      {"", false},
      {"..x", false},
      {"x..", false},
      {"y..dat", false},
      {".hidden", false},
      // Devices, in any letter case, with or without an extension.
      {"CON", true},
      {"con", true},
      {"Prn", true},
      {"aux", true},
      {"NUL", true},
      {"con.txt", true},
      {"NUL.tar.gz", true},
      {"CON .txt", true},
      {"con.", true},
      {"con  ", true},
      {"aux:", true},
      {"COM1", true},
      {"com9.log", true},
      {"LPT1", true},
      {"lpt9", true},
      {"COM0", true},
      {"conin$", true},
      {"CONOUT$.txt", true},
      {"COM\xB9", true},  // superscript digits of the 8-bit character set
      {"lpt\xB2.txt", true},
      {"com\xB3", true},
      // Ordinary names that merely resemble them.
      {"console", false},
      {"com10", false},
      {"lpt", false},
      {"comA", false},
      {"com\xB4", false},
      {"nul_x", false},
      {"xcon", false},
      {"icon.sti", false},
      {"auxiliary.dat", false},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(platform::isWindowsHostileComponent(c.component), c.hostile) << '"' << c.component << '"';
  }
}

}  // namespace
