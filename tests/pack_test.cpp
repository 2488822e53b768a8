// arcpack on the in-memory platform: the lookup order, the record encoding,
// the bytes of a packed tree, the walk, the command line, failures after the
// archive was started, and --check.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "pack/front.h"
#include "pack/pack.h"
#include "slf/archive.h"
#include "support/fake_platform.h"
#include "support/slf_writer.h"

namespace {

using slftest::FakeConsole;
using slftest::FakeFileSystem;
using slftest::Member;
using slftest::SlfWriter;

// 2001-11-10 12:00:00 UTC as a FILETIME.
constexpr std::uint64_t kNovember2001 = 126498672000000000ull;

int sign(int value) { return (value > 0) - (value < 0); }

TEST(LookupOrder, FoldsOnlyLettersAndComparesUnsignedBytes) {
  struct Case {
    std::string left, right;
    int order;
  };
  const std::vector<Case> cases = {
      {"a", "B", -1},
      {"Z", "_", 1},           // folded 'z' sorts after '_', raw 'Z' would not
      {"_", "a", -1},
      {"A", "a", 0},           // cannot both be found
      {"Data\\X.STI", "data\\x.sti", 0},
      {"ab", "a", 1},          // a name sorts after every name it begins with
      {"", "a", -1},
      {"\xC4", "z", 1},        // bytes above 0x7F are unsigned and come last
      {"\xC4", "\xE4", -1},    // and are not folded
      {"a\\b", "a.b", 1},      // the backslash is an ordinary byte: 0x5C
      {"a\\b", "a_b", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.left + " <> " + c.right);
    EXPECT_EQ(sign(slf::compareLookupOrder(c.left, c.right)), c.order);
    EXPECT_EQ(sign(slf::compareLookupOrder(c.right, c.left)), -c.order);
    // The matcher's fold and the writer's order agree on what is the same name.
    EXPECT_EQ(slf::wildcardMatch(c.left, c.right), c.order == 0);
  }
}

TEST(Encoding, EncodersInvertTheDecodersAndAgreeWithTheTestWriter) {
  Member negative;
  negative.name = std::string(256, 'n');  // no terminator
  negative.data = "x";
  negative.overrideLength = true;
  negative.length = -5;
  negative.details = slftest::entryDetails(7, 0xFEDCBA9876543210ull);
  Member dated;
  dated.name = "dir\\dated.dat";
  dated.data = "dated";
  dated.details = slftest::entryDetails(0, kNovember2001);
  const std::string bytes = SlfWriter()
                                .libraryName("Lib.slf")
                                .basePath("base\\")
                                .details(slftest::headerDetails(-3, 0xFFFF, 0x0200, 1))
                                .add(negative)
                                .add(dated)
                                .build();
  const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());

  const slf::SLFHeader header = slf::decodeHeader(raw);
  std::string encoded(slf::kHeaderSize, '\0');
  slf::encodeHeader(header, reinterpret_cast<unsigned char*>(encoded.data()));
  EXPECT_EQ(encoded, bytes.substr(0, slf::kHeaderSize));
  EXPECT_EQ(slf::usedEntryCount(header), -3);

  const std::size_t directory = bytes.size() - 2 * slf::kEntrySize;
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t at = directory + i * slf::kEntrySize;
    const slf::SLFEntry entry = slf::decodeEntry(raw + at);
    std::string record(slf::kEntrySize, '\0');
    slf::encodeEntry(entry, reinterpret_cast<unsigned char*>(record.data()));
    EXPECT_EQ(record, bytes.substr(at, slf::kEntrySize));
  }
  const slf::SLFEntry first = slf::decodeEntry(raw + directory);
  EXPECT_EQ(slf::entryState(first), 7);
  EXPECT_EQ(slf::entryModified(first), 0xFEDCBA9876543210ull);

  // The details the writer side sets are the bytes the test writer lays down.
  slf::SLFHeader made = header;
  slf::setHeaderDetails(made, 12, slf::Subdirectories::Absent);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(made.reserved), 16),
            slftest::headerDetails(12, 0xFFFF, 0x0200, 0));
  slf::SLFEntry entry = first;
  slf::setEntryDetails(entry, kNovember2001);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.reserved), 16), slftest::entryDetails(0, kNovember2001));
}

