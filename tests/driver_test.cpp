#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/driver.h"
#include "support/fake_platform.h"
#include "support/slf_writer.h"

namespace {

using slftest::FakeConsole;
using slftest::FakeFileSystem;
using slftest::SlfWriter;

class DriverTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "arcdig");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return cli::run(static_cast<int>(argv.size()), argv.data(), console, fileSystem);
  }

  FakeConsole console;
  FakeFileSystem fileSystem;
};

TEST_F(DriverTest, ListsNameAndSignedLengthPerMatchInPatternOrder) {
  slftest::Member huge;
  huge.name = "huge.dat";
  huge.overrideLength = true;
  huge.length = -2147483647 - 1;
  fileSystem.addFile("a.slf", SlfWriter().add("Dir\\One.sti", "12345").add("empty", "").add(huge).build());
  EXPECT_EQ(run({"-l", "a.slf", "*.sti", "nothing", "*", "dir\\one.STI"}), 0);
  EXPECT_EQ(console.out,
            "Dir\\One.sti   5 bytes\n"
            "Dir\\One.sti   5 bytes\n"
            "empty   0 bytes\n"
            "huge.dat   -2147483648 bytes\n"
            "Dir\\One.sti   5 bytes\n");
  EXPECT_EQ(console.err, "");
  EXPECT_EQ(console.flushedOut, 0u);  // listing lines are not flushed one by one
}

TEST_F(DriverTest, ArchiveErrorIsReportedOnceWithoutHint) {
  EXPECT_EQ(run({"-l", "missing.slf", "*"}), 1);
  EXPECT_EQ(console.out, "");
  EXPECT_EQ(console.err, "arcdig: Can't open file 'missing.slf'\n");
}

TEST_F(DriverTest, ParsesOptionsPatternsAndOutputDirectory) {
  struct Case {
    std::vector<const char*> argv;
    cli::CommandLine::Outcome outcome;
    std::string error;
    slf::SLFFlags flags;
    cli::RunMode mode;
    cli::AskMode ask;
    std::vector<std::string> patterns;
    std::string outputDirectory;
  };
  using O = cli::CommandLine::Outcome;
  using cli::AskMode;
  using cli::RunMode;
  const std::vector<Case> cases = {
      {{"x"}, O::Error, "too few arguments", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-l"}, O::Error, "too few arguments", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "a.slf"}, O::Error, "too few arguments", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-h"}, O::Usage, "", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-hx"}, O::Usage, "", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-xh"}, O::Error, "invalid option -- x", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-d", "a.slf", "p"}, O::Error, "invalid option -- d", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "--", "a.slf", "p"}, O::Error, "invalid option -- -", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-\xE9", "a.slf", "p"}, O::Error, "invalid option -- \xE9", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "-lj", "-", "-on", "a.slf", "p", "-l", "-D"}, O::Run, "", slf::JunkPaths | slf::Overwrite,
       RunMode::List, AskMode::Never, {"p", "-l", "-D"}, ""},
      {{"x", "a.slf", "-d", "out"}, O::Run, "", 0, RunMode::Extract, AskMode::Ask, {}, "out"},
      {{"x", "a.slf", "p", "-d"}, O::Error, "too few parameters", 0, RunMode::Extract, AskMode::Ask, {}, ""},
      {{"x", "a.slf", "p", "-dx", "-d", "-d", "q", "-d"}, O::Run, "", 0, RunMode::Extract, AskMode::Ask,
       {"p", "-dx"}, "-d"},
      {{"x", "a.slf", "p", "-d", ""}, O::Run, "", 0, RunMode::Extract, AskMode::Ask, {"p"}, ""},
      {{"x", "", "p"}, O::Run, "", 0, RunMode::Extract, AskMode::Ask, {"p"}, ""},
  };
  for (const Case& c : cases) {
    const cli::CommandLine parsed = cli::parseCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
    SCOPED_TRACE(c.argv.size() > 1 ? c.argv[1] : "(none)");
    ASSERT_EQ(parsed.outcome, c.outcome);
    EXPECT_EQ(parsed.error, c.error);
    if (c.outcome != O::Run) continue;
    EXPECT_EQ(parsed.flags, c.flags);
    EXPECT_EQ(parsed.mode, c.mode);
    EXPECT_EQ(parsed.ask, c.ask);
    EXPECT_EQ(std::vector<std::string>(parsed.patterns.begin(), parsed.patterns.end()), c.patterns);
    EXPECT_EQ(parsed.outputDirectory, c.outputDirectory);
  }
}

