// The input is an archive on the real disk. Every entry is extracted twice
// (the second pass meets the files of the first), with each combination of
// JunkPaths and Overwrite, into a fresh output directory and, with no output
// directory, under the stored base path from inside that directory. The run
// aborts when
//   - anything outside the output directory appears or changes (the archive,
//     sentinel files beside the output directory and one level above it);
//   - a file under a final name holds anything but the bytes of the entry last
//     written there, or a file is there that no successful call wrote (a left
//     temporary file, for instance);
//   - a call reports success for a name that leaves the output directory, or
//     fails with a message the extractor does not use.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "slf/archive.h"

namespace fs = std::filesystem;

namespace {

struct Sandbox {
  fs::path root;     // root/archive.slf, root/sentinel, root/box/
  fs::path archive;
  fs::path box;      // box/sentinel, box/out/
  fs::path out;
  fs::path home;     // the working directory the fuzzer started in
};

// Path -> kind and contents, for everything below the root except the output
// directory.
using Snapshot = std::map<std::string, std::string>;

enum class Base { OutputDirectory, StoredBasePath };

[[noreturn]] void fatal(const char* what) {
  std::fprintf(stderr, "fuzz_extract: %s\n", what);
  std::abort();
}

std::string readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void writeWhole(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) fatal("cannot write a sandbox file");
}

Sandbox makeSandbox() {
  std::string pattern = (fs::temp_directory_path() / "arcdig-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fatal("cannot create the sandbox");
  Sandbox sandbox;
  sandbox.root = pattern;
  sandbox.archive = sandbox.root / "archive.slf";
  sandbox.box = sandbox.root / "box";
  sandbox.out = sandbox.box / "out";
  sandbox.home = fs::current_path();
  fs::create_directory(sandbox.box);
  writeWhole(sandbox.root / "sentinel", "outer sentinel");
  writeWhole(sandbox.box / "sentinel", "inner sentinel");
  return sandbox;
}

const Sandbox& sandbox() {
  static const Sandbox instance = makeSandbox();
  static const bool cleanup = std::atexit([] {
    std::error_code error;
    fs::remove_all(sandbox().root, error);
  }) == 0;
  static_cast<void>(cleanup);
  return instance;
}

Snapshot snapshotOutside() {
  Snapshot snapshot;
  const Sandbox& box = sandbox();
  for (auto it = fs::recursive_directory_iterator(box.root); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == box.out) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string key = it->path().string();
    if (it->is_symlink()) {
      snapshot[key] = "link";
    } else if (it->is_directory()) {
      snapshot[key] = "dir";
    } else {
      snapshot[key] = "file:" + readWhole(it->path());
    }
  }
  return snapshot;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Where a relative output path lands below the directory it is taken from,
// as components joined with '/'; nothing when it starts at the root or goes
// up with "..".
std::optional<std::string> landingKey(std::string_view path) {
  if (!path.empty() && isSeparator(path.front())) return std::nullopt;
  std::string key;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    const std::string_view component = path.substr(start, end - start);
    if (component == "..") return std::nullopt;
    if (!component.empty() && component != ".") {
      if (!key.empty()) key += '/';
      key.append(component);
    }
    start = end + 1;
  }
  return key;
}

std::string_view namePart(const slf::SLFEntry& entry, slf::SLFFlags flags) {
  const std::string_view name = slf::fieldText(entry.name);
  if ((flags & slf::JunkPaths) == 0) return name;
  const std::size_t backslash = name.rfind('\\');
  return backslash == std::string_view::npos ? name : name.substr(backslash + 1);
}

std::optional<std::string> entryBytes(std::string_view archive, const slf::SLFEntry& entry) {
  if (entry.length < 0 || entry.offset < 0) {
    if (entry.length == 0) return std::string();
    return std::nullopt;
  }
  const auto offset = static_cast<std::size_t>(entry.offset);
  const auto length = static_cast<std::size_t>(entry.length);
  if (length == 0) return std::string();
  if (offset > archive.size() || length > archive.size() - offset) return std::nullopt;
  return std::string(archive.substr(offset, length));
}

bool knownMessage(const std::string& message) {
  static const char* const kFixedTexts[] = {"Can't open file '",  "Unexpected end of file in '",
                                            "Error reading file '", "Can't create directory '",
                                            "Error writing file '", "Unsafe path '"};
  if (message == "Out of memory") return true;
  for (const char* fixed : kFixedTexts) {
    if (message.rfind(fixed, 0) == 0 && message.back() == '\'') return true;
  }
  return false;
}

