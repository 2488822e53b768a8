// The POSIX file system and terminal. Output paths arrive with backslashes
// as separators; every backslash is handed to the system as '/'. A drive
// prefix such as "C:" is passed on as it stands.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/buffered_copy.h"
#include "platform/platform.h"
#include "platform/stdio_console.h"

namespace platform {
namespace {

std::string toNativePath(const std::string& path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

bool writeAll(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, data, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixInputFile() override { ::close(fd_); }
  PosixInputFile(const PosixInputFile&) = delete;
  PosixInputFile& operator=(const PosixInputFile&) = delete;

  std::uint64_t size() const override { return size_; }

  bool seek(std::uint64_t offset) override {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
  }

  ReadStatus read(void* buffer, std::size_t count) override {
    auto* out = static_cast<char*>(buffer);
    while (count > 0) {
      const ssize_t got = ::read(fd_, out, count);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return ReadStatus::Error;
      if (got == 0) return ReadStatus::EndOfFile;
      out += got;
      count -= static_cast<std::size_t>(got);
    }
    return ReadStatus::Complete;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

class PosixPendingFile final : public PendingFile {
 public:
  PosixPendingFile(int fd, std::string temporaryPath, std::string finalPath)
      : fd_(fd), temporaryPath_(std::move(temporaryPath)), finalPath_(std::move(finalPath)) {}
  ~PosixPendingFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temporaryPath_.c_str());
  }
  PosixPendingFile(const PosixPendingFile&) = delete;
  PosixPendingFile& operator=(const PosixPendingFile&) = delete;

  bool write(const void* data, std::size_t count) override {
    return writeAll(fd_, static_cast<const char*>(data), count);
  }

  CopyStatus copyFrom(InputFile& source, std::uint64_t offset, std::uint64_t count) override {
    return copyThroughBuffer(source, offset, count, *this);
  }

  // A file created in place (temporary and final path the same) needs no rename.
  CommitStatus commit() override {
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) return CommitStatus::WriteFailed;
    if (temporaryPath_ != finalPath_ && ::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
      return CommitStatus::NotPlaced;
    }
    committed_ = true;
    return CommitStatus::Done;
  }

 private:
  int fd_;
  std::string temporaryPath_;
  std::string finalPath_;
  bool committed_ = false;
};

// A replaced file keeps its permission bits, as it would if it had been
// rewritten in place.
void keepModeOfReplacedFile(const std::string& finalPath, int fd) {
  struct stat existing {};
  if (::stat(finalPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    ::fchmod(fd, existing.st_mode & 0777);
  }
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> openForReading(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    const std::uint64_t size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    return std::make_unique<PosixInputFile>(fd, size);
  }

  PathKind status(const std::string& path) override {
    struct stat info {};
    if (::stat(toNativePath(path).c_str(), &info) != 0) return PathKind::Missing;
    if (S_ISDIR(info.st_mode)) return PathKind::Directory;
    if (S_ISREG(info.st_mode)) return PathKind::RegularFile;
    return PathKind::Other;
  }

  bool createDirectory(const std::string& path) override {
    return ::mkdir(toNativePath(path).c_str(), 0777) == 0;
  }

  std::unique_ptr<PendingFile> createOutputFile(const std::string& finalPath, Placement placement,
                                                std::uint64_t) override {
    std::string native = toNativePath(finalPath);
    if (placement == Placement::NewFile) {
      const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) return nullptr;
      std::string samePath = native;
      return std::make_unique<PosixPendingFile>(fd, std::move(samePath), std::move(native));
    }
    const std::size_t slash = native.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temporary = directory + ".arcdig-" + processId_ + "-" + std::to_string(++counter_) + ".tmp";
      const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        keepModeOfReplacedFile(native, fd);
        return std::make_unique<PosixPendingFile>(fd, std::move(temporary), std::move(native));
      }
      if (errno != EEXIST) return nullptr;
    }
    return nullptr;
  }

  bool rejectsComponent(std::string_view) const override { return false; }

  // Walking a folder: in its own block below.
  FileInfo inspect(const std::string& path) override;
  bool listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;

 private:
  const std::string processId_ = std::to_string(::getpid());
  unsigned long counter_ = 0;
};

