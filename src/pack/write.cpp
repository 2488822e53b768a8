// Writing the archive: the files are sorted into lookup order and laid out
// before the output file exists, so every refusal leaves nothing behind;
// then header, member data and records are streamed into one PendingFile.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "cli/driver.h"
#include "pack/pack.h"

namespace pack {
namespace {

// Records are encoded and written this many at a time.
constexpr std::size_t kRecordsPerBlock = 4096;

void copyText(char (&field)[slf::kTextFieldSize], std::string_view text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

// Where the archive goes and what of an existing one must be kept out of it.
struct Destination {
  platform::Placement placement = platform::Placement::NewFile;
  std::optional<platform::FileIdentity> existing;
};

Destination examineDestination(const PackRequest& request, platform::FileSystem& fileSystem) {
  const platform::FileInfo info = fileSystem.inspect(request.archivePath);
  switch (info.kind) {
    case platform::PathKind::Missing:
      return Destination{};
    case platform::PathKind::RegularFile:
      if (request.existing == ExistingArchive::Refuse) slf::failNaming("Archive already exists '", request.archivePath);
      return Destination{platform::Placement::Replacement, info.identity};
    case platform::PathKind::Directory:
    case platform::PathKind::Other:
      break;
  }
  slf::failNaming("Can't create archive '", request.archivePath);
}

// Offsets of every member, and the size of the whole archive.
std::vector<std::uint32_t> layOut(const std::vector<SourceFile>& files, const std::string& archivePath,
                                  std::uint64_t& archiveSize) {
  std::vector<std::uint32_t> offsets;
  offsets.reserve(files.size());
  std::uint64_t end = slf::kHeaderSize;
  for (const SourceFile& file : files) {
    if (file.size > kMaxArchiveSize - end) slf::failNaming("Archive would be 2 GiB or larger '", archivePath);
    offsets.push_back(static_cast<std::uint32_t>(end));
    end += file.size;
  }
  const std::uint64_t records = std::uint64_t{files.size()} * slf::kEntrySize;
  if (records > kMaxArchiveSize - end) slf::failNaming("Archive would be 2 GiB or larger '", archivePath);
  archiveSize = end + records;
  return offsets;
}

slf::SLFHeader makeHeader(const PackRequest& request, const std::vector<SourceFile>& files) {
  slf::SLFHeader header{};
  copyText(header.libraryName, request.libraryName);
  copyText(header.basePath, request.basePath);
  header.entryCount = static_cast<std::int32_t>(files.size());
  const bool nested = std::any_of(files.begin(), files.end(), [](const SourceFile& file) {
    return file.storedName.find('\\') != std::string::npos;
  });
  slf::setHeaderDetails(header, header.entryCount,
                        nested ? slf::Subdirectories::Present : slf::Subdirectories::Absent);
  return header;
}

class ArchiveWriter {
 public:
  ArchiveWriter(const PackRequest& request, platform::FileSystem& fileSystem, platform::Console& console)
      : request_(request), fileSystem_(fileSystem), console_(console) {}

  void write(const std::vector<SourceFile>& files, const std::vector<std::uint32_t>& offsets,
             std::uint64_t archiveSize, platform::Placement placement) {
    output_ = fileSystem_.createOutputFile(request_.archivePath, placement, archiveSize);
    if (!output_) slf::failNaming("Can't create archive '", request_.archivePath);

    unsigned char headerBytes[slf::kHeaderSize];
    slf::encodeHeader(makeHeader(request_, files), headerBytes);
    writeBytes(headerBytes, sizeof headerBytes);
    for (const SourceFile& file : files) copyMember(file);
    writeRecords(files, offsets);

    switch (output_->commit()) {
      case platform::CommitStatus::Done:
        return;
      case platform::CommitStatus::WriteFailed:
        slf::failNaming("Error writing archive '", request_.archivePath);
      case platform::CommitStatus::NotPlaced:
        break;
    }
    slf::failNaming("Can't create archive '", request_.archivePath);
  }

 private:
  void writeBytes(const void* bytes, std::size_t count) {
    if (!output_->write(bytes, count)) slf::failNaming("Error writing archive '", request_.archivePath);
  }

  void copyMember(const SourceFile& file) {
    if (request_.progress == Progress::ListNames) {
      console_.writeOut(cli::terminalSafe(file.storedName, console_.outDisplay()) + "\n");
    }
    const std::unique_ptr<platform::InputFile> input = fileSystem_.openForReading(file.path);
    if (!input) slf::failNaming("Can't open file '", file.path);
    switch (output_->copyFrom(*input, 0, file.size)) {
      case platform::CopyStatus::Complete:
        return;
      case platform::CopyStatus::SourceEnded:
        slf::failNaming("Unexpected end of file in '", file.path);
      case platform::CopyStatus::SourceFailed:
        slf::failNaming("Error reading file '", file.path);
      case platform::CopyStatus::WriteFailed:
        break;
    }
    slf::failNaming("Error writing archive '", request_.archivePath);
  }

  void writeRecords(const std::vector<SourceFile>& files, const std::vector<std::uint32_t>& offsets) {
    std::vector<unsigned char> block(std::min(files.size(), kRecordsPerBlock) * slf::kEntrySize);
    for (std::size_t first = 0; first < files.size(); first += kRecordsPerBlock) {
      const std::size_t count = std::min(files.size() - first, kRecordsPerBlock);
      for (std::size_t i = 0; i < count; ++i) {
        const SourceFile& file = files[first + i];
        slf::SLFEntry entry{};
        copyText(entry.name, file.storedName);
        entry.offset = static_cast<std::int32_t>(offsets[first + i]);
        entry.length = static_cast<std::int32_t>(file.size);
        slf::setEntryDetails(entry, request_.fixedTime ? *request_.fixedTime : file.modified);
        slf::encodeEntry(entry, block.data() + i * slf::kEntrySize);
      }
      writeBytes(block.data(), count * slf::kEntrySize);
    }
  }

  const PackRequest& request_;
  platform::FileSystem& fileSystem_;
  platform::Console& console_;
  std::unique_ptr<platform::PendingFile> output_;
};

}  // namespace

void sortForLookup(std::vector<SourceFile>& files) {
  // Names equal under the fold are ordered by their bytes, so that the
  // refusal below names them the same way whatever order the walk found.
  std::sort(files.begin(), files.end(), [](const SourceFile& left, const SourceFile& right) {
    const int order = slf::compareLookupOrder(left.storedName, right.storedName);
    return order != 0 ? order < 0 : left.storedName < right.storedName;
  });
  for (std::size_t i = 1; i < files.size(); ++i) {
    if (slf::compareLookupOrder(files[i - 1].storedName, files[i].storedName) == 0) {
      throw slf::SLFError{"Names equal apart from letter case '" + files[i - 1].storedName + "' and '" +
                          files[i].storedName + "'"};
    }
  }
}

void packFolder(const PackRequest& request, platform::FileSystem& fileSystem, platform::Console& console) {
  try {
    const Destination destination = examineDestination(request, fileSystem);
    std::vector<SourceFile> files = collectFiles(fileSystem, request.folder, destination.existing);
    sortForLookup(files);
    std::uint64_t archiveSize = 0;
    const std::vector<std::uint32_t> offsets = layOut(files, request.archivePath, archiveSize);
    ArchiveWriter(request, fileSystem, console).write(files, offsets, archiveSize, destination.placement);
  } catch (const std::bad_alloc&) {
    throw slf::SLFError{"Out of memory"};
  }
}

}  // namespace pack