class Case {
 public:
  Case(std::string_view archiveBytes, Base base, slf::SLFFlags flags)
      : archiveBytes_(archiveBytes), base_(base), flags_(flags) {}

  void run() {
    const Sandbox& box = sandbox();
    std::error_code error;
    fs::remove_all(box.out, error);
    if (!fs::create_directory(box.out)) fatal("cannot create the output directory");
    if (base_ == Base::StoredBasePath && ::chdir(box.out.c_str()) != 0) fatal("cannot enter the output directory");
    extractAll();
    // libFuzzer reads its corpus and writes its findings relative to this.
    if (::chdir(box.home.c_str()) != 0) fatal("cannot leave the output directory");
    checkOutputTree();
  }

 private:
  void extractAll() {
    const std::string exdir = base_ == Base::OutputDirectory ? sandbox().out.string() : std::string();
    try {
      slf::SLFArchive archive(sandbox().archive.c_str(), flags_, exdir, platform::systemFileSystem());
      const std::string_view basePath = slf::fieldText(archive.header.basePath);
      for (int pass = 0; pass < 2; ++pass) {
        for (const slf::SLFEntry& entry : archive.entries) {
          std::string relative(base_ == Base::StoredBasePath ? basePath : std::string_view());
          relative.append(namePart(entry, flags_));
          extractOne(archive, entry, relative);
        }
      }
    } catch (const slf::SLFError& error) {
      if (!knownMessage(error.message)) fatal("unknown message from loading");
    }
  }

  void extractOne(slf::SLFArchive& archive, const slf::SLFEntry& entry, const std::string& relative) {
    bool written = false;
    try {
      written = archive.extract(entry);
    } catch (const slf::SLFError& error) {
      if (!knownMessage(error.message)) fatal("unknown message from extract");
      return;
    }
    const std::optional<std::string> key = landingKey(relative);
    if (!key || key->empty()) fatal("a name outside the output directory was accepted");
    const fs::path landed = sandbox().out / *key;
    if (!fs::is_regular_file(fs::symlink_status(landed))) fatal("no regular file under the final name");
    if (written) {
      const std::optional<std::string> bytes = entryBytes(archiveBytes_, entry);
      if (!bytes) fatal("an entry outside the archive was written");
      expected_[*key] = *bytes;
    } else if ((flags_ & slf::Overwrite) != 0 || expected_.count(*key) == 0) {
      fatal("reported an existing file that was never written");
    }
    if (readWhole(landed) != expected_[*key]) fatal("a final file holds the wrong bytes");
  }

  // Every file in the output directory was written by a successful call and
  // holds the bytes of the last entry written there.
  void checkOutputTree() const {
    const Sandbox& box = sandbox();
    std::size_t files = 0;
    const std::string prefix = box.out.string() + "/";
    for (const auto& item : fs::recursive_directory_iterator(box.out)) {
      if (item.is_symlink()) fatal("a link appeared in the output directory");
      if (item.is_directory()) continue;
      const std::string key = item.path().string().substr(prefix.size());
      const auto found = expected_.find(key);
      if (found == expected_.end()) fatal("a file that no successful call wrote");
      if (readWhole(item.path()) != found->second) fatal("a file holds the wrong bytes");
      ++files;
    }
    if (files != expected_.size()) fatal("a written file disappeared");
  }

  std::string_view archiveBytes_;
  Base base_;
  slf::SLFFlags flags_;
  std::map<std::string, std::string> expected_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view archiveBytes(reinterpret_cast<const char*>(data), size);
  const Sandbox& box = sandbox();
  writeWhole(box.archive, archiveBytes);
  const Snapshot before = snapshotOutside();

  for (const Base base : {Base::OutputDirectory, Base::StoredBasePath}) {
    for (slf::SLFFlags flags = 0; flags <= (slf::JunkPaths | slf::Overwrite); ++flags) {
      Case(archiveBytes, base, flags).run();
    }
  }
  // What changes outside stays changed, so one comparison covers every case.
  if (snapshotOutside() != before) fatal("something outside the output directory changed");
  std::error_code error;
  fs::remove_all(box.out, error);
  return 0;
}
