// End-to-end runs of arcdig.exe on what only Windows has: drive-prefixed
// paths with backslashes, and names that Windows would not store as files.
#include <gtest/gtest.h>

#include <string>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::runTool;

std::string withBackslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

class WindowsPathsTest : public ::testing::Test {
 protected:
  std::string archive() const { return dir / "test.slf"; }
  slftest::TempDir dir;
};

TEST_F(WindowsPathsTest, DrivePrefixedOutputDirectoryWithBackslashes) {
  slftest::SlfWriter().add("face\\a.sti", "A").add("b.sti", "BB").writeTo(archive());
  const std::string out = withBackslashes(dir / "out");
  ASSERT_EQ(out[1], ':');  // a real drive prefix

  const slftest::ProcessResult result = runTool({archive(), "*", "-d", out});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "face\\a.sti\nb.sti\n");
  EXPECT_EQ(slftest::listTree(dir / "out"), "b.sti\nface/\nface/a.sti\n");
  EXPECT_EQ(slftest::readFile(dir / "out/face/a.sti"), "A");
}

TEST_F(WindowsPathsTest, DeviceNamesAndDotSpaceNamesAreUnsafe) {
  const std::string names[] = {
      "con.txt", "sub\\NUL", "Aux", "LPT1.log", "com9", "a\\. .\\x", "a\\.. \\x", "CON .dat",
  };
  slftest::ProcessOptions inside;
  inside.workingDirectory = dir.path();
  for (const std::string& name : names) {
    slftest::SlfWriter().add(name, "data").writeTo(archive());
    const slftest::ProcessResult result = runTool({"test.slf", "*", "-d", "out"}, inside);
    EXPECT_EQ(result.exitStatus, 1) << name;
    EXPECT_EQ(result.out, name) << name;
    EXPECT_EQ(result.err, "arcdig: Unsafe path 'out\\" + name + "'\n") << name;
  }
  // Refused before anything was created.
  EXPECT_EQ(slftest::listTree(dir.path()), "test.slf\n");
}

}  // namespace