TEST(AnswerDecision, OnlyTheLowByteAndOnlyYOrNCount) {
  struct Case {
    int key;
    bool defaultAnswer;
    bool answer;
  };
  const Case cases[] = {
      {'y', false, true},  {'Y', false, true},  {'n', true, false},  {'N', true, false},
      {'\r', false, false}, {27, false, false},  {3, false, false},   {' ', true, true},
      {0, false, false},   {224, false, false}, {-1, false, false},  {-1, true, true},
      {0x100 + 'y', false, true}, {0x100 + 'n', true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cli::decideAnswer(c.key, c.defaultAnswer), c.answer) << c.key;
  }
}

class ExtractionRunTest : public DriverTest {
 protected:
  void SetUp() override {
    fileSystem.addFile("a.slf", SlfWriter().add("d\\one.dat", "NEW1").add("two.dat", "NEW2").build());
    fileSystem.addDirectory("out");
    fileSystem.addDirectory("out\\d");
  }
  void existing() {
    fileSystem.addFile("out\\d\\one.dat", "OLD1");
    fileSystem.addFile("out\\two.dat", "OLD2");
  }
};

TEST_F(ExtractionRunTest, WritesOneFlushedLinePerEntry) {
  EXPECT_EQ(run({"a.slf", "*", "-d", "out"}), 0);
  EXPECT_EQ(console.out, "d\\one.dat\ntwo.dat\n");
  EXPECT_EQ(console.flushedOut, console.out.size());
  EXPECT_EQ(fileSystem.contents("out\\d\\one.dat"), "NEW1");
  EXPECT_EQ(fileSystem.contents("out\\two.dat"), "NEW2");
}

TEST_F(ExtractionRunTest, NeverAndOverwriteOptionsCombine) {
  struct Case {
    std::vector<std::string> options;
    std::string out;
    std::string one, two;
  };
  const std::vector<Case> cases = {
      {{"-n"}, "d\\one.dat already exists.\ntwo.dat already exists.\n", "OLD1", "OLD2"},
      {{"-o"}, "d\\one.dat\ntwo.dat\n", "NEW1", "NEW2"},
      {{"-n", "-o"}, "d\\one.dat\ntwo.dat\n", "NEW1", "NEW2"},
      {{"-no"}, "d\\one.dat\ntwo.dat\n", "NEW1", "NEW2"},
  };
  for (const Case& c : cases) {
    console = FakeConsole();
    existing();
    std::vector<std::string> arguments = c.options;
    for (const char* rest : {"a.slf", "*", "-d", "out"}) arguments.emplace_back(rest);
    EXPECT_EQ(run(arguments), 0);
    EXPECT_EQ(console.out, c.out);
    EXPECT_TRUE(console.visibleAtKeyRead.empty());  // never asked
    EXPECT_EQ(fileSystem.contents("out\\d\\one.dat"), c.one);
    EXPECT_EQ(fileSystem.contents("out\\two.dat"), c.two);
  }
}

