// arcpack and arcdig run as built, on a real folder: what one packs the other
// extracts byte for byte; the same tree gives the same bytes; the archive is
// never packed into itself; --check and its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using slftest::consoleText;
using slftest::readFile;
using slftest::runPacker;
using slftest::runTool;
using slftest::writeFile;

std::string allByteValues(std::size_t repeat) {
  std::string bytes;
  for (std::size_t r = 0; r < repeat; ++r) {
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  }
  return bytes;
}

// Bytes from a fixed-seed generator: the same on every run.
std::string noise(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// Every file below `root`, relative path and contents, in path order.
std::vector<std::pair<std::string, std::string>> filesBelow(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    files.emplace_back(fs::relative(item.path(), root).generic_string(), readFile(item.path().string()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

slftest::ProcessOptions withEpoch(const std::string& value, const std::string& workingDirectory = "") {
  slftest::ProcessOptions options;
  options.environment.emplace_back("SOURCE_DATE_EPOCH", value);
  options.workingDirectory = workingDirectory;
  return options;
}

class PackRoundTrip : public ::testing::Test {
 protected:
  // Nested folders, mixed case, empty and binary files, and one file larger
  // than a copy piece.
  void makeTree(const std::string& root) {
    fs::create_directories(root + "/Maps/Level1");
    fs::create_directories(root + "/maps2/deeper/still");
    writeFile(root + "/Maps/Level1/A.DAT", allByteValues(4));
    writeFile(root + "/Maps/Level1/b.dat", noise(1300 * 1024, 1));
    writeFile(root + "/maps2/deeper/still/Empty.sti", "");
    writeFile(root + "/README.txt", "read me\r\n");
    writeFile(root + "/_first", "underscore");
    writeFile(root + "/zz.bin", std::string("\0\xFF\0", 3));
  }
  slftest::TempDir dir;
};

TEST_F(PackRoundTrip, ArcdigExtractsWhatArcpackPackedByteForByte) {
  makeTree(dir / "tree");
  slftest::ProcessResult packed = runPacker({"-v", dir / "game.slf", dir / "tree"});
  ASSERT_EQ(packed.exitStatus, 0) << packed.err;
  EXPECT_EQ(packed.err, "");
  // Lookup order: '_' (0x5F) before 'M' counted as 'm' (0x6D), and "maps2"
  // before "Maps\" because '2' (0x32) is less than '\' (0x5C).
  const std::string order =
      "_first\nmaps2\\deeper\\still\\Empty.sti\nMaps\\Level1\\A.DAT\nMaps\\Level1\\b.dat\nREADME.txt\nzz.bin\n";
  EXPECT_EQ(packed.out, consoleText(order));

  const slftest::ProcessResult extracted = runTool({"-n", dir / "game.slf", "*", "-d", dir / "out"});
  ASSERT_EQ(extracted.exitStatus, 0) << extracted.err;
  EXPECT_EQ(extracted.out, consoleText(order));
  EXPECT_EQ(filesBelow(dir / "out"), filesBelow(dir / "tree"));

  const slftest::ProcessResult checked = runPacker({"--check", dir / "game.slf"});
  EXPECT_EQ(checked.exitStatus, 0);
  EXPECT_EQ(checked.out, consoleText("6 entries, no problems found\n"));
}

// Name bytes pass unchanged: as the file system gives them on POSIX, in the
// ANSI code page on Windows (where 0xE9 is an e with an acute accent).
TEST_F(PackRoundTrip, NameBytesAreStoredAsTheFileSystemGivesThem) {
  const std::string name = "caf\xE9.txt";
  fs::create_directory(dir / "tree");
  writeFile(dir / ("tree/" + name), "coffee");
  const slftest::ProcessResult packed = runPacker({"-v", dir / "game.slf", dir / "tree"});
  ASSERT_EQ(packed.exitStatus, 0) << packed.err;
  EXPECT_EQ(packed.out, consoleText(name + "\n"));
  EXPECT_EQ(runTool({"-l", dir / "game.slf", "CAF?.TXT"}).out, consoleText(name + "   6 bytes\n"));
  ASSERT_EQ(runTool({dir / "game.slf", "*", "-d", dir / "out"}).exitStatus, 0);
  EXPECT_EQ(readFile(dir / ("out/" + name)), "coffee");
}

TEST_F(PackRoundTrip, SameTreeGivesTheSameBytesUnderSourceDateEpoch) {
  makeTree(dir / "one");
  // The same files made in the opposite order, with other times.
  fs::create_directories(dir / "two/maps2/deeper/still");
  fs::create_directories(dir / "two/Maps/Level1");
  const auto files = filesBelow(dir / "one");
  for (auto file = files.rbegin(); file != files.rend(); ++file) {
    const std::string path = dir / ("two/" + file->first);
    writeFile(path, file->second);
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24 * 400));
  }

  for (const std::string name : {"one", "two"}) {
    ASSERT_EQ(runPacker({"-n", "game.slf", name + ".slf", name}, withEpoch("1005393600", dir.path())).exitStatus, 0);
    ASSERT_EQ(runPacker({"-n", "game.slf", name + "-own.slf", name}, withEpoch("", dir.path())).exitStatus, 0);
  }
  EXPECT_EQ(readFile(dir / "one.slf"), readFile(dir / "two.slf"));
  EXPECT_NE(readFile(dir / "one-own.slf"), readFile(dir / "two-own.slf"));
}

TEST_F(PackRoundTrip, ArchiveInsideTheFolderIsNotPackedIntoItself) {
  makeTree(dir / "tree");
  slftest::ProcessOptions inside;
  inside.workingDirectory = dir / "tree";
  ASSERT_EQ(runPacker({"self.slf", "."}, inside).exitStatus, 0);
  const std::string first = readFile(dir / "tree/self.slf");
  // Replacing it: the old archive is in the folder now, and stays out.
  const slftest::ProcessResult again = runPacker({"-fv", "self.slf", "."}, withEpoch("", dir / "tree"));
  ASSERT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_EQ(again.out.find("self.slf"), std::string::npos);
  EXPECT_EQ(readFile(dir / "tree/self.slf").size(), first.size());
  EXPECT_EQ(runTool({"-l", dir / "tree/self.slf", "self.slf"}).out, "");
}

TEST_F(PackRoundTrip, CheckStatusAndReport) {
  slftest::SlfWriter()
      .details(slftest::headerDetails(2, 0xFFFF, 0x0200, 0))
      .add("b.dat", "B")
      .add("a.dat", "A")
      .writeTo(dir / "unsorted.slf");
  slftest::ProcessResult result = runPacker({"--check=" + (dir / "unsorted.slf")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, consoleText("'a.dat': out of lookup order after 'b.dat'\n2 entries, 1 problem found\n"));

  writeFile(dir / "tiny.slf", "not an archive");
  result = runPacker({"--check", dir / "tiny.slf"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, consoleText("arcpack: Unexpected end of file in '" + (dir / "tiny.slf") + "'\n"));
}

TEST(PackProgram, VersionHelpAndCommandLineErrors) {
  slftest::ProcessResult result = runPacker({"--version"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, consoleText("arcpack " ARCDIG_VERSION "\n"));
  result = runPacker({"--help"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out.rfind(consoleText("Usage: arcpack [OPTION]... ARCHIVE FOLDER\n"), 0), 0u);
  result = runPacker({"--verbose", "only.slf"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, consoleText("arcpack: missing FOLDER after 'only.slf'\nTry 'arcpack --help' for more information.\n"));
}

}  // namespace
