// The three small archives shipped in examples/, named and filled so that
// the examples in arcdig's usage text work as printed inside that folder.
// make_examples writes them; the end-to-end tests compare the shipped files
// with them and run the examples on the shipped files.
#pragma once

#include <string>
#include <vector>

namespace slftest {

struct ExampleMember {
  std::string name;  // stored name
  std::string data;  // member bytes
};

struct ExampleArchive {
  std::string fileName;  // e.g. "faces.slf"
  std::string basePath;  // stored base path, where files go without -d
  std::vector<ExampleMember> members;  // in stored order

  // The archive file's bytes.
  std::string bytes() const;
  // The data of the member stored under `name`; throws when there is none.
  const std::string& data(const std::string& name) const;
};

// tilesets.slf, faces.slf and bigitems.slf.
std::vector<ExampleArchive> exampleArchives();

}  // namespace slftest
