// End-to-end runs of arcdig.exe on what only Windows has: drive-prefixed
// paths with backslashes, names that Windows would not store as files, and
// CR LF line ends on the standard streams.
#include <gtest/gtest.h>

#include <string>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::consoleText;
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
  EXPECT_EQ(result.out, consoleText("face\\a.sti\nb.sti\n"));
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
    EXPECT_EQ(result.err, consoleText("arcdig: Unsafe path 'out\\" + name + "'\n")) << name;
  }
  // Refused before anything was created.
  EXPECT_EQ(slftest::listTree(dir.path()), "test.slf\n");
}

// As "arcdig -l faces.slf * > list.txt" in cmd: every line of the file ends
// with CR LF, while the extracted files keep their bytes, line feeds, carriage
// returns and Ctrl+Z included.
using WindowsTextTest = WindowsPathsTest;

TEST_F(WindowsTextTest, LinesLeaveWithCrLfAndExtractedFilesStayExact) {
  const std::string text = "line one\nline two\r\nend\x1a after\n";
  slftest::SlfWriter().add("face33\\speck.sti", text).add("speck.sti", "\n\n\r").writeTo(archive());
  slftest::ProcessOptions toFile;
  toFile.workingDirectory = dir.path();
  toFile.standardOutputFile = dir / "list.txt";
  slftest::ProcessResult result = runTool({"-l", "test.slf", "*"}, toFile);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(slftest::readFile(dir / "list.txt"), "face33\\speck.sti   30 bytes\r\nspeck.sti   3 bytes\r\n");

  slftest::ProcessOptions merged;
  merged.streams = slftest::StreamMode::Merged;
  merged.workingDirectory = dir.path();
  result = runTool({"test.slf", "*", "-d", "out"}, merged);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, "face33\\speck.sti\r\nspeck.sti\r\n");
  EXPECT_EQ(slftest::readFile(dir / "out/face33/speck.sti"), text);
  EXPECT_EQ(slftest::readFile(dir / "out/speck.sti"), "\n\n\r");

  // A line feed inside a stored name goes out as CR LF too.
  slftest::SlfWriter().add("two\nlines.sti", "x").writeTo(dir / "odd.slf");
  result = runTool({"-l", "odd.slf", "*"}, merged);
  EXPECT_EQ(result.out, "two\r\nlines.sti   1 bytes\r\n");

  // The question and an error report, on standard output and standard error.
  result = runTool({"test.slf", "speck.sti", "-d", "out"}, merged);
  EXPECT_EQ(result.out, "speck.sti already exists. Overwrite? (y/n) no\r\n");
  result = runTool({"missing.slf"}, merged);
  EXPECT_EQ(result.out, "arcdig: too few arguments\r\nTry 'arcdig -h' for more information.\r\n");
}

}  // namespace
