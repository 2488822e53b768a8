#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "slf/archive.h"

namespace slf {
namespace {

std::int32_t readLe32(const unsigned char* bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                              (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  std::int32_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

void writeLe32(unsigned char* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFu);
}

void writeLe16(unsigned char* bytes, std::uint16_t value) {
  bytes[0] = static_cast<unsigned char>(value & 0xFFu);
  bytes[1] = static_cast<unsigned char>(value >> 8);
}

std::uint32_t asUnsigned(std::int32_t value) {
  std::uint32_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

// Offsets of the game's fields inside the 16 uninterpreted bytes.
constexpr std::size_t kHeaderUsedEntries = 0;
constexpr std::size_t kHeaderSortMarker = 4;
constexpr std::size_t kHeaderVersion = 6;
constexpr std::size_t kHeaderSubdirectories = 8;
constexpr std::size_t kEntryState = 0;
constexpr std::size_t kEntryModified = 4;

// Directory records are read in blocks of this many, so that a large
// directory costs a few large reads rather than one request per record.
constexpr std::size_t kRecordsPerBlock = 4096;

}  // namespace

SLFHeader decodeHeader(const unsigned char* bytes) {
  SLFHeader header;
  std::memcpy(header.libraryName, bytes, kTextFieldSize);
  std::memcpy(header.basePath, bytes + kTextFieldSize, kTextFieldSize);
  header.entryCount = readLe32(bytes + 2 * kTextFieldSize);
  std::memcpy(header.reserved, bytes + 2 * kTextFieldSize + 4, sizeof header.reserved);
  return header;
}

SLFEntry decodeEntry(const unsigned char* bytes) {
  SLFEntry entry;
  std::memcpy(entry.name, bytes, kTextFieldSize);
  entry.offset = readLe32(bytes + kTextFieldSize);
  entry.length = readLe32(bytes + kTextFieldSize + 4);
  std::memcpy(entry.reserved, bytes + kTextFieldSize + 8, sizeof entry.reserved);
  return entry;
}

void encodeHeader(const SLFHeader& header, unsigned char* bytes) {
  std::memcpy(bytes, header.libraryName, kTextFieldSize);
  std::memcpy(bytes + kTextFieldSize, header.basePath, kTextFieldSize);
  writeLe32(bytes + 2 * kTextFieldSize, asUnsigned(header.entryCount));
  std::memcpy(bytes + 2 * kTextFieldSize + 4, header.reserved, sizeof header.reserved);
}

void encodeEntry(const SLFEntry& entry, unsigned char* bytes) {
  std::memcpy(bytes, entry.name, kTextFieldSize);
  writeLe32(bytes + kTextFieldSize, asUnsigned(entry.offset));
  writeLe32(bytes + kTextFieldSize + 4, asUnsigned(entry.length));
  std::memcpy(bytes + kTextFieldSize + 8, entry.reserved, sizeof entry.reserved);
}

void setHeaderDetails(SLFHeader& header, std::int32_t usedEntries, Subdirectories subdirectories) {
  std::memset(header.reserved, 0, sizeof header.reserved);
  writeLe32(header.reserved + kHeaderUsedEntries, asUnsigned(usedEntries));
  writeLe16(header.reserved + kHeaderSortMarker, kSortedMarker);
  writeLe16(header.reserved + kHeaderVersion, kLibraryVersion);
  header.reserved[kHeaderSubdirectories] = subdirectories == Subdirectories::Present ? 1 : 0;
}

std::int32_t usedEntryCount(const SLFHeader& header) { return readLe32(header.reserved + kHeaderUsedEntries); }

void setEntryDetails(SLFEntry& entry, std::uint64_t modified) {
  std::memset(entry.reserved, 0, sizeof entry.reserved);
  entry.reserved[kEntryState] = kEntryInUse;
  writeLe32(entry.reserved + kEntryModified, static_cast<std::uint32_t>(modified & 0xFFFFFFFFu));
  writeLe32(entry.reserved + kEntryModified + 4, static_cast<std::uint32_t>(modified >> 32));
}

std::uint8_t entryState(const SLFEntry& entry) { return entry.reserved[kEntryState]; }

std::uint64_t entryModified(const SLFEntry& entry) {
  const auto low = asUnsigned(readLe32(entry.reserved + kEntryModified));
  const auto high = asUnsigned(readLe32(entry.reserved + kEntryModified + 4));
  return (std::uint64_t{high} << 32) | low;
}

std::string_view fieldText(const char (&field)[kTextFieldSize]) {
  const void* zero = std::memchr(field, '\0', kTextFieldSize);
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : kTextFieldSize;
  return std::string_view(field, length);
}

SLFArchive::SLFArchive(const char* archivePathText, SLFFlags flagsWord, std::string outputDirectory,
                       platform::FileSystem& fileSystem)
    : flags(flagsWord),
      exdir(std::move(outputDirectory)),
      archivePath(archivePathText),
      header(),
      fileSystem_(fileSystem) {
  if (!exdir.empty() && exdir.back() != '\\') exdir += '\\';

  input = fileSystem_.openForReading(archivePath);
  if (!input) throwLoadError("Can't open file '");

  unsigned char headerBytes[kHeaderSize];
  const platform::ReadStatus status = input->read(headerBytes, kHeaderSize);
  if (status == platform::ReadStatus::EndOfFile) throwLoadError("Unexpected end of file in '");
  if (status == platform::ReadStatus::Error) throwLoadError("Error reading file '");
  header = decodeHeader(headerBytes);

  // The count was checked against the file's size, but the memory for the
  // records may still run out; that ends the run with a message, not a crash.
  try {
    loadDirectory();
  } catch (const std::bad_alloc&) {
    throw SLFError{"Out of memory"};
  }
}

// The directory is the last entryCount * 280 bytes of the file. A count whose
// records cannot fit in the file is refused before anything is allocated, so
// memory stays bounded by what the file holds.
void SLFArchive::loadDirectory() {
  if (header.entryCount <= 0) return;
  const std::uint64_t count = static_cast<std::uint64_t>(header.entryCount);
  const std::uint64_t directorySize = count * kEntrySize;
  const std::uint64_t fileSize = input->size();
  if (directorySize > fileSize || !input->seek(fileSize - directorySize)) {
    throwLoadError("Unexpected end of file in '");
  }

  // The directory list and one full match list.
  platform::reserveHeap(static_cast<std::size_t>(count) * 2 * (sizeof(SLFEntry) + 32));
  std::vector<unsigned char> block(std::min<std::uint64_t>(count, kRecordsPerBlock) * kEntrySize);
  std::uint64_t remaining = count;
  while (remaining > 0) {
    const std::size_t records = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kRecordsPerBlock));
    const platform::ReadStatus status = input->read(block.data(), records * kEntrySize);
    if (status == platform::ReadStatus::EndOfFile) throwLoadError("Unexpected end of file in '");
    if (status == platform::ReadStatus::Error) throwLoadError("Error reading file '");
    for (std::size_t i = 0; i < records; ++i) entries.push_back(decodeEntry(block.data() + i * kEntrySize));
    remaining -= records;
  }
}

void SLFArchive::throwLoadError(const char* fixedText) const {
  throw SLFError{fixedText + archivePath + "'"};
}

}  // namespace slf
