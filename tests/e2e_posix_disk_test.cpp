// Extraction failures that only a real POSIX file system shows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

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

  // A new file that cannot be written whole is not left behind either.
  std::filesystem::remove(dir / "out/big.dat");
  EXPECT_EQ(runTool({dir / "a.slf", "*", "-d", dir / "out"}, limited).exitStatus, 1);
  EXPECT_EQ(slftest::listTree(dir / "out"), "");
}

// Output paths built from the output directory or the stored base path, as a
// user on a POSIX system sees them: backslashes become directories, and a
// drive prefix is an ordinary (here missing) directory name.
TEST(PosixDisk, OutputPathsFromDirectoryOrBasePath) {
  struct Case {
    std::string option;     // "" or one option argument
    std::string outputDir;  // "" for none
    std::string basePath, name;
    std::string tree;   // below the working directory, apart from the archive
    std::string error;  // the whole standard error
  };
  const std::vector<Case> cases = {
      {"", "out", "ignored\\", "faces\\a.sti", "out/\nout/faces/\nout/faces/a.sti\n", ""},
      {"-j", "out", "", "faces\\a.sti", "out/\nout/a.sti\n", ""},
      {"", "", "data\\", "faces\\a.sti", "data/\ndata/faces/\ndata/faces/a.sti\n", ""},
      {"", "", "data", "a.sti", "dataa.sti\n", ""},
      {"-j", "", "", "x/y/z.dat", "x/\nx/y/\nx/y/z.dat\n", ""},
      {"", "C:\\games", "", "x\\y.dat", "", "arcdig: Can't create directory 'C:\\games'\n"},
      {"", "out", "", "dir\\", "out/\nout/dir/\n", "arcdig: Can't open file 'out\\dir\\'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    slftest::TempDir dir;
    slftest::SlfWriter().basePath(c.basePath).add(c.name, "bytes").writeTo(dir / "a.slf");
    slftest::ProcessOptions inside;
    inside.workingDirectory = dir.path();
    std::vector<std::string> arguments;
    if (!c.option.empty()) arguments.push_back(c.option);
    arguments.insert(arguments.end(), {"a.slf", "*"});
    if (!c.outputDir.empty()) arguments.insert(arguments.end(), {"-d", c.outputDir});
    const slftest::ProcessResult result = runTool(arguments, inside);
    EXPECT_EQ(result.err, c.error);
    EXPECT_EQ(result.exitStatus, c.error.empty() ? 0 : 1);
    EXPECT_EQ(slftest::listTree(dir.path()), "a.slf\n" + c.tree);
  }
}

TEST(PosixDisk, DamagedRecordsTouchNoOutputFile) {
  slftest::TempDir dir;
  slftest::Member negative;
  negative.name = "neg.dat";
  negative.overrideLength = true;
  negative.length = -1;
  slftest::Member pastTheEnd;
  pastTheEnd.name = "far.dat";
  pastTheEnd.overrideLength = true;
  pastTheEnd.length = 1 << 30;
  slftest::SlfWriter().libraryName("Lib.slf").add(negative).add(pastTheEnd).add("sub\\", "x").writeTo(dir / "a.slf");
  std::filesystem::create_directories(dir / "out/sub");
  slftest::writeFile(dir / "out/far.dat", "old");

  slftest::ProcessOptions inside;
  inside.workingDirectory = dir.path();
  EXPECT_EQ(runTool({"-o", "a.slf", "neg.dat", "-d", "out"}, inside).err, "arcdig: Out of memory\n");
  EXPECT_EQ(runTool({"-o", "a.slf", "far.dat", "-d", "out"}, inside).err,
            "arcdig: Unexpected end of file in 'Lib.slf'\n");
  EXPECT_EQ(runTool({"-jo", "a.slf", "sub\\", "-d", "out\\sub"}, inside).err, "arcdig: Can't open file 'out\\sub\\'\n");
  EXPECT_EQ(readFile(dir / "out/far.dat"), "old");
  EXPECT_EQ(slftest::listTree(dir / "out"), "far.dat\nsub/\n");
}

TEST(PosixDisk, ClosedStandardOutputDoesNotStopTheRun) {
  slftest::TempDir dir;
  slftest::SlfWriter writer;
  for (int i = 0; i < 3000; ++i) writer.add("f" + std::to_string(i), "x");
  writer.writeTo(dir / "a.slf");
  int output[2];
  ASSERT_EQ(::pipe(output), 0);
  ::close(output[0]);  // nobody reads: every write fails
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(output[1], 1);
    ::execl(ARCDIG_BINARY, ARCDIG_BINARY, (dir / "a.slf").c_str(), "*", "-d", (dir / "out").c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(dir / "out/f2999"), "x");
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

// Links the user made inside the output folder: one standing for a folder is
// followed; one standing where a file goes is replaced by the file, its
// target untouched; one pointing nowhere is never written through.
TEST(PosixDisk, SymbolicLinksInTheOutputFolder) {
  slftest::TempDir dir;
  slftest::SlfWriter().add("linked\\a.dat", "A").add("file.lnk", "F").add("nowhere.lnk", "N").writeTo(dir / "a.slf");
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_directories(dir / "elsewhere");
  slftest::writeFile(dir / "target.txt", "target");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "out/linked");
  std::filesystem::create_symlink(dir / "target.txt", dir / "out/file.lnk");
  std::filesystem::create_symlink(dir / "missing.txt", dir / "out/nowhere.lnk");

  const slftest::ProcessResult result = runTool({"-o", dir / "a.slf", "*", "-d", dir / "out"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "arcdig: Can't open file '" + (dir / "out") + "\\nowhere.lnk'\n");
  EXPECT_EQ(readFile(dir / "elsewhere/a.dat"), "A");
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "out/file.lnk"));
  EXPECT_EQ(readFile(dir / "out/file.lnk"), "F");
  EXPECT_EQ(readFile(dir / "target.txt"), "target");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "out/nowhere.lnk"));
  EXPECT_FALSE(slftest::pathExists(dir / "missing.txt"));
}

}  // namespace