// A fake tree, arcpack run over it, and what came out.
class PackTest : public ::testing::Test {
 protected:
  int pack(std::vector<std::string> arguments, const char* sourceDateEpoch = nullptr) {
    console = FakeConsole();
    std::vector<const char*> argv{"arcpack"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return pack::run(static_cast<int>(argv.size()), argv.data(), sourceDateEpoch, console, fileSystem);
  }
  void addFile(const std::string& path, std::string contents, std::uint64_t modified = kNovember2001) {
    fileSystem.addFile(path, std::move(contents));
    fileSystem.setModified(path, modified);
  }
  std::vector<std::string> storedNames(const std::string& archivePath) {
    slf::SLFArchive archive(archivePath.c_str(), 0, "", fileSystem);
    std::vector<std::string> names;
    for (const slf::SLFEntry& entry : archive.entries) names.emplace_back(slf::fieldText(entry.name));
    return names;
  }
  bool logHas(const std::string& prefix) const {
    return std::any_of(fileSystem.log.begin(), fileSystem.log.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
  }

  FakeFileSystem fileSystem;
  FakeConsole console;
};

Member member(std::string name, std::string data, std::uint64_t modified) {
  Member result;
  result.name = std::move(name);
  result.data = std::move(data);
  result.details = slftest::entryDetails(0, modified);
  return result;
}

TEST_F(PackTest, SmallTreeGivesExactlyTheseBytes) {
  fileSystem.addDirectory("tree");
  fileSystem.addDirectory("tree/A");
  fileSystem.addDirectory("tree/a_");
  addFile("tree/b.dat", "BB");
  addFile("tree/A/c.dat", "");
  addFile("tree/a_/x", "X", kNovember2001 + 1);
  addFile("tree/Z.txt", "zz");

  ASSERT_EQ(pack({"-n", "Lib.slf", "-b", "base", "out.slf", "tree"}), 0) << console.err;
  const std::string archive = fileSystem.contents("out.slf");

  // Lookup order: '\' (0x5C) before '_' (0x5F), and Z folded after b.
  const std::string expected = SlfWriter()
                                   .libraryName("Lib.slf")
                                   .basePath("base\\")
                                   .details(slftest::headerDetails(4, 0xFFFF, 0x0200, 1))
                                   .add(member("A\\c.dat", "", kNovember2001))
                                   .add(member("a_\\x", "X", kNovember2001 + 1))
                                   .add(member("b.dat", "BB", kNovember2001))
                                   .add(member("Z.txt", "zz", kNovember2001))
                                   .build();
  EXPECT_EQ(archive, expected);

  // The same facts spelled out, independent of either encoder.
  ASSERT_EQ(archive.size(), 532u + 5u + 4u * 280u);
  EXPECT_EQ(archive.substr(512, 20), std::string("\x04\0\0\0\x04\0\0\0\xFF\xFF\x00\x02\x01\0\0\0\0\0\0\0", 20));
  EXPECT_EQ(archive.substr(532, 5), "XBBzz");  // member data in record order, right after the header
  const std::string lastRecord = archive.substr(archive.size() - 280);
  EXPECT_EQ(lastRecord.substr(0, 6), std::string("Z.txt\0", 6));
  EXPECT_EQ(lastRecord.substr(256, 8), std::string("\x17\x02\0\0\x02\0\0\0", 8));  // offset 535, length 2
  EXPECT_EQ(lastRecord.substr(264, 16), std::string("\0\0\0\0\x00\x60\x1e\x39\xdf\x69\xc1\x01\0\0\0\0", 16));
}

TEST_F(PackTest, FlatTreeHasNoSubdirectoriesAndAnEmptyFolderGivesAnEmptyArchive) {
  fileSystem.addDirectory("flat");
  addFile("flat/a", "1");
  fileSystem.addDirectory("flat/empty-folder");
  ASSERT_EQ(pack({"flat.slf", "flat"}), 0) << console.err;
  EXPECT_EQ(fileSystem.contents("flat.slf")[524], '\0');
  EXPECT_EQ(storedNames("flat.slf"), std::vector<std::string>{"a"});

  fileSystem.addDirectory("nothing");
  ASSERT_EQ(pack({"nothing.slf", "nothing"}), 0) << console.err;
  EXPECT_EQ(fileSystem.contents("nothing.slf"),
            SlfWriter().libraryName("nothing.slf").details(slftest::headerDetails(0, 0xFFFF, 0x0200, 0)).build());
}

TEST_F(PackTest, SameTreeListedInAnotherOrderWithOtherTimesGivesTheSameBytes) {
  const auto makeTree = [this](std::uint64_t modified) {
    fileSystem.addDirectory("tree");
    fileSystem.addDirectory("tree/Sub");
    addFile("tree/one", "1", modified);
    addFile("tree/Sub/two", "22", modified + 7);
    addFile("tree/three", "333", modified + 99);
  };
  makeTree(kNovember2001);
  ASSERT_EQ(pack({"out.slf", "tree"}, "1005393600"), 0) << console.err;
  const std::string first = fileSystem.contents("out.slf");

  fileSystem = FakeFileSystem();
  fileSystem.listInReverse = true;
  makeTree(kNovember2001 + 123456789);
  ASSERT_EQ(pack({"out.slf", "tree"}, "1005393600"), 0) << console.err;
  EXPECT_EQ(fileSystem.contents("out.slf"), first);
  EXPECT_EQ(storedNames("out.slf"), (std::vector<std::string>{"one", "Sub\\two", "three"}));

  // Without it the files' own times are stored.
  ASSERT_EQ(pack({"-f", "out.slf", "tree"}), 0) << console.err;
  slf::SLFArchive archive("out.slf", 0, "", fileSystem);
  EXPECT_EQ(slf::entryModified(archive.entries.back()), kNovember2001 + 123456789 + 99);
}

TEST_F(PackTest, LinksAreFollowedAndTheArchiveIsKnownByIdentity) {
  fileSystem.addDirectory("elsewhere");
  addFile("elsewhere/shared.dat", "shared");
  fileSystem.addDirectory("tree");
  fileSystem.addDirectory("tree/sub");
  addFile("tree/a.dat", "a");
  fileSystem.addLink("tree/linked", "elsewhere");
  addFile("tree/out.slf", "the old archive");
  fileSystem.addLink("tree/alias.slf", "tree/out.slf");  // the archive under another name
  addFile("tree/sub/out.slf", "not the archive, whatever its name");

  ASSERT_EQ(pack({"-f", "tree/out.slf", "tree"}), 0) << console.err;
  EXPECT_EQ(storedNames("tree/out.slf"), (std::vector<std::string>{"a.dat", "linked\\shared.dat", "sub\\out.slf"}));
}

TEST_F(PackTest, WalkEndsBeforeTheArchiveIsCreated) {
  fileSystem.addDirectory("tree");
  fileSystem.addDirectory("tree/sub");
  addFile("tree/sub/x", "x");
  ASSERT_EQ(pack({"-v", "out.slf", "tree"}), 0) << console.err;
  std::vector<std::string> steps;
  for (const std::string& line : fileSystem.log) {
    if (line.rfind("list", 0) == 0 || line.rfind("create", 0) == 0 || line.rfind("commit", 0) == 0) {
      steps.push_back(line);
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"list tree", "list tree/sub", "create out.slf", "commit out.slf"}));
  EXPECT_EQ(console.out, "sub\\x\n");
}

// Failures once the archive has been started: the report names what failed,
// the unfinished archive is discarded, and an archive being replaced stays.
TEST_F(PackTest, FailuresWhileWritingDiscardTheArchive) {
  struct Case {
    std::string name;
    std::function<void(FakeFileSystem&)> fault;
    std::string error;
    std::string lastStep;  // the last file-system call, on out.slf
  };
  const std::vector<Case> cases = {
      {"create", [](FakeFileSystem& fs) { fs.failCreateFile = true; }, "Can't create archive 'out.slf'", ""},
      {"write", [](FakeFileSystem& fs) { fs.failWrite = true; }, "Error writing archive 'out.slf'", "discard"},
      {"close", [](FakeFileSystem& fs) { fs.failClose = true; }, "Error writing archive 'out.slf'", "commit"},
      {"rename", [](FakeFileSystem& fs) { fs.failCommit = true; }, "Can't create archive 'out.slf'", "commit"},
      {"open source", [](FakeFileSystem& fs) { fs.failOpenForReading = true; }, "Can't open file 'tree/a.dat'",
       "discard"},
      {"read source", [](FakeFileSystem& fs) { fs.failRead = true; }, "Error reading file 'tree/a.dat'", "discard"},
      {"source cut short after the walk", [](FakeFileSystem& fs) { fs.contentsWhenOpened["tree/a.dat"] = "da"; },
       "Unexpected end of file in 'tree/a.dat'", "discard"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool replacing : {false, true}) {
      fileSystem = FakeFileSystem();
      fileSystem.addDirectory("tree");
      addFile("tree/a.dat", "data");
      if (replacing) fileSystem.addFile("out.slf", "old archive");
      c.fault(fileSystem);
      std::vector<std::string> arguments{"out.slf", "tree"};
      if (replacing) arguments.insert(arguments.begin(), "-f");
      EXPECT_EQ(pack(arguments), 1);
      EXPECT_EQ(console.err, "arcpack: " + c.error + "\n");
      EXPECT_EQ(fileSystem.exists("out.slf"), replacing);
      if (replacing) {
        EXPECT_EQ(fileSystem.contents("out.slf"), "old archive");
      }
      const std::string placed = replacing ? "replace" : "create";
      EXPECT_EQ(fileSystem.log.back(), (c.lastStep.empty() ? placed : c.lastStep) + " out.slf");
    }
  }
}

TEST_F(PackTest, CommandLine) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out, err;
    std::string libraryName = {}, basePath = {};  // of out.slf, when packed
  };
  const std::string hint = "Try 'arcpack --help' for more information.\n";
  const std::vector<Case> cases = {
      {{"out.slf", "tree"}, 0, "", "", "out.slf", ""},
      {{"-n", "Lib.SLF", "-b", "data/maps", "out.slf", "tree"}, 0, "", "", "Lib.SLF", "data\\maps\\"},
      {{"--library-name=L", "--base-path", "x\\", "out.slf", "tree"}, 0, "", "", "L", "x\\"},
      {{"-nL", "-b/", "out.slf", "tree"}, 0, "", "", "L", "\\"},
      {{"out.slf", "-v", "tree", "--library-name", "-v"}, 0, "a.dat\n", "", "-v", ""},
      {{"-vn", "N", "out.slf", "tree"}, 0, "a.dat\n", "", "N", ""},
      {{"--base-path=", "--", "out.slf", "tree"}, 0, "", "", "out.slf", ""},
      {{"-x"}, 1, "", "arcpack: invalid option -- 'x'\n" + hint},
      {{"-fz", "out.slf", "tree"}, 1, "", "arcpack: invalid option -- 'z'\n" + hint},
      {{"--nope", "out.slf", "tree"}, 1, "", "arcpack: unrecognized option '--nope'\n" + hint},
      {{"--forc", "out.slf", "tree"}, 1, "", "arcpack: unrecognized option '--forc'\n" + hint},
      {{"--force=yes", "out.slf", "tree"}, 1, "", "arcpack: option '--force' doesn't allow an argument\n" + hint},
      {{"out.slf", "tree", "-n"}, 1, "", "arcpack: option requires an argument -- 'n'\n" + hint},
      {{"out.slf", "tree", "--base-path"}, 1, "", "arcpack: option '--base-path' requires an argument\n" + hint},
      {{}, 1, "", "arcpack: missing ARCHIVE and FOLDER\n" + hint},
      {{"out.slf"}, 1, "", "arcpack: missing FOLDER after 'out.slf'\n" + hint},
      {{"out.slf", "tree", "more"}, 1, "", "arcpack: extra operand 'more'\n" + hint},
      {{"--check", "a.slf", "tree"}, 1, "", "arcpack: extra operand 'tree'\n" + hint},
      {{"--", "-v"}, 1, "", "arcpack: missing FOLDER after '-v'\n" + hint},
      {{"-x", "--help"}, 1, "", "arcpack: invalid option -- 'x'\n" + hint},
      {{"-n", std::string(256, 'L'), "out.slf", "tree"}, 1, "",
       "arcpack: Library name longer than 255 bytes '" + std::string(256, 'L') + "'\n"},
      {{"-b", std::string(255, 'b'), "out.slf", "tree"}, 1, "",
       "arcpack: Base path longer than 255 bytes '" + std::string(255, 'b') + "\\'\n"},
      {{"--version", "-x"}, 0, "arcpack " ARCDIG_VERSION "\n", ""},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument.substr(0, 20) + " ";
    SCOPED_TRACE(shown);
    fileSystem = FakeFileSystem();
    fileSystem.addDirectory("tree");
    addFile("tree/a.dat", "a");
    EXPECT_EQ(pack(c.arguments), c.status);
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, c.err);
    if (c.status != 0 || c.libraryName.empty()) {
      EXPECT_FALSE(fileSystem.exists("out.slf"));
      continue;
    }
    slf::SLFArchive archive("out.slf", 0, "", fileSystem);
    EXPECT_EQ(slf::fieldText(archive.header.libraryName), c.libraryName);
    EXPECT_EQ(slf::fieldText(archive.header.basePath), c.basePath);
  }

  ASSERT_EQ(pack({"-h", "-x"}), 0);
  EXPECT_EQ(console.out.rfind("Usage: arcpack [OPTION]... ARCHIVE FOLDER\n", 0), 0u);
  EXPECT_EQ(console.err, "");
}

