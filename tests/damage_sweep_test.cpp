// Damaged archives: a three-entry archive cut at every byte offset and
// mutated at random (with a fixed seed). Whatever the damage, the tool ends
// with status 0 or 1, reports at most one known message, writes nothing
// outside its output directory, leaves no temporary file behind, and every
// file it leaves under a final name holds exactly the bytes of an entry of
// that name. The cuts run through the built tool at a stride and in-process
// at every offset; the mutations all run through the built tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "slf/archive.h"
#include "support/e2e.h"
#include "support/slf_writer.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using slftest::readFile;
using slftest::writeFile;

constexpr std::size_t kHeader = 532;
constexpr std::size_t kRecord = 280;
constexpr std::size_t kCountAt = 512;

std::string threeEntryArchive() {
  return slftest::SlfWriter()
      .libraryName("Sweep.slf")
      .add("dir\\alpha.txt", "ALPHA-BYTES")
      .add("beta.txt", "beta")
      .add("dir/sub/gamma.dat", std::string("g\0m\xffm", 5))
      .build();
}

std::int32_t le32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  std::int32_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

// One directory record as the damaged bytes hold it, decoded here from the
// layout rather than by the reader under test.
struct Record {
  std::string name;
  std::int32_t length = 0;
  std::optional<std::string> bytes;  // none when the entry lies outside the file
};

// What the damaged archive holds: nothing when it cannot be loaded.
std::optional<std::vector<Record>> decodeRecords(std::string_view archive) {
  if (archive.size() < kHeader) return std::nullopt;
  const std::int32_t count = le32(archive, kCountAt);
  std::vector<Record> records;
  if (count <= 0) return records;
  const std::uint64_t directorySize = static_cast<std::uint64_t>(count) * kRecord;
  if (directorySize > archive.size()) return std::nullopt;
  for (std::size_t at = archive.size() - static_cast<std::size_t>(directorySize); at < archive.size(); at += kRecord) {
    Record record;
    const std::string_view field = archive.substr(at, 256);
    record.name = std::string(field.substr(0, std::min(field.find('\0'), field.size())));
    const std::int32_t offset = le32(archive, at + 256);
    record.length = le32(archive, at + 260);
    if (record.length == 0) {
      record.bytes = std::string();
    } else if (record.length > 0 && offset >= 0 &&
               static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(record.length) <= archive.size()) {
      record.bytes = std::string(archive.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(record.length)));
    }
    records.push_back(std::move(record));
  }
  return records;
}

// Where a stored name lands below the output directory ("a\.\b//c" lands at
// a/b/c); nothing for a name that would leave it.
std::optional<std::string> landingPath(std::string_view name) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (!name.empty() && separator(name.front())) return std::nullopt;
  std::string path;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !separator(name[end])) ++end;
    const std::string_view component = name.substr(start, end - start);
    if (component == "..") return std::nullopt;
    if (!component.empty() && component != ".") path.append(path.empty() ? "" : "/").append(component);
    start = end + 1;
  }
  return path;
}

bool isKnownMessage(std::string_view message) {
  static const char* const kQuoting[] = {"Can't open file '",       "Unexpected end of file in '",
                                         "Error reading file '",    "Can't create directory '",
                                         "Error writing file '",    "Unsafe path '"};
  if (message == "Out of memory") return true;
  if (message.empty() || message.back() != '\'') return false;
  return std::any_of(std::begin(kQuoting), std::end(kQuoting), [&](const char* fixed) {
    return message.size() > std::strlen(fixed) && message.compare(0, std::strlen(fixed), fixed) == 0;
  });
}

// Standard error of one run: empty, or one report of a known message.
bool isReport(const std::string& err) {
  const std::string_view prefix = "arcdig: ";
  if (err.size() <= prefix.size() + 1 || err.compare(0, prefix.size(), prefix) != 0 || err.back() != '\n') {
    return false;
  }
  return isKnownMessage(std::string_view(err).substr(prefix.size(), err.size() - prefix.size() - 1));
}

std::string listingOf(const std::vector<Record>& records) {
  std::string listing;
  for (const Record& record : records) {
    listing += record.name + "   " + std::to_string(record.length) + " bytes\n";
  }
  return listing;
}

