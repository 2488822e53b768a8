// An opened SLF archive: its header and its directory of entry records, kept
// in memory in stored order, plus the operations that select entries by
// pattern (find) and write one entry out (extract).
//
// File layout (all integers little-endian):
//   bytes 0..531                  header (SLFHeader)
//   between header and directory  member data, reached only through records
//   last entryCount * 280 bytes   directory (SLFEntry records, stored order)
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "slf/error.h"

namespace slf {

// The flags word read by extract.
using SLFFlags = std::uint32_t;
constexpr SLFFlags JunkPaths = 1;  // keep only the part of a name after its last backslash
constexpr SLFFlags Overwrite = 2;  // replace an existing output file instead of reporting it

constexpr std::size_t kTextFieldSize = 256;
constexpr std::size_t kHeaderSize = 532;
constexpr std::size_t kEntrySize = 280;

// The 532-byte header at the start of an archive.
struct SLFHeader {
  char libraryName[kTextFieldSize];
  char basePath[kTextFieldSize];
  std::int32_t entryCount;  // zero or negative: empty directory
  unsigned char reserved[16];
};

// One 280-byte directory record.
struct SLFEntry {
  char name[kTextFieldSize];
  std::int32_t offset;  // first byte of the member, from the start of the file
  std::int32_t length;  // size of the member in bytes
  unsigned char reserved[16];
};

// Decodes records from their on-disk bytes (independent of host byte order).
SLFHeader decodeHeader(const unsigned char* bytes);
SLFEntry decodeEntry(const unsigned char* bytes);

// Encodes records into their on-disk bytes (kHeaderSize or kEntrySize of
// them); the exact inverse of the decoders, the uninterpreted bytes included.
void encodeHeader(const SLFHeader& header, unsigned char* bytes);
void encodeEntry(const SLFEntry& entry, unsigned char* bytes);

// What the game reads from the 16 bytes after the entry count: the number of
// entries in use (the count itself in a sound archive), a marker that the
// records are sorted, the format version and whether any name holds a
// backslash. The rest is zero.
constexpr std::uint16_t kSortedMarker = 0xFFFF;
constexpr std::uint16_t kLibraryVersion = 0x0200;
enum class Subdirectories { Absent, Present };
void setHeaderDetails(SLFHeader& header, std::int32_t usedEntries, Subdirectories subdirectories);
std::int32_t usedEntryCount(const SLFHeader& header);

// What the game reads from the 16 bytes after a record's length: a state
// (only kEntryInUse entries are found) and the file's modification time as a
// FILETIME, 100 ns intervals since 1601-01-01 UTC. The rest is zero.
constexpr std::uint8_t kEntryInUse = 0;
void setEntryDetails(SLFEntry& entry, std::uint64_t modified);
std::uint8_t entryState(const SLFEntry& entry);
std::uint64_t entryModified(const SLFEntry& entry);

// The order in which the game looks names up: byte by byte as unsigned
// values, with the letters A-Z folded to a-z (the matcher's fold); a name
// comes before every longer name it begins. Negative, zero or positive as
// `left` sorts before, equal to or after `right`. Names that compare equal
// cannot both be found.
int compareLookupOrder(std::string_view left, std::string_view right);

// The text of a fixed field: its bytes up to the first zero byte, or all of
// them when the field holds none. Never reads past the field.
std::string_view fieldText(const char (&field)[kTextFieldSize]);

// True when the whole name matches the whole pattern. '*' matches any run of
// bytes, '?' any one byte; every other byte matches itself with the letters
// A-Z folded to a-z (nothing else folds). Constant memory, allocation-free,
// time bounded by the product of the two lengths.
bool wildcardMatch(std::string_view pattern, std::string_view name);
bool wildcardMatch(const char* pattern, const char* name);

// True for a stored name (or path) that stays below the directory it is
// joined to: it does not start with a backslash or slash, holds no colon and
// no component "..", nor a component `fileSystem` refuses. extract refuses
// every other name; arcpack checks names by the same rule.
bool staysInside(std::string_view path, const platform::FileSystem& fileSystem);

class SLFArchive {
 public:
  // Opens the archive and loads its header and whole directory, or throws
  // SLFError. `exdir` gains a trailing backslash unless it is empty or
  // already ends in one.
  SLFArchive(const char* archivePath, SLFFlags flags, std::string exdir,
             platform::FileSystem& fileSystem = platform::systemFileSystem());
  SLFArchive(const SLFArchive&) = delete;
  SLFArchive& operator=(const SLFArchive&) = delete;

  // Appends a copy of every entry whose stored name matches `pattern`, in
  // stored order; never removes what `matches` already holds.
  void find(const char* pattern, std::list<SLFEntry>& matches) const;

  // Writes one entry to its output file. Returns false, writing nothing, when
  // Overwrite is clear and a regular file is already there; true when the file
  // has been written. Throws SLFError on every failure.
  bool extract(SLFEntry entry);

  SLFFlags flags;
  std::string exdir;
  std::string archivePath;
  std::unique_ptr<platform::InputFile> input;
  SLFHeader header;
  std::list<SLFEntry> entries;

 private:
  void loadDirectory();
  void copyEntry(platform::PendingFile& output, std::uint64_t offset, std::uint64_t length,
                 std::string_view libraryName, const std::string& outputPath);
  [[noreturn]] void throwLoadError(const char* fixedText) const;

  platform::FileSystem& fileSystem_;
};

}  // namespace slf