TEST(PackNames, DefaultLibraryNameAndSourceDateEpoch) {
  EXPECT_EQ(pack::defaultLibraryName("maps.slf"), "maps.slf");
  EXPECT_EQ(pack::defaultLibraryName("data/Maps.SLF"), "Maps.SLF");
  EXPECT_EQ(pack::defaultLibraryName("C:\\games\\data\\maps.slf"), "maps.slf");
  EXPECT_EQ(pack::defaultLibraryName("C:maps.slf"), "maps.slf");

  EXPECT_EQ(pack::parseSourceDateEpoch(nullptr), std::nullopt);
  EXPECT_EQ(pack::parseSourceDateEpoch(""), std::nullopt);
  EXPECT_EQ(pack::parseSourceDateEpoch("0"), 116444736000000000ull);
  EXPECT_EQ(pack::parseSourceDateEpoch("1005393600"), kNovember2001);
  EXPECT_EQ(pack::parseSourceDateEpoch("1833029933770"), 18446744073700000000ull);  // the last that fits
  for (const char* bad : {"-1", "1e9", " 1", "12x", "1833029933771", "99999999999999999999999"}) {
    SCOPED_TRACE(bad);
    try {
      pack::parseSourceDateEpoch(bad);
      ADD_FAILURE() << "accepted";
    } catch (const slf::SLFError& error) {
      EXPECT_EQ(error.message, std::string("Invalid SOURCE_DATE_EPOCH '") + bad + "'");
    }
  }
}