// A sandbox: root/archive.slf and root/sentinel, root/box/sentinel beside the
// output directory root/box/out.
class DamageSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    original = threeEntryArchive();
    fs::create_directory(dir / "box");
    writeFile(dir / "sentinel", "outer");
    writeFile(dir / "box/sentinel", "inner");
  }

  std::string archivePath() const { return dir / "archive.slf"; }
  std::string outPath() const { return dir / "box/out"; }

  void prepare(const std::string& damaged) {
    std::error_code error;
    fs::remove_all(outPath(), error);
    writeFile(archivePath(), damaged);
  }

  // Every file under the output directory holds the bytes of an entry that
  // lands there; nothing outside it changed.
  void checkFiles(const std::string& damaged, const std::optional<std::vector<Record>>& records) const {
    EXPECT_EQ(readFile(archivePath()), damaged);
    EXPECT_EQ(readFile(dir / "sentinel"), "outer");
    EXPECT_EQ(readFile(dir / "box/sentinel"), "inner");
    std::vector<std::string> outside;
    for (const auto& item : fs::recursive_directory_iterator(dir.path())) {
      const std::string relative = fs::relative(item.path(), dir.path()).generic_string();
      if (relative != "box/out" && relative.rfind("box/out/", 0) != 0) outside.push_back(relative);
    }
    std::sort(outside.begin(), outside.end());
    EXPECT_EQ(outside, (std::vector<std::string>{"archive.slf", "box", "box/sentinel", "sentinel"}));

    if (!fs::exists(outPath())) return;
    for (const auto& item : fs::recursive_directory_iterator(outPath())) {
      if (item.is_directory()) continue;
      const std::string relative = fs::relative(item.path(), outPath()).generic_string();
      SCOPED_TRACE(relative);
      ASSERT_TRUE(item.is_regular_file() && !item.is_symlink());
      ASSERT_TRUE(records.has_value()) << "a file from an archive that cannot be loaded";
      const std::string contents = readFile(item.path().string());
      const bool fromAnEntry = std::any_of(records->begin(), records->end(), [&](const Record& record) {
        return landingPath(record.name) == relative && record.bytes == contents;
      });
      EXPECT_TRUE(fromAnEntry) << "no entry of this name holds these bytes";
    }
  }

  // The tool lists, then extracts everything with -o; both runs are checked.
  void runTool(const std::string& damaged) {
    prepare(damaged);
    const std::optional<std::vector<Record>> records = decodeRecords(damaged);

    const slftest::ProcessResult listing = slftest::runTool({"-l", archivePath(), "*"});
    if (records) {
      EXPECT_EQ(listing.exitStatus, 0);
      EXPECT_EQ(listing.err, "");
      EXPECT_EQ(listing.out, listingOf(*records));
    } else {
      EXPECT_EQ(listing.exitStatus, 1);
      EXPECT_EQ(listing.err, "arcdig: Unexpected end of file in '" + archivePath() + "'\n");
    }

    const slftest::ProcessResult extraction = slftest::runTool({"-o", archivePath(), "*", "-d", outPath()});
    EXPECT_TRUE(extraction.exitStatus == 0 || extraction.exitStatus == 1) << extraction.exitStatus;
    if (extraction.exitStatus == 0) {
      EXPECT_EQ(extraction.err, "");
    } else {
      EXPECT_TRUE(isReport(extraction.err)) << extraction.err;
    }
    checkFiles(damaged, records);
  }

  // The same extraction as the tool's, in this process on the real disk.
  void runInProcess(const std::string& damaged) {
    prepare(damaged);
    try {
      slf::SLFArchive archive(archivePath().c_str(), slf::Overwrite, outPath(), platform::systemFileSystem());
      for (const slf::SLFEntry& entry : archive.entries) EXPECT_TRUE(archive.extract(entry));
    } catch (const slf::SLFError& error) {
      EXPECT_TRUE(isKnownMessage(error.message)) << error.message;
    }
    checkFiles(damaged, decodeRecords(damaged));
  }

  slftest::TempDir dir;
  std::string original;
};

