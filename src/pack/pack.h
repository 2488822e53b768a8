// Packing a folder into an SLF archive that the game can load, and checking
// an existing archive for what would make the game miss a file. Every
// failure is thrown as slf::SLFError with a complete message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "slf/archive.h"

namespace pack {

// A regular file found below the folder being packed.
struct SourceFile {
  std::string storedName;  // its path below the folder, backslashes between folders
  std::string path;        // where it is read from: the folder and the names joined with '/'
  std::uint64_t size = 0;
  std::uint64_t modified = 0;  // FILETIME units
};

// Every regular file below `folder`, links followed, in no particular order.
// A file whose identity is `skip` (the archive being replaced) is left out.
// Refuses what cannot be packed: a missing folder, anything but regular files
// and folders, a folder loop, a backslash inside a name, a stored name over
// 255 bytes or one that arcdig would refuse to extract.
std::vector<SourceFile> collectFiles(platform::FileSystem& fileSystem, const std::string& folder,
                                     const std::optional<platform::FileIdentity>& skip);

// Puts `files` into the order in which the game looks names up; refuses two
// names that this order cannot tell apart.
void sortForLookup(std::vector<SourceFile>& files);

enum class ExistingArchive { Refuse, Replace };
enum class Progress { Quiet, ListNames };

struct PackRequest {
  std::string archivePath;
  std::string folder;
  std::string libraryName;  // stored as given
  std::string basePath;     // stored as given: empty or ending in a backslash
  ExistingArchive existing = ExistingArchive::Refuse;
  Progress progress = Progress::Quiet;
  std::optional<std::uint64_t> fixedTime;  // replaces every modification time
};

// The largest archive the game can address: offsets and lengths are signed
// 32-bit numbers.
constexpr std::uint64_t kMaxArchiveSize = 2147483647;

// Walks the folder, then writes the archive: header, member data in record
// order, records. The archive appears under its name only when complete; an
// archive replaced with ExistingArchive::Replace survives every failure.
void packFolder(const PackRequest& request, platform::FileSystem& fileSystem, platform::Console& console);

// One thing in an archive that would make the game miss or misread a file.
struct Finding {
  std::optional<std::string> entryName;  // the stored name concerned; nothing for the header
  std::string problem;
};

// Everything wrong with a loaded archive, header first, then the entries in
// stored order.
std::vector<Finding> checkArchive(const slf::SLFArchive& archive, const platform::FileSystem& fileSystem);

}  // namespace pack
