// What the tool promises on Linux: the write path under interruption
// (signals, kill -9 and size limits in the middle of a large member),
// replacements by root and by an unprivileged user, and memory that grows
// neither with a member nor beyond a small factor of the directory. The write
// path is tried on every way the tool has to stage a file: an unnamed file, a
// named temporary (where O_TMPFILE is missing) and a copy through a buffer
// (where copy_file_range is missing); a preloaded library takes those calls
// away, or makes fallocate find a full disk.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::ChildProcess;
using slftest::ProcessOptions;
using slftest::ProcessResult;
using slftest::readFile;
using slftest::runTool;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kLargeMember = 1536 * kMiB;

// One way of staging output files, and what the tool is told to lack for it.
struct Staging {
  const char* name;
  const char* denied;  // for the preloaded library; "" for the tool's first choice
};
const Staging kUnnamedFile{"unnamed file", ""};
const Staging kNamedTemporary{"named temporary", "unnamed"};
const Staging kBufferedCopy{"buffered copy", "kernelcopy"};

ProcessOptions optionsFor(const Staging& staging) {
  ProcessOptions options;
  if (*staging.denied != '\0') {
    options.environment = {{"LD_PRELOAD", ARCDIG_DENY_CALLS_LIBRARY}, {"ARCDIG_TEST_DENY", staging.denied}};
  }
  return options;
}

// Where a member must start for the tool to copy it in the kernel: on a page
// boundary, as the output file starts. Members elsewhere go through a buffer.
constexpr std::int32_t kPageAligned = 4096;

// An archive whose one member of `size` bytes is a hole: large on paper,
// nothing on disk. It starts on a page boundary, so that it is copied in the
// kernel unless copy_file_range is taken away.
void writeSparseArchive(const std::string& path, const std::string& name, std::uint64_t size) {
  slftest::Member member;
  member.name = name;
  member.overrideOffset = true;
  member.offset = kPageAligned;
  member.overrideLength = true;
  member.length = static_cast<std::int32_t>(size);
  const std::string bytes = slftest::SlfWriter().libraryName("big.slf").add(member).build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), 532);
  out.seekp(static_cast<std::streamoff>(kPageAligned + size));
  out.write(bytes.data() + 532, 280);
  ASSERT_TRUE(out.good());
}

// The size of a file that process `pid` holds open below `directory`, or -1.
long long bytesOpenBelow(int pid, const std::string& directory) {
  const std::string fdDirectory = "/proc/" + std::to_string(pid) + "/fd";
  DIR* listing = ::opendir(fdDirectory.c_str());
  if (listing == nullptr) return -1;
  long long found = -1;
  while (const dirent* item = ::readdir(listing)) {
    const std::string link = fdDirectory + "/" + item->d_name;
    char target[4096];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    struct stat info {};
    if (length <= 0 || std::string(target, static_cast<std::size_t>(length)).rfind(directory + "/", 0) != 0 ||
        ::stat(link.c_str(), &info) != 0) {
      continue;
    }
    found = static_cast<long long>(info.st_size);
  }
  ::closedir(listing);
  return found;
}

// Waits until the tool holds an output file open with at least `bytes`
// written to it (and is still far from done).
bool waitUntilWriting(const ChildProcess& child, const std::string& directory, long long bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline && child.running()) {
    if (bytesOpenBelow(child.pid(), directory) >= bytes) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return false;
}

class LargeMemberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeSparseArchive(dir / "big.slf", "big.bin", kLargeMember);
    std::filesystem::create_directory(out);
  }
  std::vector<std::string> extractAll() const { return {"-o", dir / "big.slf", "*", "-d", out}; }

  slftest::TempDir dir;
  const std::string out = dir / "out";
};

TEST_F(LargeMemberTest, SignalInTheMiddleEndsTheRunAndLeavesNoPartialFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    for (const Staging& staging : {kUnnamedFile, kNamedTemporary}) {
      for (const bool replacing : {false, true}) {
        SCOPED_TRACE(std::string(strsignal(signal)) + ", " + staging.name + (replacing ? ", replacing" : ", new"));
        if (replacing) slftest::writeFile(out + "/big.bin", "the user's file");
        ChildProcess child(ARCDIG_BINARY, extractAll(), optionsFor(staging));
        ASSERT_TRUE(waitUntilWriting(child, out, static_cast<long long>(kMiB)));
        ::kill(child.pid(), signal);
        const ProcessResult result = child.wait();
        EXPECT_EQ(result.signal, signal);
        // Nothing partial under the final name, no temporary beside it.
        EXPECT_EQ(slftest::listTree(out), replacing ? "big.bin\n" : "");
        if (replacing) {
          EXPECT_EQ(readFile(out + "/big.bin"), "the user's file");
        }
        std::filesystem::remove(out + "/big.bin");
      }
    }
  }
}

