// The walk below the folder to be packed. Folders are visited breadth first
// from a list that also records each one's parent, so a folder loop is found
// by following the parents back to the root, and deep trees cost no stack.
#include <string_view>

#include "pack/pack.h"

namespace pack {
namespace {

struct Folder {
  std::string path;                 // as handed to the file system
  std::string storedPrefix;         // "" or the stored names' folder part, ending in a backslash
  platform::FileIdentity identity;  // to recognise it when a link leads back to it
  std::size_t parent;               // index in the list; kNoParent for the root
};

constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
constexpr std::size_t kMaxStoredName = slf::kTextFieldSize - 1;

std::string joinPath(const std::string& folder, const std::string& name) {
  const bool endsInSeparator = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
  return endsInSeparator ? folder + name : folder + '/' + name;
}

bool isOnPathToRoot(const std::vector<Folder>& folders, std::size_t from, const platform::FileIdentity& identity) {
  for (std::size_t at = from; at != kNoParent; at = folders[at].parent) {
    if (folders[at].identity == identity) return true;
  }
  return false;
}

class Walk {
 public:
  Walk(platform::FileSystem& fileSystem, const std::optional<platform::FileIdentity>& skip)
      : fileSystem_(fileSystem), skip_(skip) {}

  std::vector<SourceFile> run(const std::string& root) {
    const platform::FileInfo info = fileSystem_.inspect(root);
    if (info.kind == platform::PathKind::Missing) slf::failNaming("No such folder '", root);
    if (info.kind != platform::PathKind::Directory) slf::failNaming("Not a folder '", root);
    folders_.push_back({root, std::string(), info.identity, kNoParent});
    for (std::size_t next = 0; next < folders_.size(); ++next) visitFolder(next);
    return std::move(files_);
  }

 private:
  void visitFolder(std::size_t index) {
    const std::string path = folders_[index].path;
    const std::string prefix = folders_[index].storedPrefix;
    if (!fileSystem_.listDirectory(path, entries_)) slf::failNaming("Can't read folder '", path);
    for (platform::DirectoryEntry& entry : entries_) {
      const std::string entryPath = joinPath(path, entry.name);
      if (entry.name.find('\\') != std::string::npos) slf::failNaming("Backslash in a file name '", entryPath);
      switch (entry.info.kind) {
        case platform::PathKind::Directory:
          if (isOnPathToRoot(folders_, index, entry.info.identity)) slf::failNaming("Folder loop at '", entryPath);
          folders_.push_back({entryPath, prefix + entry.name + '\\', entry.info.identity, index});
          break;
        case platform::PathKind::RegularFile:
          addFile(entryPath, prefix + entry.name, entry.info);
          break;
        case platform::PathKind::Missing:
        case platform::PathKind::Other:
          slf::failNaming("Not a regular file or folder '", entryPath);
      }
    }
  }

  void addFile(const std::string& path, std::string storedName, const platform::FileInfo& info) {
    if (skip_ && info.identity == *skip_) return;
    if (storedName.size() > kMaxStoredName) slf::failNaming("Name longer than 255 bytes '", storedName);
    if (!slf::staysInside(storedName, fileSystem_)) slf::failNaming("Unsafe name '", storedName);
    files_.push_back({std::move(storedName), path, info.size, info.modified});
  }

  platform::FileSystem& fileSystem_;
  const std::optional<platform::FileIdentity>& skip_;
  std::vector<Folder> folders_;
  std::vector<SourceFile> files_;
  std::vector<platform::DirectoryEntry> entries_;
};

}  // namespace

std::vector<SourceFile> collectFiles(platform::FileSystem& fileSystem, const std::string& folder,
                                     const std::optional<platform::FileIdentity>& skip) {
  return Walk(fileSystem, skip).run(folder);
}

}  // namespace pack
