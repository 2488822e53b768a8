#include "support/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace slftest {
namespace {

class FakeInputFile final : public platform::InputFile {
 public:
  FakeInputFile(std::string bytes, const bool& failRead) : bytes_(std::move(bytes)), failRead_(failRead) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool seek(std::uint64_t offset) override {
    position_ = offset;
    return true;
  }
  platform::ReadStatus read(void* buffer, std::size_t count) override {
    if (failRead_) return platform::ReadStatus::Error;
    const std::uint64_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const std::size_t delivered = available < count ? static_cast<std::size_t>(available) : count;
    if (delivered > 0) std::memcpy(buffer, bytes_.data() + position_, delivered);
    position_ += delivered;
    return delivered == count ? platform::ReadStatus::Complete : platform::ReadStatus::EndOfFile;
  }

 private:
  std::string bytes_;
  const bool& failRead_;
  std::uint64_t position_ = 0;
};

}  // namespace

class FakePendingFile final : public platform::PendingFile {
 public:
  FakePendingFile(FakeFileSystem& fileSystem, std::string finalPath, platform::Placement placement)
      : fileSystem_(fileSystem), finalPath_(std::move(finalPath)), placement_(placement) {}
  ~FakePendingFile() override {
    if (!finished_) fileSystem_.log.push_back("discard " + finalPath_);
  }
  FakePendingFile(const FakePendingFile&) = delete;
  FakePendingFile& operator=(const FakePendingFile&) = delete;

  bool write(const void* data, std::size_t count) override {
    fileSystem_.log.push_back("write " + finalPath_ + " " + std::to_string(count));
    if (fileSystem_.failWrite) return false;
    contents_.append(static_cast<const char*>(data), count);
    return true;
  }
  platform::CopyStatus copyFrom(platform::InputFile& source, std::uint64_t offset, std::uint64_t count) override {
    fileSystem_.log.push_back("copy " + finalPath_ + " " + std::to_string(count));
    if (!source.seek(offset)) return platform::CopyStatus::SourceEnded;
    std::string bytes(static_cast<std::size_t>(count), '\0');
    switch (source.read(bytes.data(), bytes.size())) {
      case platform::ReadStatus::Complete:
        break;
      case platform::ReadStatus::EndOfFile:
        return platform::CopyStatus::SourceEnded;
      case platform::ReadStatus::Error:
        return platform::CopyStatus::SourceFailed;
    }
    if (fileSystem_.failWrite) return platform::CopyStatus::WriteFailed;
    contents_ += bytes;
    return platform::CopyStatus::Complete;
  }
  platform::CommitStatus commit() override {
    fileSystem_.log.push_back("commit " + finalPath_);
    finished_ = true;
    if (fileSystem_.failClose) return platform::CommitStatus::WriteFailed;
    const bool taken = placement_ == platform::Placement::NewFile && fileSystem_.exists(finalPath_);
    if (fileSystem_.failCommit || taken) return platform::CommitStatus::NotPlaced;
    fileSystem_.addFile(finalPath_, contents_);
    return platform::CommitStatus::Done;
  }

 private:
  FakeFileSystem& fileSystem_;
  std::string finalPath_;
  platform::Placement placement_;
  std::string contents_;
  bool finished_ = false;
};

std::string FakeFileSystem::normalise(const std::string& path) {
  std::string key(path);
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  while (key.size() > 1 && key.back() == '\\') key.pop_back();
  return key;
}

void FakeFileSystem::store(const std::string& path, Node node) {
  node.id = nextId_++;
  const std::string key = resolve(path);
  nodes_[key.empty() ? normalise(path) : key] = std::move(node);
}

void FakeFileSystem::addFile(const std::string& path, std::string contents) {
  store(path, Node{platform::PathKind::RegularFile, std::move(contents)});
}

void FakeFileSystem::addDirectory(const std::string& path) { store(path, Node{platform::PathKind::Directory, {}}); }

void FakeFileSystem::addOther(const std::string& path) { store(path, Node{platform::PathKind::Other, {}}); }

void FakeFileSystem::addLink(const std::string& path, const std::string& target) {
  links_[normalise(path)] = target;
}

void FakeFileSystem::setModified(const std::string& path, std::uint64_t modified) {
  nodes_.at(resolve(path)).modified = modified;
}

std::string FakeFileSystem::resolve(const std::string& path) const {
  std::string key = normalise(path);
  for (int hops = 0; hops < 40; ++hops) {
    bool followed = false;
    for (std::size_t end = 1; end <= key.size() && !followed; ++end) {
      if (end < key.size() && key[end] != '\\') continue;
      const auto link = links_.find(key.substr(0, end));
      if (link == links_.end()) continue;
      key = normalise(link->second) + key.substr(end);
      followed = true;
    }
    if (!followed) return key;
  }
  return std::string();
}