TEST_F(LargeMemberTest, KillNineLeavesNothingUnderTheFinalName) {
  for (const Staging& staging : {kUnnamedFile, kNamedTemporary}) {
    SCOPED_TRACE(staging.name);
    ChildProcess child(ARCDIG_BINARY, extractAll(), optionsFor(staging));
    ASSERT_TRUE(waitUntilWriting(child, out, static_cast<long long>(kMiB)));
    ::kill(child.pid(), SIGKILL);
    EXPECT_EQ(child.wait().signal, SIGKILL);
    EXPECT_FALSE(slftest::pathExists(out + "/big.bin"));
    // An unnamed file vanishes with the process; a named temporary cannot.
    if (*staging.denied == '\0') {
      EXPECT_EQ(slftest::listTree(out), "");
    }
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
  }
}

// arcpack writes its archive through the same path: an interrupted pack
// leaves no partial archive, and an archive it was replacing stays whole.
TEST(Packing, InterruptedPackLeavesNoPartialArchive) {
  for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
    for (const Staging& staging : {kUnnamedFile, kNamedTemporary}) {
      for (const bool replacing : {false, true}) {
        SCOPED_TRACE(std::string(strsignal(signal)) + ", " + staging.name + (replacing ? ", replacing" : ", new"));
        slftest::TempDir dir;
        std::filesystem::create_directories(dir / "tree/maps");
        std::filesystem::create_directory(dir / "archives");
        slftest::writeFile(dir / "tree/maps/huge.bin", "");
        std::filesystem::resize_file(dir / "tree/maps/huge.bin", kLargeMember);  // a hole: nothing on disk
        if (replacing) slftest::writeFile(dir / "archives/maps.slf", "the old archive");
        std::vector<std::string> arguments = {dir / "archives/maps.slf", dir / "tree"};
        if (replacing) arguments.insert(arguments.begin(), "--force");
        ChildProcess child(ARCPACK_BINARY, arguments, optionsFor(staging));
        ASSERT_TRUE(waitUntilWriting(child, dir / "archives", static_cast<long long>(kMiB)));
        ::kill(child.pid(), signal);
        EXPECT_EQ(child.wait().signal, signal);
        EXPECT_EQ(slftest::pathExists(dir / "archives/maps.slf"), replacing);
        if (replacing) {
          EXPECT_EQ(readFile(dir / "archives/maps.slf"), "the old archive");
        }
        // Only kill -9 can leave a named temporary behind.
        if (signal != SIGKILL || *staging.denied == '\0') {
          EXPECT_EQ(slftest::listTree(dir / "archives"), replacing ? "maps.slf\n" : "");
        }
      }
    }
  }
}

TEST_F(LargeMemberTest, PeakMemoryDoesNotGrowWithTheMember) {
  slftest::SlfWriter().add("small.bin", "x").writeTo(dir / "small.slf");
  for (const Staging& staging : {kUnnamedFile, kBufferedCopy}) {
    SCOPED_TRACE(staging.name);
    const ProcessResult small = runTool({"-o", dir / "small.slf", "*", "-d", out}, optionsFor(staging));
    const ProcessResult large = runTool(extractAll(), optionsFor(staging));
    ASSERT_EQ(large.exitStatus, 0) << large.err;
    EXPECT_EQ(std::filesystem::file_size(out + "/big.bin"), kLargeMember);
    std::filesystem::remove(out + "/big.bin");
    EXPECT_LT(large.maxResidentKiB - small.maxResidentKiB, 4 * 1024) << "KiB: " << large.maxResidentKiB;
#ifndef ARCDIG_SANITIZED  // the sanitizers' own memory would count here
    EXPECT_LE(large.maxResidentKiB, 16 * 1024);
#endif
  }
}

