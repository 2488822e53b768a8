#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::consoleText;
using slftest::runTool;

const char kUsage[] =
    "arcdig 1.11 of November 10 2001, by the arcdig authors\n"
    "Extracts files from JA2 SLF archives\n"
    "Bug reports to arcdig@example.org; see readme.txt for details.\n\n"
    "Usage: arcdig [-lnoj] file.slf file ... [-d exdir]\n\n"
    "  -l        list files (do not extract)\n"
    "  -n        never overwrite existing files\n"
    "  -o        overwrite files WITHOUT prompting\n"
    "  -j        junk paths (do not make directories)\n"
    "  file.slf  SLF archive\n"
    "  file ...  files to extract (case-insensitive); may use wildcards * and ?\n"
    "  -d exdir  put extracted files into directory exdir\n\n"
    "Examples:\n"
    "  arcdig bigitems.slf gun01.sti gun02.sti\n"
    "    extract files gun01.sti and gun02.sti from bigitems.slf\n"
    "  arcdig faces.slf *speck* -d myfaces\n"
    "    extract files speck.sti, face33\\speck.sti, etc., from faces.slf\n"
    "    and put them into directory myfaces\n"
    "  arcdig -l tilesets.slf 49\\*\n"
    "    list all files beginning with 49\\ in tilesets.slf\n";

const char kHint[] = "Try 'arcdig -h' for more information.\n";

TEST(CommandLine, UsageAndErrorsAreExactAndOpenNothing) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out, err;
  };
  const std::string tooFew = std::string("arcdig: too few arguments\n") + kHint;
  const std::vector<Case> cases = {
      {{}, 1, "", tooFew},
      {{"-h"}, 0, kUsage, ""},
      {{"-l", "-h", "missing.slf"}, 0, kUsage, ""},
      {{"-hx"}, 0, kUsage, ""},
      {{"-x", "-h"}, 1, "", std::string("arcdig: invalid option -- x\n") + kHint},
      {{"-l"}, 1, "", tooFew},
      {{"missing.slf"}, 1, "", tooFew},
      {{"-l", "missing.slf"}, 1, "", tooFew},
      {{"-d", "missing.slf", "x"}, 1, "", std::string("arcdig: invalid option -- d\n") + kHint},
      {{"--", "missing.slf", "x"}, 1, "", std::string("arcdig: invalid option -- -\n") + kHint},
      {{"-z"}, 1, "", std::string("arcdig: invalid option -- z\n") + kHint},
      {{"missing.slf", "-d"}, 1, "", std::string("arcdig: too few parameters\n") + kHint},
      {{"missing.slf", "x", "-d"}, 1, "", std::string("arcdig: too few parameters\n") + kHint},
      {{"-l", "missing.slf", "x"}, 1, "", "arcdig: Can't open file 'missing.slf'\n"},
      {{"-", "-l", "missing.slf", "x"}, 1, "", "arcdig: Can't open file 'missing.slf'\n"},
  };
  for (const Case& c : cases) {
    const slftest::ProcessResult result = runTool(c.arguments);
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    EXPECT_EQ(result.exitStatus, c.status);
    EXPECT_EQ(result.out, consoleText(c.out));
    EXPECT_EQ(result.err, consoleText(c.err));
  }
}

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slftest::Member negative;
    negative.name = "neg.dat";
    negative.overrideLength = true;
    negative.length = -1;
    slftest::SlfWriter()
        .basePath("base\\")
        .add("49\\a.sti", "12345")
        .add("49\\sub\\B.STI", std::string(1000, 'b'))
        .add("-l", "")
        .add(negative)
        .writeTo(archive());
  }
  std::string archive() const { return dir / "test.slf"; }
  slftest::TempDir dir;
};

TEST_F(ListingTest, PrintsMatchesPatternAfterPattern) {
  const slftest::ProcessResult result = runTool({"-l", archive(), "49\\*", "*.sti", "-l", "NEG.*", "none"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, consoleText("49\\a.sti   5 bytes\n"
                                    "49\\sub\\B.STI   1000 bytes\n"
                                    "49\\a.sti   5 bytes\n"
                                    "49\\sub\\B.STI   1000 bytes\n"
                                    "-l   0 bytes\n"
                                    "neg.dat   -1 bytes\n"));
  EXPECT_EQ(result.err, "");
}

TEST_F(ListingTest, OutputDirectoryOptionAndWhatFollowsIt) {
  // No pattern: the archive is loaded and nothing else happens.
  slftest::ProcessResult result = runTool({archive(), "-d", dir / "out"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(slftest::pathExists(dir / "out"));

  // Arguments after the output directory are ignored; listing creates nothing.
  result = runTool({"-l", archive(), "*.sti", "-d", dir / "out", "-d", "*"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, consoleText("49\\a.sti   5 bytes\n49\\sub\\B.STI   1000 bytes\n"));
  EXPECT_FALSE(slftest::pathExists(dir / "out"));

  // A damaged archive is still reported when there is no pattern.
  slftest::writeFile(dir / "short.slf", "too short");
  result = runTool({dir / "short.slf", "-d", "x"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, consoleText("arcdig: Unexpected end of file in '" + (dir / "short.slf") + "'\n"));
}

}  // namespace
