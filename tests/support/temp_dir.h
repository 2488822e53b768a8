#pragma once

#include <string>

namespace slftest {

// A fresh directory under the system's temporary folder, removed with all
// its contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // `path()` joined with a relative name using '/'.
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);
bool pathExists(const std::string& path);
// Relative paths (with '/') of everything below `root`, sorted.
std::string listTree(const std::string& root);

}  // namespace slftest