#ifndef ARCDIG_SANITIZED  // the sanitizers' own bookkeeping grows with every allocation
// The directory costs about 310 bytes per 280-byte record, and a pattern's
// list of matches as much again: listing everything stays near 2.2 times
// the directory's size on disk.
TEST(Memory, DirectoryCostsAboutTwiceItsSizeOnDisk) {
  constexpr int kEntries = 100000;
  slftest::TempDir dir;
  slftest::SlfWriter many;
  for (int i = 0; i < kEntries; ++i) many.add("tiles\\" + std::to_string(i) + ".sti", "");
  many.writeTo(dir / "many.slf");
  slftest::SlfWriter().add("one.sti", "").writeTo(dir / "one.slf");
  const long directoryKiB = kEntries * 280L / 1024;
  const long baseline = runTool({"-l", dir / "one.slf", "*"}).maxResidentKiB;
  const long selectingNothing = runTool({"-l", dir / "many.slf", "nothing"}).maxResidentKiB - baseline;
  const ProcessResult all = runTool({"-l", dir / "many.slf", "*"});
  ASSERT_EQ(all.exitStatus, 0);
  EXPECT_LE(selectingNothing, directoryKiB * 13 / 10) << "KiB for " << directoryKiB << " KiB on disk";
  EXPECT_LE(all.maxResidentKiB - baseline, directoryKiB * 25 / 10) << "KiB for " << directoryKiB << " KiB on disk";
}
#endif

// A file-size limit (ulimit -f) is met like a full disk: reported, cleaned up,
// and the old file kept, instead of the process dying by SIGXFSZ.
TEST(WritePath, FileSizeLimitIsReportedAndLeavesNothingBehind) {
  for (const Staging& staging : {kUnnamedFile, kNamedTemporary, kBufferedCopy}) {
    for (const bool replacing : {false, true}) {
      SCOPED_TRACE(std::string(staging.name) + (replacing ? ", replacing" : ", new"));
      slftest::TempDir dir;
      // big.dat starts on a page boundary, so the kernel copies it where it can.
      slftest::SlfWriter()
          .add("pad", std::string(kPageAligned - 532, 'p'))
          .add("big.dat", std::string(64 * 1024, 'n'))
          .writeTo(dir / "a.slf");
      std::filesystem::create_directory(dir / "out");
      if (replacing) slftest::writeFile(dir / "out/big.dat", "the user's file");
      ProcessOptions limited = optionsFor(staging);
      limited.fileSizeLimit = 16 * 1024;
      const ProcessResult result = runTool({"-o", dir / "a.slf", "big.dat", "-d", dir / "out"}, limited);
      EXPECT_EQ(result.signal, 0);
      EXPECT_EQ(result.exitStatus, 1);
      EXPECT_EQ(result.out, "big.dat");
      EXPECT_EQ(result.err, "arcdig: Error writing file '" + (dir / "out") + "\\big.dat'\n");
      EXPECT_EQ(slftest::listTree(dir / "out"), replacing ? "big.dat\n" : "");
      if (replacing) {
        EXPECT_EQ(readFile(dir / "out/big.dat"), "the user's file");
      }
    }
  }
}

