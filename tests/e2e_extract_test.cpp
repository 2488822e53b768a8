#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::readFile;
using slftest::consoleText;
using slftest::runTool;

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slftest::SlfWriter()
        .libraryName("Faces.slf")
        .basePath("faces\\")
        .add("face33\\speck.sti", "SPECK33")
        .add("speck.sti", "SPECK")
        .add("other\\x.dat", std::string(100000, 'x'))
        .writeTo(archive());
  }
  std::string archive() const { return dir / "faces.slf"; }
  std::string out(const std::string& relative = "") const { return dir / ("myfaces/" + relative); }
  slftest::TempDir dir;
};

TEST_F(ExtractionTest, ExtractsMatchesIntoNewDirectories) {
  const slftest::ProcessResult result = runTool({archive(), "*SPECK*", "-d", dir / "myfaces"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, consoleText("face33\\speck.sti\nspeck.sti\n"));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(slftest::listTree(out()), "face33/\nface33/speck.sti\nspeck.sti\n");
  EXPECT_EQ(readFile(out("face33/speck.sti")), "SPECK33");
}

TEST_F(ExtractionTest, StoredBasePathIsUsedWithoutOutputDirectory) {
  slftest::ProcessOptions options;
  options.workingDirectory = dir.path();
  const slftest::ProcessResult result = runTool({"-j", "faces.slf", "*"}, options);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(slftest::listTree(dir / "faces"), "speck.sti\nx.dat\n");
  EXPECT_EQ(readFile(dir / "faces/speck.sti"), "SPECK33");  // the later entry found it existing
  EXPECT_EQ(result.out,
            consoleText("face33\\speck.sti\nspeck.sti already exists. Overwrite? (y/n) no\nother\\x.dat\n"));
}

TEST_F(ExtractionTest, ExistingFilesAreKeptReplacedOrAskedAbout) {
  ASSERT_EQ(runTool({archive(), "speck.sti", "-d", out()}).exitStatus, 0);
  slftest::writeFile(out("speck.sti"), "OLD");

  slftest::ProcessOptions answerYesOnStdin;  // standard input never answers the question
  answerYesOnStdin.standardInputFile = dir / "yes.txt";
  slftest::writeFile(answerYesOnStdin.standardInputFile, "y\ny\n");
  slftest::ProcessResult result = runTool({archive(), "speck.sti", "-d", out()}, answerYesOnStdin);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, consoleText("speck.sti already exists. Overwrite? (y/n) no\n"));
  EXPECT_EQ(readFile(out("speck.sti")), "OLD");

  result = runTool({"-n", archive(), "speck.sti", "-d", out()});
  EXPECT_EQ(result.out, consoleText("speck.sti already exists.\n"));
  EXPECT_EQ(readFile(out("speck.sti")), "OLD");

  result = runTool({"-n", "-o", archive(), "speck.sti", "-d", out()});
  EXPECT_EQ(result.out, consoleText("speck.sti\n"));
  EXPECT_EQ(readFile(out("speck.sti")), "SPECK");
  EXPECT_EQ(slftest::listTree(out()), "speck.sti\n");  // no temporary left behind
}

TEST_F(ExtractionTest, FailurePrintsThePartialLineBeforeTheError) {
  slftest::writeFile(dir / "myfaces", "a file where a directory is needed");
  slftest::ProcessOptions merged;
  merged.streams = slftest::StreamMode::Merged;
  merged.workingDirectory = dir.path();
  const slftest::ProcessResult result = runTool({"faces.slf", "*", "-d", "myfaces\\"}, merged);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, consoleText("face33\\speck.stiarcdig: Can't create directory 'myfaces'\n"));
}

TEST_F(ExtractionTest, HostileNamesWriteNothing) {
  slftest::SlfWriter()
      .basePath("..\\")
      .add("good.dat", "ok")
      .writeTo(dir / "hostile-base.slf");
  slftest::SlfWriter().add("ok.dat", "1").add("sub\\..\\..\\escaped.dat", "2").writeTo(dir / "hostile-name.slf");

  slftest::ProcessOptions inside;
  inside.workingDirectory = dir / "work";
  std::filesystem::create_directory(inside.workingDirectory);
  slftest::ProcessResult result = runTool({"../hostile-base.slf", "*"}, inside);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, consoleText("arcdig: Unsafe path '..\\good.dat'\n"));

  result = runTool({dir / "hostile-name.slf", "*", "-d", "out"}, inside);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, consoleText("ok.dat\nsub\\..\\..\\escaped.dat"));
  EXPECT_EQ(result.err, consoleText("arcdig: Unsafe path 'out\\sub\\..\\..\\escaped.dat'\n"));
  EXPECT_EQ(slftest::listTree(dir.path()),
            "faces.slf\nhostile-base.slf\nhostile-name.slf\nwork/\nwork/out/\nwork/out/ok.dat\n");
}

}  // namespace
