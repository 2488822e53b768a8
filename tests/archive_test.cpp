#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "slf/archive.h"
#include "support/fake_platform.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace {

using slftest::FakeFileSystem;
using slftest::SlfWriter;

std::string loadError(FakeFileSystem& fileSystem, const char* path) {
  try {
    slf::SLFArchive archive(path, 0, "", fileSystem);
  } catch (const slf::SLFError& error) {
    return error.message;
  }
  return "(loaded)";
}

std::vector<std::string> storedNames(const slf::SLFArchive& archive) {
  std::vector<std::string> names;
  for (const slf::SLFEntry& entry : archive.entries) names.emplace_back(slf::fieldText(entry.name));
  return names;
}

TEST(ArchiveLoading, ReadsHeaderAndDirectoryInStoredOrder) {
  FakeFileSystem fileSystem;
  fileSystem.addFile("data\\a.slf", SlfWriter()
                                         .libraryName("Tilesets.slf")
                                         .basePath("tilesets\\")
                                         .add("0\\a.sti", "hello")
                                         .add("same.dat", "x")
                                         .add("same.dat", "yz")
                                         .build());
  slf::SLFArchive archive("data\\a.slf", slf::JunkPaths, "", fileSystem);
  EXPECT_EQ(archive.flags, slf::JunkPaths);
  EXPECT_EQ(archive.archivePath, "data\\a.slf");
  EXPECT_EQ(slf::fieldText(archive.header.libraryName), "Tilesets.slf");
  EXPECT_EQ(slf::fieldText(archive.header.basePath), "tilesets\\");
  EXPECT_EQ(archive.header.entryCount, 3);
  EXPECT_EQ(storedNames(archive), (std::vector<std::string>{"0\\a.sti", "same.dat", "same.dat"}));
  EXPECT_EQ(archive.entries.front().offset, 532);
  EXPECT_EQ(archive.entries.front().length, 5);
  EXPECT_EQ(archive.entries.back().offset, 538);
}

TEST(ArchiveLoading, NormalisesTheOutputDirectory) {
  struct Case {
    const char* given;
    const char* kept;
  };
  const Case cases[] = {{"", ""},           {"out", "out\\"}, {"out\\", "out\\"},
                        {"out/", "out/\\"}, {"C:", "C:\\"},   {"a\\\\", "a\\\\"}};
  FakeFileSystem fileSystem;
  fileSystem.addFile("a.slf", SlfWriter().build());
  for (const Case& c : cases) {
    slf::SLFArchive archive("a.slf", 0, c.given, fileSystem);
    EXPECT_EQ(archive.exdir, c.kept) << "given '" << c.given << "'";
  }
}

TEST(ArchiveLoading, ShortHeaderIsUnexpectedEndOfFile) {
  for (const std::size_t size : {0u, 1u, 300u, 531u}) {
    FakeFileSystem fileSystem;
    fileSystem.addFile("short.slf", std::string(size, '\0'));
    EXPECT_EQ(loadError(fileSystem, "short.slf"), "Unexpected end of file in 'short.slf'") << size;
  }
}

TEST(ArchiveLoading, CountLargerThanTheFileFailsAtOnce) {
  for (const std::int32_t count : {2, 1000, 2147483647}) {
    FakeFileSystem fileSystem;
    fileSystem.addFile("lie.slf", SlfWriter().entryCount(count).build());
    EXPECT_EQ(loadError(fileSystem, "lie.slf"), "Unexpected end of file in 'lie.slf'") << count;
  }
}

TEST(ArchiveLoading, ZeroOrNegativeCountIsAnEmptyDirectory) {
  for (const std::int32_t count : {0, -1, -2147483647 - 1}) {
    FakeFileSystem fileSystem;
    fileSystem.addFile("empty.slf", SlfWriter().add("ignored", "data").entryCount(count).build());
    slf::SLFArchive archive("empty.slf", 0, "", fileSystem);
    EXPECT_TRUE(archive.entries.empty()) << count;
  }
}

TEST(ArchiveLoading, DirectoryOverlappingTheHeaderIsReadFromThere) {
  std::string bytes = SlfWriter().entryCount(1).build();
  ASSERT_EQ(bytes.size(), 532u);
  bytes.replace(252, 3, "abc");  // the record starts at header byte 252
  FakeFileSystem fileSystem;
  fileSystem.addFile("tiny.slf", bytes);
  slf::SLFArchive archive("tiny.slf", 0, "", fileSystem);
  ASSERT_EQ(archive.entries.size(), 1u);
  EXPECT_EQ(slf::fieldText(archive.entries.front().name), "abc");
  EXPECT_EQ(archive.entries.front().offset, 0);  // the end of the base path
  EXPECT_EQ(archive.entries.front().length, 1);  // the entry count
}

TEST(ArchiveLoading, FileCutShortButLongEnoughStillLoads) {
  std::string bytes = SlfWriter().add("a", std::string(600, 'x')).add("b", "y").build();
  bytes.resize(bytes.size() - 100);
  FakeFileSystem fileSystem;
  fileSystem.addFile("cut.slf", bytes);
  slf::SLFArchive archive("cut.slf", 0, "", fileSystem);
  EXPECT_EQ(archive.entries.size(), 2u);
}

TEST(ArchiveLoading, FailuresQuoteThePathAsTyped) {
  FakeFileSystem fileSystem;
  EXPECT_EQ(loadError(fileSystem, "Missing\\A.slf"), "Can't open file 'Missing\\A.slf'");
  EXPECT_EQ(loadError(fileSystem, ""), "Can't open file ''");

  fileSystem.addFile("broken.slf", SlfWriter().add("a", "b").build());
  fileSystem.failRead = true;
  EXPECT_EQ(loadError(fileSystem, "broken.slf"), "Error reading file 'broken.slf'");
}

TEST(ArchiveLoading, DirectoryOnDiskCannotBeOpened) {
  slftest::TempDir dir;
  const std::string path = dir / "folder.slf";
  std::filesystem::create_directory(path);
  try {
    slf::SLFArchive archive(path.c_str(), 0, "");
    FAIL() << "a directory was opened as an archive";
  } catch (const slf::SLFError& error) {
    EXPECT_EQ(error.message, "Can't open file '" + path + "'");
  }
}

TEST(ArchiveLoading, LargeDirectoryOnDiskLoadsWhole) {
  slftest::TempDir dir;
  SlfWriter writer;
  for (int i = 0; i < 10000; ++i) writer.add("dir\\file" + std::to_string(i), "");
  writer.writeTo(dir / "big.slf");
  slf::SLFArchive archive((dir / "big.slf").c_str(), 0, "");
  ASSERT_EQ(archive.entries.size(), 10000u);
  EXPECT_EQ(slf::fieldText(archive.entries.back().name), "dir\\file9999");
}

TEST(FieldText, UnterminatedFieldsAreTakenWhole) {
  const std::string longName(256, 'n');
  slftest::Member member;
  member.name = longName;
  FakeFileSystem fileSystem;
  fileSystem.addFile("a.slf",
                     SlfWriter().libraryName(std::string(256, 'L')).basePath(std::string(256, 'B')).add(member).build());
  slf::SLFArchive archive("a.slf", 0, "", fileSystem);
  EXPECT_EQ(slf::fieldText(archive.header.libraryName), std::string(256, 'L'));
  EXPECT_EQ(slf::fieldText(archive.header.basePath), std::string(256, 'B'));
  EXPECT_EQ(slf::fieldText(archive.entries.front().name), longName);
}

}  // namespace