// Every way of staging gives the same bytes, and a replaced file its old
// permission bits.
TEST(WritePath, EveryStagingWritesExactBytesAndKeepsPermissions) {
  std::string data(3 * kMiB + 17, '\0');  // more than one piece of the buffered copy
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 3);
  for (const Staging& staging : {kUnnamedFile, kNamedTemporary, kBufferedCopy}) {
    SCOPED_TRACE(staging.name);
    slftest::TempDir dir;
    // d\a.bin starts on a page boundary (copied in the kernel where it can),
    // odd.bin right after it (always through the buffer).
    slftest::SlfWriter()
        .add("pad", std::string(kPageAligned - 532, 'p'))
        .add("d\\a.bin", data)
        .add("odd.bin", data)
        .add("empty", "")
        .writeTo(dir / "a.slf");
    ASSERT_EQ(runTool({dir / "a.slf", "*", "-d", dir / "out"}, optionsFor(staging)).exitStatus, 0);
    EXPECT_EQ(readFile(dir / "out/d/a.bin"), data);
    EXPECT_EQ(readFile(dir / "out/odd.bin"), data);
    ::chmod((dir / "out/d/a.bin").c_str(), 0604);
    slftest::writeFile(dir / "out/empty", "old");
    ASSERT_EQ(runTool({"-o", dir / "a.slf", "*", "-d", dir / "out"}, optionsFor(staging)).exitStatus, 0);
    EXPECT_EQ(readFile(dir / "out/d/a.bin"), data);
    EXPECT_EQ(readFile(dir / "out/empty"), "");
    struct stat info {};
    ASSERT_EQ(::stat((dir / "out/d/a.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(readFile(dir / "out/odd.bin"), data);
    EXPECT_EQ(slftest::listTree(dir / "out"), "d/\nd/a.bin\nempty\nodd.bin\npad\n");
  }
}

constexpr uid_t kNobody = 65534;

// As root, a replaced file belongs to root: it must not keep set-user-ID or
// set-group-ID bits that were meant for its former owner.
TEST(WritePath, RootReplacingASetIdFileDropsTheSetIdBits) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the old file to another user";
  for (const Staging& staging : {kUnnamedFile, kNamedTemporary}) {
    SCOPED_TRACE(staging.name);
    slftest::TempDir dir;
    slftest::SlfWriter().add("tool", "#!/bin/sh\necho archive\n").writeTo(dir / "game.slf");
    std::filesystem::create_directory(dir / "share");
    slftest::writeFile(dir / "share/tool", "#!/bin/sh\necho old\n");
    ASSERT_EQ(::chown((dir / "share/tool").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod((dir / "share/tool").c_str(), 06755), 0);
    ASSERT_EQ(runTool({"-o", dir / "game.slf", "*", "-d", dir / "share"}, optionsFor(staging)).exitStatus, 0);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "share/tool").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(readFile(dir / "share/tool"), "#!/bin/sh\necho archive\n");
  }
}

// A writable file in a directory the user cannot write is rewritten in place,
// as any program could; a file-size limit is found before an old byte changes.
TEST(WritePath, WritableFileInAReadOnlyDirectoryIsReplacedInPlace) {
  std::vector<std::string> asUser;  // the command prefix that runs the tool unprivileged
  if (::geteuid() == 0) {
    if (!slftest::pathExists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to drop root's privileges";
    asUser = {"--reuid=65534", "--regid=65534", "--clear-groups", ARCDIG_BINARY};
  }
  struct Case {
    const char* what;
    std::string member;  // f.txt is there already, g.txt is not
    long long fileSizeLimit;
    const char* denied;     // for the preloaded library
    std::string fixedText;  // of the error message; "" for success
    std::string contents;   // of f.txt afterwards
  };
  const std::string old = "the old contents, longer than the new";
  const std::vector<Case> cases = {
      {"replaced", "f.txt", -1, "", "", "new bytes"},
      {"over the size limit", "f.txt", 4, "", "Error writing file '", old},
      {"a full disk", "f.txt", -1, "nospace", "Error writing file '", old},
      {"a new file", "g.txt", -1, "", "Can't open file '", old},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    slftest::TempDir dir;
    slftest::SlfWriter().add(c.member, "new bytes").writeTo(dir / "a.slf");
    const std::string locked = dir / "locked";
    std::filesystem::create_directory(locked);
    slftest::writeFile(locked + "/f.txt", old);
    ::chmod((locked + "/f.txt").c_str(), 0640);
    if (!asUser.empty()) {
      ASSERT_EQ(::chown((locked + "/f.txt").c_str(), kNobody, kNobody), 0);
      ::chmod(dir.path().c_str(), 0755);
    }
    ::chmod(locked.c_str(), 0555);
    ProcessOptions options = optionsFor(Staging{c.what, c.denied});
    options.fileSizeLimit = c.fileSizeLimit;
    std::vector<std::string> arguments = asUser;
    arguments.insert(arguments.end(), {"-o", dir / "a.slf", "*", "-d", locked});
    const ProcessResult result = slftest::runProcess(asUser.empty() ? ARCDIG_BINARY : "/usr/bin/setpriv",
                                                     arguments, options);
    if (result.exitStatus == 126 || result.exitStatus == 127) GTEST_SKIP() << "the unprivileged user cannot run the tool here";
    EXPECT_EQ(result.exitStatus, c.fixedText.empty() ? 0 : 1) << result.err;
    if (!c.fixedText.empty()) {
      EXPECT_EQ(result.err, "arcdig: " + c.fixedText + locked + "\\" + c.member + "'\n");
    }
    EXPECT_EQ(readFile(locked + "/f.txt"), c.contents);
    struct stat info {};
    ASSERT_EQ(::stat((locked + "/f.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(slftest::listTree(locked), "f.txt\n");
    ::chmod(locked.c_str(), 0755);
  }
}

}  // namespace
