// Builds SLF archives for tests, fuzz seeds, the example archives and the
// benchmarks: well-formed ones, and damaged ones on request (counts that lie,
// text fields without a terminator, lengths with the top bit set, cut-off
// files). Test support only; the tool itself never writes archives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slftest {

struct Member {
  std::string name;        // stored name; up to 256 bytes (256 = no terminator)
  std::string data;        // member bytes, laid out after the header
  // When set, these replace the computed record fields.
  bool overrideOffset = false;
  std::int32_t offset = 0;
  bool overrideLength = false;
  std::int32_t length = 0;
};

class SlfWriter {
 public:
  SlfWriter& libraryName(std::string value);  // up to 256 bytes
  SlfWriter& basePath(std::string value);     // up to 256 bytes
  // Adds a member with its data; record fields are computed.
  SlfWriter& add(std::string name, std::string data);
  SlfWriter& add(Member member);
  // Stores this value as entryCount instead of the number of members.
  SlfWriter& entryCount(std::int32_t count);

  // The archive bytes: header, member data in order, directory at the end.
  std::string build() const;
  // Writes build() to `path`; throws std::runtime_error on failure.
  void writeTo(const std::string& path) const;

 private:
  std::string libraryName_ = "test.slf";
  std::string basePath_;
  std::vector<Member> members_;
  bool overrideCount_ = false;
  std::int32_t count_ = 0;
};

// Little-endian helpers for tests that patch bytes by hand.
void putLe32(std::string& bytes, std::size_t at, std::uint32_t value);

}  // namespace slftest