TEST_F(ExtractionRunTest, QuestionIsVisibleBeforeTheKeyAndOnlyYesReplaces) {
  existing();
  console.keys = {'Y', 27};
  EXPECT_EQ(run({"a.slf", "*", "-d", "out"}), 0);
  const std::string first = "d\\one.dat already exists. Overwrite? (y/n) ";
  EXPECT_EQ(console.out, first + "yes\ntwo.dat already exists. Overwrite? (y/n) no\n");
  ASSERT_EQ(console.visibleAtKeyRead.size(), 2u);
  EXPECT_EQ(console.visibleAtKeyRead[0], first.size());
  EXPECT_EQ(fileSystem.contents("out\\d\\one.dat"), "NEW1");
  EXPECT_EQ(fileSystem.contents("out\\two.dat"), "OLD2");  // the yes did not stay raised
}

TEST_F(ExtractionRunTest, NoConsoleAnswersNoAndTheRunCompletes) {
  existing();
  EXPECT_EQ(run({"a.slf", "*", "-d", "out"}), 0);
  EXPECT_EQ(console.out,
            "d\\one.dat already exists. Overwrite? (y/n) no\ntwo.dat already exists. Overwrite? (y/n) no\n");
  EXPECT_EQ(fileSystem.contents("out\\two.dat"), "OLD2");
}

TEST_F(ExtractionRunTest, SameEntryMatchedTwiceFindsItsOwnFile) {
  EXPECT_EQ(run({"-n", "a.slf", "two.dat", "TWO.*", "-d", "out"}), 0);
  EXPECT_EQ(console.out, "two.dat\ntwo.dat already exists.\n");
  console = FakeConsole();
  EXPECT_EQ(run({"-o", "a.slf", "two.dat", "TWO.*", "-d", "out"}), 0);
  EXPECT_EQ(console.out, "two.dat\ntwo.dat\n");
}

TEST_F(ExtractionRunTest, JunkPathsSendsEqualNamesToOneFile) {
  fileSystem.addFile("j.slf", SlfWriter().add("a\\x.dat", "A").add("b\\x.dat", "B").build());
  EXPECT_EQ(run({"-jn", "j.slf", "*", "-d", "out"}), 0);
  EXPECT_EQ(console.out, "a\\x.dat\nb\\x.dat already exists.\n");
  EXPECT_EQ(fileSystem.contents("out\\x.dat"), "A");
}

TEST_F(ExtractionRunTest, FailedReplacementAfterYesEndsTheRunAfterThePartialLine) {
  existing();
  console.keys = {'y'};
  fileSystem.failWrite = true;
  EXPECT_EQ(run({"a.slf", "*", "-d", "out"}), 1);
  EXPECT_EQ(console.combined,
            "d\\one.dat already exists. Overwrite? (y/n) yes"
            "arcdig: Error writing file 'out\\d\\one.dat'\n");
  EXPECT_EQ(console.flushedOut, console.out.size());
  EXPECT_EQ(fileSystem.contents("out\\d\\one.dat"), "OLD1");
}

TEST_F(ExtractionRunTest, ControlBytesAreShownAsQuestionMarksOnlyOnATerminal) {
  fileSystem.addFile("c.slf", SlfWriter().libraryName("lib\x1b]0;x\x07").add("a\x1b[2Jb\x7f\xE9", "x").build());
  console.display = platform::TextDisplay::HideAsciiControls;
  EXPECT_EQ(run({"-l", "c.slf", "*"}), 0);
  EXPECT_EQ(console.out, "a?[2Jb?\xE9   1 bytes\n");
  console = FakeConsole();
  EXPECT_EQ(run({"-l", "c.slf", "*"}), 0);
  EXPECT_EQ(console.out, "a\x1b[2Jb\x7f\xE9   1 bytes\n");

  console = FakeConsole();
  console.display = platform::TextDisplay::HideAsciiControls;
  fileSystem.failCreateDirectory.insert("\x1bout");
  EXPECT_EQ(run({"-o", "c.slf", "*", "-d", "\x1bout"}), 1);
  EXPECT_EQ(console.combined, "a?[2Jb?\xE9" "arcdig: Can't create directory '?out'\n");
}

}  // namespace