// Puts the terminal into a raw mode for one read and restores the previous
// mode when it goes out of scope.
class RawModeGuard {
 public:
  explicit RawModeGuard(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = ::tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawModeGuard() {
    if (active_) ::tcsetattr(fd_, TCSANOW, &saved_);
  }
  RawModeGuard(const RawModeGuard&) = delete;
  RawModeGuard& operator=(const RawModeGuard&) = delete;
  bool active() const { return active_; }

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

// Reads one byte, waiting at most `timeoutMs` (negative: without limit).
int readByte(int fd, int timeoutMs) {
  pollfd request{fd, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&request, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return -1;
    unsigned char byte = 0;
    const ssize_t got = ::read(fd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    return got == 1 ? byte : -1;
  }
}

// The rest of an escape sequence sent by one key (cursor, function and
// editing keys, Alt combinations) arrives right behind its ESC; it is read
// and dropped so that it cannot answer a later question.
void discardEscapeSequence(int fd) {
  constexpr int kFollowMs = 50;
  const int introducer = readByte(fd, kFollowMs);
  if (introducer == '[') {  // CSI: parameters, then one final byte 0x40..0x7E
    for (int byte = readByte(fd, kFollowMs); byte >= 0; byte = readByte(fd, kFollowMs)) {
      if (byte >= 0x40 && byte <= 0x7E) break;
    }
  } else if (introducer == 'O') {  // SS3: one more byte
    readByte(fd, kFollowMs);
  }
}

class PosixConsole final : public StdioConsole {
 public:
  PosixConsole() : StdioConsole(::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1) {
    // A closed pipe or lost terminal must not end the run: the writes fail
    // quietly and extraction goes on.
    ::signal(SIGPIPE, SIG_IGN);
  }

  int readKey() override {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    int key = -1;
    {
      RawModeGuard raw(fd);
      if (raw.active()) {
        key = readByte(fd, -1);
        if (key == 27) discardEscapeSequence(fd);
      }
    }
    ::close(fd);
    return key;
  }
};

// --- Walking a folder (arcpack) ----------------------------------------------

FileInfo describe(const struct stat& status) {
  FileInfo info;
  info.kind = S_ISDIR(status.st_mode) ? PathKind::Directory
              : S_ISREG(status.st_mode) ? PathKind::RegularFile
                                        : PathKind::Other;
  info.size = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
  info.modified = fileTimeFromUnix(status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec));
  info.identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
  return info;
}

FileInfo PosixFileSystem::inspect(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? describe(status) : FileInfo{};
}

bool PosixFileSystem::listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  DIR* const directory = ::opendir(path.c_str());
  if (directory == nullptr) return false;
  const int directoryFd = ::dirfd(directory);
  for (;;) {
    errno = 0;
    const dirent* const item = ::readdir(directory);
    if (item == nullptr) break;
    const std::string_view name(item->d_name);
    if (name == "." || name == "..") continue;
    DirectoryEntry entry{std::string(name), {}};
    struct stat status {};
    if (::fstatat(directoryFd, item->d_name, &status, 0) == 0) entry.info = describe(status);
    entries.push_back(std::move(entry));
  }
  const bool complete = errno == 0;
  ::closedir(directory);
  return complete;
}

}  // namespace

void reserveHeap(std::size_t bytes) {
  constexpr std::size_t kBlock = 16u << 20;
  constexpr std::size_t kHugePage = 2u << 20;
  if (bytes < 4 * kHugePage) return;
  // Blocks of this size now come from the heap rather than from mmap, and the
  // heap is kept when they are freed, so the small allocations that follow
  // are carved from the range marked for huge pages here.
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * kBlock));
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::vector<void*> blocks;
  for (std::size_t reserved = 0; reserved < bytes; reserved += kBlock) blocks.push_back(std::malloc(kBlock));
  std::uintptr_t low = UINTPTR_MAX;
  std::uintptr_t high = 0;
  for (void* block : blocks) {
    if (block == nullptr) continue;
    const auto at = reinterpret_cast<std::uintptr_t>(block);
    low = std::min(low, at);
    high = std::max(high, at + kBlock);
  }
  low = (low + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  high &= ~std::uintptr_t{kHugePage - 1};
  if (high > low) ::madvise(reinterpret_cast<void*>(low), high - low, MADV_HUGEPAGE);
  for (void* block : blocks) std::free(block);
}

FileSystem& systemFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

Console& systemConsole() {
  static PosixConsole console;
  return console;
}

}  // namespace platform
