// The input is an archive, served from memory. It is loaded, every entry is
// matched against a few patterns, and the driver runs over it twice: listing
// (to a console that is a terminal, then to one that is not) and extracting
// into the in-memory file system. Nothing is printed; the sanitizers and the
// checks below decide.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <list>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "slf/archive.h"
#include "support/fake_platform.h"

namespace {

constexpr const char* kArchivePath = "fuzz.slf";
constexpr const char* kPatterns[] = {"*", "?", "*.*", "*\\*", "a*b?c", "", "*A*", "**?*"};

void loadAndFind(slftest::FakeFileSystem& fileSystem) {
  try {
    slf::SLFArchive archive(kArchivePath, 0, "", fileSystem);
    std::size_t everything = 0;
    for (const char* pattern : kPatterns) {
      std::list<slf::SLFEntry> matches;
      archive.find(pattern, matches);
      if (matches.size() > archive.entries.size()) std::abort();
      if (std::string(pattern) == "*") everything = matches.size();
    }
    if (everything != archive.entries.size()) std::abort();
  } catch (const slf::SLFError& error) {
    if (error.message.empty()) std::abort();
  }
}

int runDriver(slftest::FakeFileSystem& fileSystem, std::initializer_list<const char*> arguments,
              bool terminal) {
  slftest::FakeConsole console;
  console.terminal = terminal;
  std::vector<const char*> argv{"arcdig"};
  argv.insert(argv.end(), arguments);
  const int status = cli::run(static_cast<int>(argv.size()), argv.data(), console, fileSystem);
  if (status != 0 && status != 1) std::abort();
  // A failed run reports on standard error, a completed one does not; on a
  // terminal the report is exactly one line.
  if ((status == 1) != !console.err.empty()) std::abort();
  if (status == 1 && terminal &&
      (console.err.rfind("arcdig: ", 0) != 0 || std::count(console.err.begin(), console.err.end(), '\n') != 1)) {
    std::abort();
  }
  if (terminal) {
    for (const char c : console.combined) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\n') || byte == 0x7F) std::abort();
    }
  }
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  slftest::FakeFileSystem fileSystem;
  fileSystem.addFile(kArchivePath, std::string(reinterpret_cast<const char*>(data), size));

  loadAndFind(fileSystem);
  runDriver(fileSystem, {"-l", kArchivePath, "*", "*\\*"}, true);
  runDriver(fileSystem, {"-l", kArchivePath, "*"}, false);
  runDriver(fileSystem, {"-o", kArchivePath, "*", "-d", "out"}, false);
  runDriver(fileSystem, {"-jn", kArchivePath, "*"}, true);
  return 0;
}
