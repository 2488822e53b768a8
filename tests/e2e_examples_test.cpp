// The shipped example archives: they are what the committed generator writes,
// and the examples of the usage text work on them as printed, inside a copy
// of examples/.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/example_archives.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using slftest::consoleText;
using slftest::runTool;

const std::string kExamplesDir = ARCDIG_SOURCE_DIR "/examples";

const slftest::ExampleArchive& exampleArchive(const std::string& fileName) {
  static const std::vector<slftest::ExampleArchive> archives = slftest::exampleArchives();
  for (const slftest::ExampleArchive& archive : archives) {
    if (archive.fileName == fileName) return archive;
  }
  throw std::runtime_error("no example archive " + fileName);
}

TEST(Examples, ShippedArchivesAreWhatTheGeneratorWrites) {
  std::set<std::string> shipped;
  for (const auto& item : fs::directory_iterator(kExamplesDir)) shipped.insert(item.path().filename().string());
  std::set<std::string> generated;
  for (const slftest::ExampleArchive& archive : slftest::exampleArchives()) {
    generated.insert(archive.fileName);
    EXPECT_TRUE(slftest::readFile(kExamplesDir + "/" + archive.fileName) == archive.bytes())
        << archive.fileName << " differs from what make_examples writes";
  }
  EXPECT_EQ(shipped, generated);
}

// The examples are archives the game could load: arcpack --check finds
// nothing wrong with them.
TEST(Examples, ShippedArchivesAreGameReady) {
  for (const slftest::ExampleArchive& archive : slftest::exampleArchives()) {
    const slftest::ProcessResult checked = slftest::runPacker({"--check", kExamplesDir + "/" + archive.fileName});
    EXPECT_EQ(checked.exitStatus, 0) << archive.fileName << ": " << checked.out;
  }
}

struct ExampleRun {
  std::string command;   // as typed, words separated by one blank
  bool fromUsage;        // printed in the usage text
  std::string out;       // standard output
  std::string newFiles;  // what the run adds to the folder, as listTree shows it
  std::string archive;   // whose members the new files hold (by stored name)
  std::string folder;    // where the new files are
};

std::string listingOf(const slftest::ExampleArchive& archive) {
  std::string listing;
  for (const slftest::ExampleMember& member : archive.members) {
    listing += member.name + "   " + std::to_string(member.data.size()) + " bytes\n";
  }
  return listing;
}

TEST(Examples, UsageTextExamplesWorkAsPrinted) {
  const std::string below49 =
      "49\\grass.sti   2048 bytes\n"
      "49\\Rock.sti   1100 bytes\n"
      "49\\trees\\palm.sti   1536 bytes\n"
      "49\\water.sti   900 bytes\n";
  const std::vector<ExampleRun> runs = {
      {"arcdig bigitems.slf gun01.sti gun02.sti", true, "gun01.sti\ngun02.sti\n",
       "bigitems/\nbigitems/gun01.sti\nbigitems/gun02.sti\n", "bigitems.slf", "bigitems"},
      {"arcdig faces.slf *speck* -d myfaces", true, "face33\\speck.sti\nspeck.sti\ntalk\\speck.sti\n",
       "myfaces/\nmyfaces/face33/\nmyfaces/face33/speck.sti\nmyfaces/speck.sti\n"
       "myfaces/talk/\nmyfaces/talk/speck.sti\n",
       "faces.slf", "myfaces"},
      {"arcdig -l tilesets.slf 49\\*", true, below49, "", "", ""},
      // A POSIX shell drops the backslash of the unquoted 49\*: the same files.
      {"arcdig -l tilesets.slf 49*", false, below49, "", "", ""},
      // The README's first command.
      {"arcdig -l tilesets.slf *", false, listingOf(exampleArchive("tilesets.slf")), "", "", ""},
  };

  std::vector<std::vector<std::string>> tried;
  for (const ExampleRun& run : runs) {
    if (run.fromUsage) tried.push_back(slftest::blankSeparatedWords(run.command));
  }
  EXPECT_EQ(slftest::usageExamples(), tried) << "the usage text's examples changed; update this table";

  for (const ExampleRun& run : runs) {
    SCOPED_TRACE(run.command);
    slftest::TempDir dir;
    std::set<std::string> archives;
    for (const slftest::ExampleArchive& archive : slftest::exampleArchives()) {
      fs::copy_file(kExamplesDir + "/" + archive.fileName, dir / archive.fileName);
      archives.insert(archive.fileName);
    }
    slftest::ProcessOptions inside;
    inside.workingDirectory = dir.path();
    std::vector<std::string> arguments = slftest::blankSeparatedWords(run.command);
    arguments.erase(arguments.begin());
    const slftest::ProcessResult result = runTool(arguments, inside);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, consoleText(run.out));

    std::string added;
    std::istringstream tree(slftest::listTree(dir.path()));
    for (std::string line; std::getline(tree, line);) {
      if (archives.count(line) == 0) added += line + "\n";
    }
    EXPECT_EQ(added, run.newFiles);
    std::istringstream files(run.newFiles);
    for (std::string path; std::getline(files, path);) {
      if (path.back() == '/') continue;
      std::string stored = path.substr(run.folder.size() + 1);
      for (char& c : stored) {
        if (c == '/') c = '\\';
      }
      EXPECT_TRUE(slftest::readFile(dir / path) == exampleArchive(run.archive).data(stored)) << path;
    }
  }
}

}  // namespace
