// Writing one directory entry out as a file.
//
// The output path is the output directory (or, when none was given, the
// base path stored in the header) followed by the stored name. Paths are
// built with backslashes; the platform layer maps them to the file system.
// Names come from the archive and are refused when they could place a file
// outside the base. The member is streamed from the archive into an output
// file that the platform layer lets appear under its name only when complete.
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "slf/archive.h"

namespace slf {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t findSeparator(std::string_view path, std::size_t from) {
  for (std::size_t i = from; i < path.size(); ++i) {
    if (isSeparator(path[i])) return i;
  }
  return std::string_view::npos;
}

std::string_view namePartOf(std::string_view storedName, SLFFlags flags) {
  if ((flags & JunkPaths) == 0) return storedName;
  const std::size_t lastBackslash = storedName.rfind('\\');
  return lastBackslash == std::string_view::npos ? storedName : storedName.substr(lastBackslash + 1);
}

// Creates every missing directory on `outputPath`, one level at a time. A
// drive prefix ("C:\" or "C:/") is never queried or created; a separator at
// the very start of the walk stays part of the first component.
void createDirectories(const std::string& outputPath, platform::FileSystem& fileSystem) {
  std::string prefix;
  std::size_t walkStart = 0;
  const std::size_t colon = outputPath.find(':');
  if (colon != std::string::npos && colon + 1 < outputPath.size() && isSeparator(outputPath[colon + 1])) {
    prefix.assign(outputPath, 0, colon + 1);
    prefix += '\\';
    walkStart = colon + 2;
  }
  std::size_t separator = findSeparator(outputPath, walkStart + 1);
  while (separator != std::string::npos) {
    prefix.append(outputPath, walkStart, separator - walkStart);
    if (fileSystem.status(prefix) != platform::PathKind::Directory && !fileSystem.createDirectory(prefix)) {
      failNaming("Can't create directory '", prefix);
    }
    prefix += '\\';
    walkStart = separator + 1;
    separator = findSeparator(outputPath, walkStart);
  }
}

}  // namespace

// A relative path that stays below the directory it is joined to: it does not
// start with a separator, holds no colon (drive prefix, drive-relative name or
// stream) and no component "..", nor a component the platform refuses.
bool staysInside(std::string_view path, const platform::FileSystem& fileSystem) {
  if (!path.empty() && isSeparator(path.front())) return false;
  if (path.find(':') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = findSeparator(path, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component == ".." || fileSystem.rejectsComponent(component)) return false;
    start = end + 1;
  }
  return true;
}

bool SLFArchive::extract(SLFEntry entry) {
  const std::string_view libraryName = fieldText(header.libraryName);
  const std::string_view namePart = namePartOf(fieldText(entry.name), flags);
  const bool baseFromHeader = exdir.empty();
  const std::string_view base = baseFromHeader ? fieldText(header.basePath) : std::string_view(exdir);

  std::string outputPath;
  outputPath.reserve(base.size() + namePart.size());
  outputPath.append(base).append(namePart);

  // The user's own output directory is trusted; the archive's names are not.
  // A stored base path runs straight into the name, so it is the joined path
  // that must stay inside: base "." and name ".\x" make "..\x".
  if (!staysInside(namePart, fileSystem_) || (baseFromHeader && !staysInside(outputPath, fileSystem_))) {
    failNaming("Unsafe path '", outputPath);
  }

  createDirectories(outputPath, fileSystem_);

  if (entry.length < 0) throw SLFError{"Out of memory"};
  const auto length = static_cast<std::uint64_t>(entry.length);
  const auto offset = static_cast<std::uint64_t>(entry.offset);
  // An entry that cannot lie inside the archive fails before anything at the
  // output path is looked at.
  if (length > 0 && (entry.offset < 0 || offset + length > input->size())) {
    failNaming("Unexpected end of file in '", libraryName);
  }

  platform::Placement placement = platform::Placement::NewFile;
  switch (fileSystem_.status(outputPath)) {
    case platform::PathKind::Missing:
      break;
    case platform::PathKind::RegularFile:
      if ((flags & Overwrite) == 0) return false;
      placement = platform::Placement::Replacement;
      break;
    case platform::PathKind::Directory:
    case platform::PathKind::Other:
      // Never replace a directory, device or pipe with a file.
      failNaming("Can't open file '", outputPath);
  }

  // The file appears under its name only once it is complete; every failure
  // below discards it, so nothing partial is left and a replaced file stays.
  const std::unique_ptr<platform::PendingFile> output = fileSystem_.createOutputFile(outputPath, placement, length);
  if (!output) failNaming("Can't open file '", outputPath);
  copyEntry(*output, offset, length, libraryName, outputPath);
  switch (output->commit()) {
    case platform::CommitStatus::Done:
      return true;
    case platform::CommitStatus::WriteFailed:
      failNaming("Error writing file '", outputPath);
    case platform::CommitStatus::NotPlaced:
      break;
  }
  failNaming("Can't open file '", outputPath);
}

void SLFArchive::copyEntry(platform::PendingFile& output, std::uint64_t offset, std::uint64_t length,
                           std::string_view libraryName, const std::string& outputPath) {
  platform::CopyStatus status = platform::CopyStatus::Complete;
  try {
    status = output.copyFrom(*input, offset, length);
  } catch (const std::bad_alloc&) {
    throw SLFError{"Out of memory"};
  }
  switch (status) {
    case platform::CopyStatus::Complete:
      return;
    case platform::CopyStatus::SourceEnded:
      failNaming("Unexpected end of file in '", libraryName);
    case platform::CopyStatus::SourceFailed:
      failNaming("Error reading file '", libraryName);
    case platform::CopyStatus::WriteFailed:
      break;
  }
  failNaming("Error writing file '", outputPath);
}

}  // namespace slf
