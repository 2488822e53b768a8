#include "support/slf_writer.h"

#include <fstream>
#include <stdexcept>

namespace slftest {
namespace {

constexpr std::size_t kField = 256;
constexpr std::size_t kHeader = 532;
constexpr std::size_t kRecord = 280;

void putField(std::string& bytes, std::size_t at, const std::string& text) {
  if (text.size() > kField) throw std::runtime_error("text field longer than 256 bytes");
  bytes.replace(at, text.size(), text);
}

void putDetails(std::string& bytes, std::size_t at, const std::string& details) {
  if (details.empty()) return;
  if (details.size() != 16) throw std::runtime_error("details are 16 bytes");
  bytes.replace(at, details.size(), details);
}

std::string littleEndian(std::uint64_t value, int width) {
  std::string bytes;
  for (int i = 0; i < width; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFFu);
  return bytes;
}

}  // namespace

void putLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFFu);
  }
}

std::string entryDetails(std::uint8_t state, std::uint64_t fileTime) {
  return std::string(1, static_cast<char>(state)) + std::string(3, '\0') + littleEndian(fileTime, 8) +
         std::string(4, '\0');
}

std::string headerDetails(std::int32_t usedEntries, std::uint16_t sortMarker, std::uint16_t version,
                          std::uint8_t subdirectories) {
  return littleEndian(static_cast<std::uint32_t>(usedEntries), 4) + littleEndian(sortMarker, 2) +
         littleEndian(version, 2) + std::string(1, static_cast<char>(subdirectories)) + std::string(7, '\0');
}

SlfWriter& SlfWriter::details(std::string bytes) {
  details_ = std::move(bytes);
  return *this;
}

SlfWriter& SlfWriter::libraryName(std::string value) {
  libraryName_ = std::move(value);
  return *this;
}

SlfWriter& SlfWriter::basePath(std::string value) {
  basePath_ = std::move(value);
  return *this;
}

SlfWriter& SlfWriter::add(std::string name, std::string data) {
  Member member;
  member.name = std::move(name);
  member.data = std::move(data);
  return add(std::move(member));
}

SlfWriter& SlfWriter::add(Member member) {
  members_.push_back(std::move(member));
  return *this;
}

SlfWriter& SlfWriter::entryCount(std::int32_t count) {
  overrideCount_ = true;
  count_ = count;
  return *this;
}

std::string SlfWriter::build() const {
  std::string bytes(kHeader, '\0');
  putField(bytes, 0, libraryName_);
  putField(bytes, kField, basePath_);
  const auto count = overrideCount_ ? count_ : static_cast<std::int32_t>(members_.size());
  putLe32(bytes, 2 * kField, static_cast<std::uint32_t>(count));
  putDetails(bytes, 2 * kField + 4, details_);

  std::vector<std::uint32_t> offsets;
  offsets.reserve(members_.size());
  for (const Member& member : members_) {
    offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
    bytes += member.data;
  }
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const Member& member = members_[i];
    std::string record(kRecord, '\0');
    putField(record, 0, member.name);
    putLe32(record, kField, member.overrideOffset ? static_cast<std::uint32_t>(member.offset) : offsets[i]);
    putLe32(record, kField + 4,
            member.overrideLength ? static_cast<std::uint32_t>(member.length)
                                  : static_cast<std::uint32_t>(member.data.size()));
    putDetails(record, kField + 8, member.details);
    bytes += record;
  }
  return bytes;
}

void SlfWriter::writeTo(const std::string& path) const {
  const std::string bytes = build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace slftest
