// Two properties of arcpack on the in-memory platform (the input format is in
// pack_tree_format.h):
//   - a random small tree either packs, and then arcdig extracts every file
//     byte for byte and --check finds nothing wrong with the archive, or is
//     refused with one of arcpack's messages and no archive is left;
//   - random bytes given to --check end in a report or an error message,
//     never in a crash.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/driver.h"
#include "pack/front.h"
#include "pack_tree_format.h"
#include "support/fake_platform.h"

namespace {

[[noreturn]] void fatal(const char* what) {
  std::fprintf(stderr, "fuzz_pack: %s\n", what);
  std::abort();
}

int runPack(slftest::FakeFileSystem& fileSystem, slftest::FakeConsole& console, std::vector<const char*> arguments,
            const char* sourceDateEpoch) {
  arguments.insert(arguments.begin(), "arcpack");
  const int status =
      pack::run(static_cast<int>(arguments.size()), arguments.data(), sourceDateEpoch, console, fileSystem);
  if (status != 0 && status != 1) fatal("exit status other than 0 and 1");
  if (status == 1 && console.out.empty() && console.err.rfind("arcpack: ", 0) != 0) fatal("failure without a message");
  return status;
}

class Input {
 public:
  explicit Input(std::string_view bytes) : bytes_(bytes) {}
  bool empty() const { return at_ >= bytes_.size(); }
  unsigned char byte() { return empty() ? 0 : static_cast<unsigned char>(bytes_[at_++]); }
  std::string_view take(std::size_t count) {
    const std::string_view piece = bytes_.substr(std::min(at_, bytes_.size()), count);
    at_ += piece.size();
    return piece;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// The relative path a record names: its components joined with '/', without
// empty, "." and ".." components.
std::string pathOf(std::string_view bytes) {
  std::string path;
  std::string component;
  const auto flush = [&] {
    if (!component.empty() && component != "." && component != "..") path += (path.empty() ? "" : "/") + component;
    component.clear();
  };
  for (const char byte : bytes) {
    const char c = packfuzz::kPathAlphabet[static_cast<unsigned char>(byte) % 16];
    if (c == '/') {
      flush();
    } else {
      component += c;
    }
  }
  flush();
  return path;
}

class Tree {
 public:
  explicit Tree(slftest::FakeFileSystem& fileSystem) : fileSystem_(fileSystem) {
    fileSystem_.addDirectory("tree");
    folders_.push_back("tree");
  }

  void build(Input& input) {
    while (!input.empty()) {
      const unsigned char kind = input.byte();
      const std::string path = pathOf(input.take(input.byte() % 24));
      const unsigned char size = input.byte();
      if ((kind & packfuzz::kLinkRecord) != 0) {
        addLink(path, folders_[size % folders_.size()]);
      } else {
        addFile(path, std::string(input.take(size)));
      }
    }
  }

  // The files reachable from the root, as arcdig should write them below out.
  const std::map<std::string, std::string>& files() const { return files_; }

  // Without links, a colon or two paths equal under the fold, nothing stands
  // in the way of packing (the paths are too short to exceed 255 bytes).
  bool mustPack() const {
    if (!linkPaths_.empty()) return false;
    for (const auto& file : files_) {
      if (file.first.find(':') != std::string::npos) return false;
    }
    std::set<std::string> folded;
    for (const auto& file : files_) {
      std::string key = file.first;
      for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      if (!folded.insert(key).second) return false;
    }
    return true;
  }

 private:
  // Makes the folders on the way; false when a file or link stands there
  // (a link to a folder too: what is added below it would not be seen
  // through it).
  bool makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      const std::string folder = "tree/" + path.substr(0, slash);
      if (linkPaths_.count(folder) != 0) return false;
      if (taken_.count(folder) != 0 && fileSystem_.inspect(folder).kind != platform::PathKind::Directory) return false;
      if (taken_.insert(folder).second) {
        fileSystem_.addDirectory(folder);
        folders_.push_back(folder);
      }
    }
    return true;
  }

  void addFile(const std::string& path, std::string contents) {
    if (path.empty() || !makeFolders(path) || !taken_.insert("tree/" + path).second) return;
    fileSystem_.addFile("tree/" + path, contents);
    files_[path] = std::move(contents);
  }

  void addLink(const std::string& path, const std::string& target) {
    if (path.empty() || !makeFolders(path) || !taken_.insert("tree/" + path).second) return;
    fileSystem_.addLink("tree/" + path, target);
    linkPaths_.insert("tree/" + path);
  }

  slftest::FakeFileSystem& fileSystem_;
  std::vector<std::string> folders_;
  std::set<std::string> taken_;
  std::map<std::string, std::string> files_;
  std::set<std::string> linkPaths_;
};

void extractAndCompare(slftest::FakeFileSystem& fileSystem, const Tree& tree) {
  slftest::FakeConsole console;
  const char* arguments[] = {"arcdig", "-o", "out.slf", "*", "-d", "out"};
  if (cli::run(6, arguments, console, fileSystem) != 0) fatal("arcdig could not extract what arcpack packed");
  // Without links every file is found exactly where it was; links add copies.
  for (const auto& [path, contents] : tree.files()) {
    if (!fileSystem.exists("out/" + path) || fileSystem.contents("out/" + path) != contents) {
      fatal("a file came back different");
    }
  }
}

void packTree(std::string_view description, const char* sourceDateEpoch) {
  slftest::FakeFileSystem fileSystem;
  Tree tree(fileSystem);
  Input input(description);
  tree.build(input);

  slftest::FakeConsole console;
  if (runPack(fileSystem, console, {"out.slf", "tree"}, sourceDateEpoch) != 0) {
    if (fileSystem.exists("out.slf")) fatal("a refused pack left an archive");
    if (tree.mustPack()) fatal("a tree that can be packed was refused");
    return;
  }
  extractAndCompare(fileSystem, tree);
  slftest::FakeConsole checkConsole;
  if (runPack(fileSystem, checkConsole, {"--check", "out.slf"}, nullptr) != 0) {
    fatal("--check found fault with a packed archive");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & packfuzz::kCheckMode) != 0) {
    slftest::FakeFileSystem fileSystem;
    fileSystem.addFile("x.slf", std::string(rest));
    slftest::FakeConsole console;
    runPack(fileSystem, console, {"--check", "x.slf"}, nullptr);
    return 0;
  }
  packTree(rest, (data[0] & packfuzz::kWithSourceDateEpoch) != 0 ? "1005393600" : nullptr);
  return 0;
}
