#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "slf/archive.h"
#include "support/fake_platform.h"
#include "support/slf_writer.h"

namespace {

using slftest::FakeFileSystem;
using slftest::SlfWriter;

struct Outcome {
  bool written = false;
  std::string error;  // empty when no SLFError was thrown
};

// Puts an archive holding `members` into the fake and extracts its first entry.
class ExtractTest : public ::testing::Test {
 protected:
  Outcome extractFirst(const std::string& exdir, slf::SLFFlags flags, SlfWriter writer) {
    fileSystem.addFile("test.slf", writer.libraryName("Lib.slf").build());
    slf::SLFArchive archive("test.slf", flags, exdir, fileSystem);
    fileSystem.log.clear();
    Outcome outcome;
    try {
      outcome.written = archive.extract(archive.entries.front());
    } catch (const slf::SLFError& error) {
      outcome.error = error.message;
    }
    return outcome;
  }

  std::vector<std::string> statusQueries() const {
    std::vector<std::string> queries;
    for (const std::string& line : fileSystem.log) {
      if (line.rfind("status ", 0) == 0) queries.push_back(line.substr(7));
    }
    return queries;
  }

  FakeFileSystem fileSystem;
};

TEST_F(ExtractTest, BuildsOutputPathAndWalksEveryPrefix) {
  struct Case {
    std::string exdir, basePath, name;
    slf::SLFFlags flags;
    std::string outputPath;
    std::vector<std::string> prefixes;
  };
  const std::vector<Case> cases = {
      {"out", "ignored\\", "faces\\a.sti", 0, "out\\faces\\a.sti", {"out", "out\\faces"}},
      {"out", "ignored\\", "faces\\a.sti", slf::JunkPaths, "out\\a.sti", {"out"}},
      {"", "data\\", "faces\\a.sti", 0, "data\\faces\\a.sti", {"data", "data\\faces"}},
      {"", "data", "a.sti", 0, "dataa.sti", {}},
      {"", "", "x/y/z.dat", slf::JunkPaths, "x/y/z.dat", {"x", "x\\y"}},
      {"", "", "a\\b/c.dat", slf::JunkPaths, "b/c.dat", {"b"}},
      {"C:\\games\\", "", "x\\y.dat", 0, "C:\\games\\x\\y.dat", {"C:\\games", "C:\\games\\x"}},
      {"C:/games", "", "x/y.dat", 0, "C:/games\\x/y.dat", {"C:\\games", "C:\\games\\x"}},
      {"C:x", "", "y.dat", 0, "C:x\\y.dat", {"C:x"}},
      {"\\tmp", "", "a.dat", 0, "\\tmp\\a.dat", {"\\tmp"}},
      {"out\\\\", "", "a.dat", 0, "out\\\\a.dat", {"out", "out\\"}},
      {"out", "", "./a.dat", 0, "out\\./a.dat", {"out", "out\\."}},
  };
  for (const Case& c : cases) {
    fileSystem = FakeFileSystem();
    const Outcome outcome = extractFirst(c.exdir, c.flags, SlfWriter().basePath(c.basePath).add(c.name, "bytes"));
    SCOPED_TRACE(c.exdir + " + " + c.name);
    ASSERT_EQ(outcome.error, "");
    EXPECT_TRUE(outcome.written);
    std::vector<std::string> expected = c.prefixes;
    expected.push_back(c.outputPath);  // the existence check comes last
    EXPECT_EQ(statusQueries(), expected);
    EXPECT_EQ(fileSystem.contents(c.outputPath), "bytes");
  }
}

TEST_F(ExtractTest, ExistingDirectoriesAreQueriedNotCreated) {
  fileSystem.addDirectory("out");
  fileSystem.addDirectory("out\\faces");
  extractFirst("out", 0, SlfWriter().add("faces\\a.sti", "1"));
  EXPECT_EQ(fileSystem.walkLog(), (std::vector<std::string>{"status out", "status out\\faces", "status out\\faces\\a.sti"}));
}

TEST_F(ExtractTest, ExistingFileIsLeftAloneUnlessOverwriteIsSet) {
  fileSystem.addDirectory("out");
  fileSystem.addFile("out\\a.dat", "old");
  Outcome outcome = extractFirst("out", 0, SlfWriter().add("a.dat", "new"));
  EXPECT_FALSE(outcome.written);
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(fileSystem.contents("out\\a.dat"), "old");
  EXPECT_EQ(fileSystem.log.back(), "status out\\a.dat");  // nothing opened

  outcome = extractFirst("out", slf::Overwrite, SlfWriter().add("a.dat", "new"));
  EXPECT_TRUE(outcome.written);
  EXPECT_EQ(fileSystem.contents("out\\a.dat"), "new");
  EXPECT_EQ(fileSystem.log, (std::vector<std::string>{"status out", "status out\\a.dat", "replace out\\a.dat",
                                                      "copy out\\a.dat 3", "commit out\\a.dat"}));
}

TEST_F(ExtractTest, EmptyEntryWritesAnEmptyFileWhereverItsOffsetPoints) {
  slftest::Member member;
  member.name = "empty.dat";
  member.overrideOffset = true;
  member.offset = 2000000000;
  const Outcome outcome = extractFirst("out", 0, SlfWriter().add(member));
  EXPECT_TRUE(outcome.written);
  EXPECT_TRUE(fileSystem.exists("out\\empty.dat"));
  EXPECT_EQ(fileSystem.contents("out\\empty.dat"), "");
}

TEST_F(ExtractTest, EachFailureHasItsMessageAndLeavesTheWalkBehind) {
  struct Case {
    const char* what;
    std::function<void(FakeFileSystem&, slftest::Member&)> arrange;
    std::string message;
    bool outputRemains;  // an earlier file at the output path is there and survives
  };
  const std::vector<Case> cases = {
      {"directory cannot be made", [](FakeFileSystem& fs, slftest::Member&) { fs.failCreateDirectory.insert("out\\sub"); },
       "Can't create directory 'out\\sub'", false},
      {"component is a file", [](FakeFileSystem& fs, slftest::Member&) { fs.addFile("out\\sub", "f"); },
       "Can't create directory 'out\\sub'", false},
      {"length has its top bit set", [](FakeFileSystem&, slftest::Member& m) { m.overrideLength = true, m.length = -5; },
       "Out of memory", true},
      {"entry runs past the end", [](FakeFileSystem&, slftest::Member& m) { m.overrideLength = true, m.length = 1 << 30; },
       "Unexpected end of file in 'Lib.slf'", true},
      {"offset is negative", [](FakeFileSystem&, slftest::Member& m) { m.overrideOffset = true, m.offset = -1; },
       "Unexpected end of file in 'Lib.slf'", true},
      {"read fails", [](FakeFileSystem& fs, slftest::Member&) { fs.failRead = true; },
       "Error reading file 'Lib.slf'", true},
      {"output is a directory", [](FakeFileSystem& fs, slftest::Member&) { fs.addDirectory("out\\sub\\a.dat"); },
       "Can't open file 'out\\sub\\a.dat'", false},
      {"output is a device", [](FakeFileSystem& fs, slftest::Member&) { fs.addOther("out\\sub\\a.dat"); },
       "Can't open file 'out\\sub\\a.dat'", false},
      {"file cannot be created", [](FakeFileSystem& fs, slftest::Member&) { fs.failCreateFile = true; },
       "Can't open file 'out\\sub\\a.dat'", true},
      {"write fails", [](FakeFileSystem& fs, slftest::Member&) { fs.failWrite = true; },
       "Error writing file 'out\\sub\\a.dat'", true},
      {"close fails", [](FakeFileSystem& fs, slftest::Member&) { fs.failClose = true; },
       "Error writing file 'out\\sub\\a.dat'", true},
      {"rename fails", [](FakeFileSystem& fs, slftest::Member&) { fs.failCommit = true; },
       "Can't open file 'out\\sub\\a.dat'", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fileSystem = FakeFileSystem();
    fileSystem.addDirectory("out");
    if (c.outputRemains) {
      fileSystem.addDirectory("out\\sub");
      fileSystem.addFile("out\\sub\\a.dat", "old");
    }
    slftest::Member member;
    member.name = "sub\\a.dat";
    member.data = "new bytes";
    c.arrange(fileSystem, member);
    const bool readFails = fileSystem.failRead;
    fileSystem.failRead = false;  // the archive itself must load
    fileSystem.addFile("test.slf", SlfWriter().libraryName("Lib.slf").add(member).build());
    slf::SLFArchive archive("test.slf", slf::Overwrite, "out", fileSystem);
    fileSystem.failRead = readFails;
    try {
      archive.extract(archive.entries.front());
      ADD_FAILURE() << "no error";
    } catch (const slf::SLFError& error) {
      EXPECT_EQ(error.message, c.message);
    }
    EXPECT_TRUE(fileSystem.exists("out"));
    if (c.outputRemains) {
      EXPECT_EQ(fileSystem.contents("out\\sub\\a.dat"), "old");
    }
    const bool committed = std::any_of(fileSystem.log.begin(), fileSystem.log.end(),
                                       [](const std::string& line) { return line.rfind("commit", 0) == 0; });
    EXPECT_EQ(committed, fileSystem.failCommit || fileSystem.failClose);  // only a failure at commit reaches it
  }
}

TEST_F(ExtractTest, ReadFailureComesBeforeTheExistenceCheck) {
  fileSystem.addDirectory("out");
  fileSystem.addFile("out\\a.dat", "old");
  slftest::Member member;
  member.name = "a.dat";
  member.overrideLength = true;
  member.length = 1000;
  const Outcome outcome = extractFirst("out", 0, SlfWriter().add(member));
  EXPECT_EQ(outcome.error, "Unexpected end of file in 'Lib.slf'");
  EXPECT_EQ(fileSystem.contents("out\\a.dat"), "old");
}

TEST_F(ExtractTest, NameEndingInASeparatorCannotBeOpened) {
  EXPECT_EQ(extractFirst("out", 0, SlfWriter().add("dir\\", "x")).error, "Can't open file 'out\\dir\\'");
  EXPECT_TRUE(fileSystem.exists("out\\dir"));
  fileSystem = FakeFileSystem();
  EXPECT_EQ(extractFirst("out", slf::JunkPaths, SlfWriter().add("dir\\", "x")).error, "Can't open file 'out\\'");
}

TEST_F(ExtractTest, HostileNamesAreRefusedBeforeAnythingIsTouched) {
  struct Case {
    std::string exdir, basePath, name;
    slf::SLFFlags flags;
    std::string shownPath;
  };
  const std::vector<Case> cases = {
      {"out", "", "a\\..\\..\\x", 0, "out\\a\\..\\..\\x"},
      {"out", "", "../x", 0, "out\\../x"},
      {"out", "", "..", 0, "out\\.."},
      {"out", "", "sub\\..", 0, "out\\sub\\.."},
      {"out", "", "\\x", 0, "out\\\\x"},
      {"out", "", "/x", 0, "out\\/x"},
      {"out", "", "C:\\x", 0, "out\\C:\\x"},
      {"out", "", "C:x", 0, "out\\C:x"},
      {"out", "", "x:\\y", 0, "out\\x:\\y"},
      {"out", "", "file.txt:stream", 0, "out\\file.txt:stream"},
      {"out", "", "dir\\../../x", slf::JunkPaths, "out\\../../x"},
      {"out", "", "dir\\\\x", slf::JunkPaths, "out\\x"},  // the cut makes it safe: not refused
      {"", "..\\", "x", 0, "..\\x"},
      {"", "\\abs\\", "x", 0, "\\abs\\x"},
      {"", "/abs/", "x", 0, "/abs/x"},
      {"", "C:\\games\\", "x", 0, "C:\\games\\x"},
      {"", "", "\\x", 0, "\\x"},
      {"", "", "a/../../x", 0, "a/../../x"},
      {"out", "", "bad\\x", 0, "out\\bad\\x"},  // a component the platform refuses
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fileSystem = FakeFileSystem();
    fileSystem.rejectedComponents.insert("bad");
    const Outcome outcome = extractFirst(c.exdir, c.flags, SlfWriter().basePath(c.basePath).add(c.name, "x"));
    if (c.shownPath == "out\\x") {
      EXPECT_EQ(outcome.error, "");
      continue;
    }
    EXPECT_EQ(outcome.error, "Unsafe path '" + c.shownPath + "'");
    EXPECT_TRUE(fileSystem.log.empty()) << fileSystem.log.front();
  }
}

TEST_F(ExtractTest, OrdinaryDotsAndTrustedOutputDirectoryAreAllowed) {
  for (const std::string name : {"..x", "y..dat", ".\\a", "a.\\b", "...."}) {
    fileSystem = FakeFileSystem();
    EXPECT_EQ(extractFirst("out", 0, SlfWriter().add(name, "1")).error, "") << name;
  }
  fileSystem = FakeFileSystem();
  fileSystem.addDirectory("..");
  EXPECT_EQ(extractFirst("..\\out", 0, SlfWriter().add("a", "1")).error, "");
  EXPECT_EQ(fileSystem.contents("..\\out\\a"), "1");
}

}  // namespace