// --check on archives made wrong on purpose, one fault each.
TEST_F(PackTest, CheckReportsWhatTheGameWouldMiss) {
  const std::string header = slftest::headerDetails(2, 0xFFFF, 0x0200, 0);
  const auto two = [&](Member first, Member second) {
    return SlfWriter().details(header).add(std::move(first)).add(std::move(second));
  };
  const auto at = [](Member base, std::int32_t offset, std::int32_t length) {
    base.overrideOffset = true;
    base.offset = offset;
    base.overrideLength = true;
    base.length = length;
    return base;
  };
  const Member a = member("a.dat", "AAAA", kNovember2001);
  const Member b = member("b.dat", "BBBB", kNovember2001);
  Member notInUse = b;
  notInUse.details = slftest::entryDetails(1, kNovember2001);
  struct Case {
    std::string name;
    std::string archive;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"sound", two(a, b).build(), "2 entries, no problems found\n"},
      {"order", two(b, a).build(), "'a.dat': out of lookup order after 'b.dat'\n2 entries, 1 problem found\n"},
      {"case", two(member("A.DAT", "x", 0), member("a.dat", "y", 0)).build(),
       "'a.dat': same name as 'A.DAT' when letter case is ignored\n2 entries, 1 problem found\n"},
      {"in header", two(a, at(b, 100, 4)).build(),
       "'b.dat': data outside the data region (offset 100, length 4)\n2 entries, 1 problem found\n"},
      {"into records", two(a, at(b, 536, 5)).build(),
       "'b.dat': data outside the data region (offset 536, length 5)\n2 entries, 1 problem found\n"},
      {"negative", two(a, at(b, 536, -1)).build(),
       "'b.dat': data outside the data region (offset 536, length -1)\n2 entries, 1 problem found\n"},
      {"overlap", two(a, at(b, 534, 4)).build(), "'b.dat': data overlaps 'a.dat'\n2 entries, 1 problem found\n"},
      {"empty members never overlap", two(at(a, 532, 0), at(b, 532, 0)).build(), "2 entries, no problems found\n"},
      {"in use", two(a, b).details(slftest::headerDetails(1, 0xFFFF, 0x0200, 0)).build(),
       "header: entries in use (1) differ from the entry count (2)\n2 entries, 1 problem found\n"},
      {"base path", two(a, b).basePath("data/maps").build(),
       "header: base path 'data/maps' does not end in a backslash\n2 entries, 1 problem found\n"},
      {"state", two(a, notInUse).build(),
       "'b.dat': not marked in use (state 1), so the game skips it\n2 entries, 1 problem found\n"},
      {"unsafe", two(member("..\\x", "1", 0), member("a:b", "2", 0)).build(),
       "'..\\x': name that arcdig refuses to extract\n'a:b': name that arcdig refuses to extract\n"
       "2 entries, 2 problems found\n"},
      {"rooted", two(member("\\root", "1", 0), b).build(),
       "'\\root': name that arcdig refuses to extract\n2 entries, 1 problem found\n"},
      {"unterminated", two(a, member(std::string(256, 'z'), "z", 0)).build(),
       "'" + std::string(256, 'z') + "': name has no ending zero byte\n2 entries, 1 problem found\n"},
      {"several", two(b, at(a, 532, 8)).build(),
       "'a.dat': out of lookup order after 'b.dat'\n'a.dat': data overlaps 'b.dat'\n2 entries, 2 problems found\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fileSystem.addFile("x.slf", c.archive);
    const int status = pack({"--check", "x.slf"});
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, "");
    EXPECT_EQ(status, c.out.find("no problems") != std::string::npos ? 0 : 1);
  }

  // What arcpack writes passes its own check.
  fileSystem.addDirectory("tree");
  fileSystem.addDirectory("tree/Sub");
  addFile("tree/Sub/b", "bb");
  addFile("tree/a", "");
  addFile("tree/_", "_");
  ASSERT_EQ(pack({"-b", "base", "packed.slf", "tree"}), 0);
  EXPECT_EQ(pack({"--check=packed.slf"}), 0);
  EXPECT_EQ(console.out, "3 entries, no problems found\n");

  // An archive that cannot be read is an error, not a finding.
  fileSystem.addFile("short.slf", "too short");
  EXPECT_EQ(pack({"--check", "short.slf"}), 1);
  EXPECT_EQ(console.out, "");
  EXPECT_EQ(console.err, "arcpack: Unexpected end of file in 'short.slf'\n");
  EXPECT_EQ(pack({"--check", "missing.slf"}), 1);
  EXPECT_EQ(console.err, "arcpack: Can't open file 'missing.slf'\n");
}

}  // namespace
