// The operating system as arcdig sees it: one small interface for the
// console and for the file operations the archive reader and the extractor
// need. A POSIX and a Windows implementation are chosen by the build; tests
// substitute fakes.
//
// Paths handed to the output operations (status, createDirectory,
// createOutputFile) are built by the extractor with backslashes as
// separators and may carry a drive prefix; each implementation maps them to
// its own file system. The archive path given to openForReading is the path
// exactly as the user typed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class PathKind { Missing, Directory, RegularFile, Other };

enum class ReadStatus {
  Complete,   // all requested bytes were delivered
  EndOfFile,  // fewer bytes than requested: the file ended (or the device gave up)
  Error,      // the read failed without delivering a short count
};

// An archive file opened for binary reading.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Size of the file in bytes, as found when it was opened.
  virtual std::uint64_t size() const = 0;
  // Sets the position to `offset` bytes from the start; false if that fails.
  virtual bool seek(std::uint64_t offset) = 0;
  // Reads exactly `count` bytes into `buffer`, in as few requests as the
  // system allows.
  virtual ReadStatus read(void* buffer, std::size_t count) = 0;
};

// How a copy into an output file ended.
enum class CopyStatus {
  Complete,      // every byte was copied
  SourceEnded,   // the source holds fewer bytes than asked for (or cannot be positioned there)
  SourceFailed,  // reading the source failed
  WriteFailed,   // writing the output failed: a full disk, a file-size limit, an I/O error
};

// How making an output file final ended.
enum class CommitStatus {
  Done,         // the complete file is now under its final name
  WriteFailed,  // a write error showed only when the file was flushed or closed
  NotPlaced,    // the file could not be given its final name (for a new file: a
                // file of that name appeared in the meantime)
};

// An output file being written. It appears under its final name only when
// it is complete and committed; destroying an uncommitted PendingFile leaves
// nothing of it behind: no partial file under the final name and no
// temporary beside it. (The one exception is the in-place fallback of
// FileSystem::createOutputFile, which rewrites the old file itself.)
class PendingFile {
 public:
  virtual ~PendingFile() = default;
  // Appends all `count` bytes; false on a failed or short write.
  virtual bool write(const void* data, std::size_t count) = 0;
  // Appends `count` bytes of `source`, starting `offset` bytes from its start,
  // in pieces of bounded size, so that memory does not grow with `count`.
  virtual CopyStatus copyFrom(InputFile& source, std::uint64_t offset, std::uint64_t count) = 0;
  // Flushes and closes the file and gives it its final name. Whatever the
  // outcome, the object is finished afterwards; on failure nothing of the
  // file remains.
  virtual CommitStatus commit() = 0;
};

// What an output file is meant to do at its final path.
enum class Placement {
  NewFile,      // nothing is there: the file is created, and never replaces anything
  Replacement,  // a regular file is there and is replaced
};

// --- Walking a folder (arcpack) ----------------------------------------------

// Which file a name leads to, the same for every name and link that leads
// there: device and inode number on POSIX, volume serial number and file
// index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity& other) const { return volume == other.volume && file == other.file; }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// What a name leads to, symbolic links followed. Kind Missing when nothing
// can be found there (also behind a dangling link); then nothing else is set.
struct FileInfo {
  PathKind kind = PathKind::Missing;
  std::uint64_t size = 0;      // bytes, for a regular file
  std::uint64_t modified = 0;  // last modification: 100 ns intervals since 1601-01-01 UTC
  FileIdentity identity;
};

// One name inside a folder.
struct DirectoryEntry {
  std::string name;  // one component, bytes as the file system gives them
  FileInfo info;
};

// A time in seconds and nanoseconds since 1970-01-01 UTC in the units of
// FileInfo::modified; times before 1601 become 0.
constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr std::uint64_t fileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
  return seconds < -kUnixEpochInFileTimeSeconds
             ? 0
             : static_cast<std::uint64_t>(seconds + kUnixEpochInFileTimeSeconds) * 10000000u + nanoseconds / 100u;
}

// -----------------------------------------------------------------------------

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing file for binary reading; nullptr when it cannot be
  // opened or names a directory.
  virtual std::unique_ptr<InputFile> openForReading(const std::string& path) = 0;

  // What is at `path` (following links).
  virtual PathKind status(const std::string& path) = 0;

  // Creates the last component of `path`; its parent must exist. False when
  // it cannot be created, also when anything already exists there.
  virtual bool createDirectory(const std::string& path) = 0;

  // Starts an output file that will appear at `finalPath` when committed,
  // holding `size` bytes (a hint: space may be reserved for them). A
  // Replacement keeps the permission bits (0777) of the file it replaces,
  // never its set-user-ID, set-group-ID or sticky bits; the new file belongs
  // to whoever runs the program. nullptr when it cannot be created.
  virtual std::unique_ptr<PendingFile> createOutputFile(const std::string& finalPath, Placement placement,
                                                        std::uint64_t size) = 0;

  // True for a path component that this system must never be asked to
  // create or write (for instance a device name); the extractor refuses
  // names holding one. The separators and `..` rules are the extractor's own.
  virtual bool rejectsComponent(std::string_view component) const = 0;

  // Walking a folder. Paths are taken as given, like openForReading's (a
  // program joins names to them with '/', which every system accepts).
  // What is at `path`, links followed.
  virtual FileInfo inspect(const std::string& path) = 0;
  // Replaces `entries` with the names in the folder at `path`, without "."
  // and "..", in the order the system lists them, each described as inspect
  // describes it. False when the folder cannot be opened or read.
  virtual bool listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) = 0;
};

// How text from an archive must be shown on an output stream so that it
// cannot drive a terminal: a hostile stored name must not act as a control
// sequence.
enum class TextDisplay {
  Verbatim,           // a file or pipe: every byte as it is
  HideAsciiControls,  // a console that acts on C0 controls and DEL only: those become '?'
  HideAllControls,    // a terminal that may act on C1 controls too: C0, DEL and C1
                      // (U+0080..U+009F in the locale's character set) become '?'
};

class Console {
 public:
  virtual ~Console() = default;
  // Standard output. Unbuffered on an interactive console, block-buffered
  // on a file or pipe.
  virtual void writeOut(std::string_view text) = 0;
  virtual void flushOut() = 0;
  // Standard error: flushes standard output first and standard error after,
  // so both streams keep the order in which they were written.
  virtual void writeErr(std::string_view text) = 0;
  virtual TextDisplay outDisplay() const = 0;
  virtual TextDisplay errDisplay() const = 0;
  // One key press from the console itself (not standard input), without echo
  // and without waiting for Enter: a code 0..255, or -1 when there is no
  // console or it cannot be read.
  virtual int readKey() = 0;
};

// A hint that about `bytes` of small allocations follow (the directory and
// its match lists): the heap is grown once and, where the C library and the
// system offer it, backed by large pages, which saves a page fault per 4 KiB.
// Does nothing elsewhere.
void reserveHeap(std::size_t bytes);

// The implementations for the system the program was built for.
FileSystem& systemFileSystem();
Console& systemConsole();

}  // namespace platform
