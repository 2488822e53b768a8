// Cases the fuzz targets found, kept as ordinary tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "slf/archive.h"
#include "support/fake_platform.h"
#include "support/slf_writer.h"

namespace {

using slftest::FakeFileSystem;
using slftest::SlfWriter;

std::string extractUnderBasePath(FakeFileSystem& fileSystem, const std::string& basePath, const std::string& name) {
  fileSystem.addFile("test.slf", SlfWriter().basePath(basePath).add(name, "x").build());
  slf::SLFArchive archive("test.slf", 0, "", fileSystem);
  try {
    archive.extract(archive.entries.front());
  } catch (const slf::SLFError& error) {
    return error.message;
  }
  return "";
}

// A stored base path is joined to the name with nothing between, so a base
// and a name that are each harmless can make a ".." or a refused component
// together.
TEST(FuzzFindingsTest, BasePathAndNameAreCheckedAsJoined) {
  struct Case {
    std::string basePath, name, error;
  };
  const std::vector<Case> cases = {
      {".", ".\\x", "Unsafe path '..\\x'"},
      {".", "./x", "Unsafe path '../x'"},
      {"a\\.", ".\\..x", "Unsafe path 'a\\..\\..x'"},
      {"ba", "d\\x", "Unsafe path 'bad\\x'"},  // "bad" is refused by the platform
      {"a.", ".\\x", ""},                      // "a..": an ordinary name
      {".", "x", ""},                          // ".x"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.basePath + " + " + c.name);
    FakeFileSystem fileSystem;
    fileSystem.rejectedComponents.insert("bad");
    EXPECT_EQ(extractUnderBasePath(fileSystem, c.basePath, c.name), c.error);
  }
}

}  // namespace
