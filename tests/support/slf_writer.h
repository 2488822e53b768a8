// Builds SLF archives for tests, fuzz seeds, the example archives and the
// benchmarks: well-formed ones, and damaged ones on request (counts that lie,
// text fields without a terminator, lengths with the top bit set, cut-off
// files). Test support only, written independently of arcpack's encoder so
// that the two can be checked against each other.
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
  std::string details;  // the 16 bytes after the length; empty: all zero
};

// The 16 bytes after a record's length as the game reads them: state, a
// zero byte, two zero bytes, the FILETIME, four zero bytes.
std::string entryDetails(std::uint8_t state, std::uint64_t fileTime);
// The 16 bytes after the header's entry count: entries in use, sort marker,
// version, subdirectory flag, seven zero bytes.
std::string headerDetails(std::int32_t usedEntries, std::uint16_t sortMarker, std::uint16_t version,
                          std::uint8_t subdirectories);

class SlfWriter {
 public:
  SlfWriter& libraryName(std::string value);  // up to 256 bytes
  SlfWriter& basePath(std::string value);     // up to 256 bytes
  // Adds a member with its data; record fields are computed.
  SlfWriter& add(std::string name, std::string data);
  SlfWriter& add(Member member);
  // Stores this value as entryCount instead of the number of members.
  SlfWriter& entryCount(std::int32_t count);
  // The 16 bytes after the entry count (all zero unless given).
  SlfWriter& details(std::string bytes);

  // The archive bytes: header, member data in order, directory at the end.
  std::string build() const;
  // Writes build() to `path`; throws std::runtime_error on failure.
  void writeTo(const std::string& path) const;

 private:
  std::string libraryName_ = "test.slf";
  std::string basePath_;
  std::vector<Member> members_;
  std::string details_;
  bool overrideCount_ = false;
  std::int32_t count_ = 0;
};

// Little-endian helpers for tests that patch bytes by hand.
void putLe32(std::string& bytes, std::size_t at, std::uint32_t value);

}  // namespace slftest
