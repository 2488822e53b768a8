// Extraction failures that only a real POSIX file system shows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::readFile;
using slftest::runTool;

TEST(PosixDisk, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  slftest::TempDir dir;
  slftest::SlfWriter().add("big.dat", std::string(64 * 1024, 'n')).add("after.dat", "x").writeTo(dir / "a.slf");
  std::filesystem::create_directory(dir / "out");
  slftest::writeFile(dir / "out/big.dat", "the user's file");

  slftest::ProcessOptions limited;
  limited.fileSizeLimit = 16 * 1024;  // the disk is "full" after 16 KiB
  const slftest::ProcessResult result = runTool({"-o", dir / "a.slf", "*", "-d", dir / "out"}, limited);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "big.dat");
  EXPECT_EQ(result.err, "arcdig: Error writing file '" + (dir / "out") + "\\big.dat'\n");
  EXPECT_EQ(readFile(dir / "out/big.dat"), "the user's file");
  EXPECT_EQ(slftest::listTree(dir / "out"), "big.dat\n");
}

TEST(PosixDisk, UnwritableDirectoryReportsTheOutputPath) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  slftest::TempDir dir;
  slftest::SlfWriter().add("a.dat", "x").writeTo(dir / "a.slf");
  std::filesystem::create_directory(dir / "locked");
  ::chmod((dir / "locked").c_str(), 0555);
  const slftest::ProcessResult result = runTool({dir / "a.slf", "*", "-d", dir / "locked"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "arcdig: Can't open file '" + (dir / "locked") + "\\a.dat'\n");
}

TEST(PosixDisk, BackslashesBecomeDirectoriesAndExistingModesAreKept) {
  slftest::TempDir dir;
  slftest::SlfWriter().add("a\\b\\c.dat", "abc").add("a/d.dat", "d").writeTo(dir / "a.slf");
  const slftest::ProcessResult result = runTool({dir / "a.slf", "*", "-d", dir / "out"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(slftest::listTree(dir / "out"), "a/\na/b/\na/b/c.dat\na/d.dat\n");
  struct stat info {};
  ASSERT_EQ(::stat((dir / "out/a/b/c.dat").c_str(), &info), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // an ordinary new file, not a private temporary

  ::chmod((dir / "out/a/d.dat").c_str(), 0750);
  ASSERT_EQ(runTool({"-o", dir / "a.slf", "*", "-d", dir / "out"}).exitStatus, 0);
  ASSERT_EQ(::stat((dir / "out/a/d.dat").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u);  // a replaced file keeps its permissions
}

}  // namespace
