// arcpack on what only a POSIX file system has: pipes, symbolic and hard
// links, backslashes and colons in file names, sparse files, a file-size
// limit, and modification times set to the nanosecond.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using slftest::readFile;
using slftest::runPacker;
using slftest::writeFile;

void makeSparseFile(const std::string& path, off_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

// Every refusal: one message on standard error, status 1, nothing written to
// standard output, and the folder exactly as it was: no archive, no
// temporary, an existing archive unchanged.
TEST(PackRefusals, LeaveNothingBehind) {
  struct Case {
    std::string name;
    std::function<void(const slftest::TempDir&)> setUp;  // below dir; "tree" exists
    std::vector<std::string> arguments;                   // run inside dir
    std::string error;
    long long fileSizeLimit = -1;
    std::string sourceDateEpoch = "";
  };
  const std::string longFolder(200, 'd');
  const std::vector<Case> cases = {
      {"missing folder", [](const slftest::TempDir&) {}, {"out.slf", "missing"}, "No such folder 'missing'"},
      {"folder is a file", [](const slftest::TempDir& d) { writeFile(d / "file.txt", "x"); },
       {"out.slf", "file.txt"}, "Not a folder 'file.txt'"},
      {"names equal under the fold",
       [](const slftest::TempDir& d) {
         fs::create_directories(d / "tree/Sub");
         fs::create_directories(d / "tree/sub");
         writeFile(d / "tree/Sub/a.dat", "1");
         writeFile(d / "tree/sub/A.dat", "2");
       },
       {"out.slf", "tree"}, "Names equal apart from letter case 'Sub\\a.dat' and 'sub\\A.dat'"},
      {"name over 255 bytes",
       [&](const slftest::TempDir& d) {
         fs::create_directories(d / ("tree/" + longFolder));
         writeFile(d / ("tree/" + longFolder + "/" + std::string(55, 'f')), "x");
       },
       {"out.slf", "tree"}, "Name longer than 255 bytes '" + longFolder + "\\" + std::string(55, 'f') + "'"},
      {"backslash in a name", [](const slftest::TempDir& d) { writeFile(d / "tree/a\\b", "x"); },
       {"out.slf", "tree"}, "Backslash in a file name 'tree/a\\b'"},
      {"colon in a name", [](const slftest::TempDir& d) { writeFile(d / "tree/c:x", "x"); },
       {"out.slf", "tree"}, "Unsafe name 'c:x'"},
      {"pipe", [](const slftest::TempDir& d) { ASSERT_EQ(::mkfifo((d / "tree/pipe").c_str(), 0644), 0); },
       {"out.slf", "tree"}, "Not a regular file or folder 'tree/pipe'"},
      {"dangling link", [](const slftest::TempDir& d) { fs::create_symlink("nowhere", d / "tree/dead"); },
       {"out.slf", "tree"}, "Not a regular file or folder 'tree/dead'"},
      {"folder loop",
       [](const slftest::TempDir& d) {
         fs::create_directories(d / "tree/sub");
         fs::create_directory_symlink("..", d / "tree/sub/up");
       },
       {"out.slf", "tree/"}, "Folder loop at 'tree/sub/up'"},
      {"2 GiB",
       [](const slftest::TempDir& d) {
         makeSparseFile(d / "tree/big", 1l << 30);
         makeSparseFile(d / "tree/bigger", (1l << 30) - 532 - 2 * 280 + 1);
       },
       {"out.slf", "tree"}, "Archive would be 2 GiB or larger 'out.slf'"},
      {"existing archive", [](const slftest::TempDir& d) { writeFile(d / "out.slf", "old"); },
       {"out.slf", "tree"}, "Archive already exists 'out.slf'"},
      {"archive is a folder", [](const slftest::TempDir& d) { fs::create_directory(d / "out.slf"); },
       {"-f", "out.slf", "tree"}, "Can't create archive 'out.slf'"},
      {"disk full", [](const slftest::TempDir& d) { writeFile(d / "tree/big", std::string(64 * 1024, 'b')); },
       {"out.slf", "tree"}, "Error writing archive 'out.slf'", 16 * 1024},
      {"disk full replacing",
       [](const slftest::TempDir& d) {
         writeFile(d / "tree/big", std::string(64 * 1024, 'b'));
         writeFile(d / "out.slf", "old");
       },
       {"-f", "out.slf", "tree"}, "Error writing archive 'out.slf'", 16 * 1024},
      {"bad SOURCE_DATE_EPOCH", [](const slftest::TempDir&) {}, {"out.slf", "tree"},
       "Invalid SOURCE_DATE_EPOCH '2024-01-01'", -1, "2024-01-01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    slftest::TempDir dir;
    fs::create_directory(dir / "tree");
    writeFile(dir / "tree/ok.dat", "fine");
    c.setUp(dir);
    const std::string before = slftest::listTree(dir.path());
    const std::string old = readFile(dir / "out.slf");

    slftest::ProcessOptions options;
    options.workingDirectory = dir.path();
    options.fileSizeLimit = c.fileSizeLimit;
    options.environment.emplace_back("SOURCE_DATE_EPOCH", c.sourceDateEpoch);
    const slftest::ProcessResult result = runPacker(c.arguments, options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "arcpack: " + c.error + "\n");
    EXPECT_EQ(slftest::listTree(dir.path()), before);
    EXPECT_EQ(readFile(dir / "out.slf"), old);
  }
}

TEST(PackPosix, StoresTheModificationTimeToTheTenthOfAMicrosecond) {
  slftest::TempDir dir;
  fs::create_directory(dir / "tree");
  writeFile(dir / "tree/a", "a");
  const timespec times[2] = {{0, UTIME_OMIT}, {1005393600, 123456789}};  // 2001-11-10 12:00:00.123456789 UTC
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "tree/a").c_str(), times, 0), 0);
  slftest::ProcessOptions options;
  options.environment.emplace_back("SOURCE_DATE_EPOCH", "");
  ASSERT_EQ(runPacker({dir / "a.slf", dir / "tree"}, options).exitStatus, 0);
  const std::string archive = readFile(dir / "a.slf");
  // 126498672000000000 + 1234567 hundreds of nanoseconds, little-endian.
  EXPECT_EQ(archive.substr(archive.size() - 280 + 264, 16),
            std::string("\0\0\0\0\x87\x36\x31\x39\xdf\x69\xc1\x01\0\0\0\0", 16));
}

// Links are followed: a linked folder is packed under the link's name, and a
// link or a hard link to the archive is the archive, whatever its name.
TEST(PackPosix, LinksAreFollowedAndTheArchiveIsKnownByIdentity) {
  slftest::TempDir dir;
  fs::create_directories(dir / "elsewhere");
  writeFile(dir / "elsewhere/shared.dat", "shared");
  fs::create_directories(dir / "tree");
  writeFile(dir / "tree/a.dat", "a");
  fs::create_directory_symlink("../elsewhere", dir / "tree/linked");
  writeFile(dir / "game.slf", "the old archive");
  fs::create_symlink("../game.slf", dir / "tree/alias.slf");
  fs::create_hard_link(dir / "game.slf", dir / "tree/hard.slf");

  const slftest::ProcessResult result = runPacker({"-fv", dir / "game.slf", dir / "tree"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "a.dat\nlinked\\shared.dat\n");
}

}  // namespace