bool FakeFileSystem::exists(const std::string& path) const { return nodes_.count(resolve(path)) != 0; }

std::string FakeFileSystem::contents(const std::string& path) const {
  const auto found = nodes_.find(resolve(path));
  return found == nodes_.end() ? std::string() : found->second.contents;
}

std::vector<std::string> FakeFileSystem::paths() const {
  std::vector<std::string> result;
  for (const auto& node : nodes_) result.push_back(node.first);
  return result;
}

std::vector<std::string> FakeFileSystem::walkLog() const {
  std::vector<std::string> result;
  for (const std::string& line : log) {
    if (line.rfind("status ", 0) == 0 || line.rfind("mkdir ", 0) == 0) result.push_back(line);
  }
  return result;
}

std::unique_ptr<platform::InputFile> FakeFileSystem::openForReading(const std::string& path) {
  const auto changed = contentsWhenOpened.find(path);
  if (changed != contentsWhenOpened.end()) nodes_[resolve(path)].contents = changed->second;
  const auto found = nodes_.find(resolve(path));
  if (failOpenForReading || found == nodes_.end() || found->second.kind != platform::PathKind::RegularFile) {
    return nullptr;
  }
  return std::make_unique<FakeInputFile>(found->second.contents, failRead);
}

platform::PathKind FakeFileSystem::status(const std::string& path) {
  log.push_back("status " + path);
  const auto found = nodes_.find(resolve(path));
  return found == nodes_.end() ? platform::PathKind::Missing : found->second.kind;
}

bool FakeFileSystem::createDirectory(const std::string& path) {
  log.push_back("mkdir " + path);
  const std::string key = normalise(path);
  if (failCreateDirectory.count(path) != 0 || nodes_.count(key) != 0) return false;
  const std::size_t separator = key.rfind('\\');
  if (separator != std::string::npos && separator > 0) {
    const std::string parent = key.substr(0, separator);
    const bool driveRoot = parent.size() == 2 && parent[1] == ':';
    const auto found = nodes_.find(parent);
    if (!driveRoot && (found == nodes_.end() || found->second.kind != platform::PathKind::Directory)) {
      return false;
    }
  }
  nodes_[key] = Node{platform::PathKind::Directory, {}};
  return true;
}

std::unique_ptr<platform::PendingFile> FakeFileSystem::createOutputFile(const std::string& finalPath,
                                                                        platform::Placement placement,
                                                                        std::uint64_t) {
  log.push_back((placement == platform::Placement::NewFile ? "create " : "replace ") + finalPath);
  if (failCreateFile) return nullptr;
  return std::make_unique<FakePendingFile>(*this, finalPath, placement);
}

bool FakeFileSystem::rejectsComponent(std::string_view component) const {
  return rejectedComponents.count(std::string(component)) != 0;
}

platform::FileInfo FakeFileSystem::inspect(const std::string& path) {
  const auto found = nodes_.find(resolve(path));
  if (found == nodes_.end()) return platform::FileInfo{};
  platform::FileInfo info;
  info.kind = found->second.kind;
  info.size = found->second.kind == platform::PathKind::RegularFile ? found->second.contents.size() : 0;
  info.modified = found->second.modified;
  info.identity = {1, found->second.id};
  return info;
}

bool FakeFileSystem::listDirectory(const std::string& path, std::vector<platform::DirectoryEntry>& entries) {
  log.push_back("list " + path);
  entries.clear();
  const std::string key = resolve(path);
  const auto folder = nodes_.find(key);
  if (failList.count(path) != 0 || folder == nodes_.end() || folder->second.kind != platform::PathKind::Directory) {
    return false;
  }
  // The names of nodes and links directly below the folder, once each.
  const std::string prefix = key + "\\";
  std::set<std::string> names;
  const auto collect = [&](const std::string& below) {
    if (below.rfind(prefix, 0) == 0 && below.find('\\', prefix.size()) == std::string::npos) {
      names.insert(below.substr(prefix.size()));
    }
  };
  for (const auto& node : nodes_) collect(node.first);
  for (const auto& link : links_) collect(link.first);
  for (const std::string& name : names) entries.push_back({name, inspect(path + "/" + name)});
  if (listInReverse) std::reverse(entries.begin(), entries.end());
  return true;
}

void FakeConsole::writeOut(std::string_view text) {
  out.append(text);
  combined.append(text);
}

void FakeConsole::flushOut() { flushedOut = out.size(); }

void FakeConsole::writeErr(std::string_view text) {
  flushOut();
  err.append(text);
  combined.append(text);
}

int FakeConsole::readKey() {
  visibleAtKeyRead.push_back(flushedOut);
  if (keys.empty()) return -1;
  const int key = keys.front();
  keys.pop_front();
  return key;
}

}  // namespace slftest