// The places where a cut changes what the reader sees: the header's fields,
// the member data and each directory record's fields, with their neighbours.
std::vector<std::size_t> interestingCuts(std::size_t size) {
  std::vector<std::size_t> cuts;
  std::vector<std::size_t> marks = {0, 256, kCountAt, kCountAt + 4, kHeader};
  for (std::size_t record = 0; record < 3; ++record) {
    const std::size_t at = size - (3 - record) * kRecord;
    marks.insert(marks.end(), {at, at + 256, at + 260, at + 264});
  }
  marks.push_back(size);
  for (const std::size_t mark : marks) {
    for (const std::size_t cut : {mark - 1, mark, mark + 1}) {
      if (cut < size) cuts.push_back(cut);  // mark - 1 of 0 wraps and is dropped
    }
  }
  for (std::size_t cut = 0; cut < size; cut += 37) cuts.push_back(cut);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  return cuts;
}

TEST_F(DamageSweepTest, ArchiveCutAtEveryOffset) {
  runInProcess(original);  // the intact archive, to show that the checks see real files
  EXPECT_EQ(slftest::listTree(outPath()), "beta.txt\ndir/\ndir/alpha.txt\ndir/sub/\ndir/sub/gamma.dat\n");
  for (std::size_t cut = 0; cut < original.size(); ++cut) {
    SCOPED_TRACE("in process, cut at " + std::to_string(cut));
    runInProcess(original.substr(0, cut));
    if (HasFailure()) return;
  }
  for (const std::size_t cut : interestingCuts(original.size())) {
    SCOPED_TRACE("tool, cut at " + std::to_string(cut));
    runTool(original.substr(0, cut));
    if (HasFailure()) return;
  }
}

// Damage of the kinds a reader has to survive: random bytes anywhere, lying
// counts, offsets and lengths, names that try to leave the output directory
// or hold control bytes, names without a terminator, and cuts.
class Mutator {
 public:
  explicit Mutator(std::uint32_t seed) : random_(seed) {}

  std::string mutate(std::string bytes) {
    const int edits = 1 + pick(3);
    for (int i = 0; i < edits && bytes.size() >= kHeader + 3 * kRecord; ++i) {
      const std::size_t record = bytes.size() - static_cast<std::size_t>(1 + pick(3)) * kRecord;
      switch (pick(6)) {
        case 0:
          bytes[static_cast<std::size_t>(pick(static_cast<int>(bytes.size())))] = static_cast<char>(pick(256));
          break;
        case 1:
          slftest::putLe32(bytes, kCountAt, interestingValue(bytes.size()));
          break;
        case 2:
          slftest::putLe32(bytes, record + 256 + static_cast<std::size_t>(4 * pick(2)), interestingValue(bytes.size()));
          break;
        case 3: {
          static const char* const kPieces[] = {"..\\", "../", "\\", "/", "C:\\", "x:", ".\\",
                                                "a\\..\\..\\", "\x1b[2J", "\n", "dir\\", "."};
          const std::string piece = kPieces[pick(12)];
          bytes.replace(record + static_cast<std::size_t>(pick(12)), piece.size(), piece);
          break;
        }
        case 4:
          std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(record), 256, 'n');
          break;
        default:
          bytes.resize(static_cast<std::size_t>(pick(static_cast<int>(bytes.size()))));
          break;
      }
    }
    return bytes;
  }

 private:
  int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

  std::uint32_t interestingValue(std::size_t size) {
    const std::uint32_t values[] = {0,           1,          3,          4,          0xFFFFFFFFu,
                                    0x80000000u, 0x7FFFFFFFu, 0x10000000u, kHeader,   static_cast<std::uint32_t>(size),
                                    static_cast<std::uint32_t>(size - 1), static_cast<std::uint32_t>(size + 1)};
    return values[pick(12)];
  }

  std::mt19937 random_;
};

TEST_F(DamageSweepTest, SeededRandomMutations) {
  Mutator mutator(20240611);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("mutation " + std::to_string(round));
    runTool(mutator.mutate(original));
    if (HasFailure()) return;
  }
}

}  // namespace
