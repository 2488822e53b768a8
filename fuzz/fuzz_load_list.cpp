// The input is an archive, served from memory. It is loaded, every entry is
// matched against a few patterns, and the driver runs over it: listing (to a
// terminal in a single-byte and in a UTF-8 character set, then to a pipe) and
// extracting into the in-memory file system. Nothing is printed; the
// sanitizers and the checks below decide.
#include <algorithm>
#include <clocale>
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

// True when `text` holds a control character that a terminal could act on:
// a C0 control other than the line end, DEL, a C1 control as a byte (in a
// single-byte character set) or as its UTF-8 form C2 80..C2 9F.
bool holdsControl(const std::string& text, bool utf8) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F) return true;
    if (!utf8 && byte >= 0x80 && byte <= 0x9F) return true;
    if (utf8 && byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
      return true;
    }
  }
  return false;
}

int runDriver(slftest::FakeFileSystem& fileSystem, std::initializer_list<const char*> arguments,
              platform::TextDisplay display) {
  const bool terminal = display != platform::TextDisplay::Verbatim;
  slftest::FakeConsole console;
  console.display = display;
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
  if (terminal && holdsControl(console.combined, MB_CUR_MAX > 1)) std::abort();
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  slftest::FakeFileSystem fileSystem;
  fileSystem.addFile(kArchivePath, std::string(reinterpret_cast<const char*>(data), size));

  loadAndFind(fileSystem);
  const auto onTerminal = platform::TextDisplay::HideAllControls;
  std::setlocale(LC_CTYPE, "C");
  runDriver(fileSystem, {"-l", kArchivePath, "*", "*\\*"}, onTerminal);
  std::setlocale(LC_CTYPE, "C.UTF-8");
  runDriver(fileSystem, {"-l", kArchivePath, "*"}, onTerminal);
  runDriver(fileSystem, {"-l", kArchivePath, "*"}, platform::TextDisplay::Verbatim);
  runDriver(fileSystem, {"-o", kArchivePath, "*", "-d", "out"}, platform::TextDisplay::Verbatim);
  runDriver(fileSystem, {"-jn", kArchivePath, "*"}, onTerminal);
  return 0;
}
