// The POSIX file system and terminal. Output paths arrive with backslashes
// as separators; every backslash is handed to the system as '/'. A drive
// prefix such as "C:" is passed on as it stands.
//
// Output files are written where nothing can see them half done: into an
// unnamed file in the target directory where the system offers one, else
// into a named temporary beside the final path (removed again on failure and
// on SIGINT, SIGTERM, SIGHUP or SIGQUIT). Only a complete file gets the final
// name. When the directory cannot take a new file at all, an existing file is
// rewritten in place instead, as it could be by any program.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <string>

#include "platform/buffered_copy.h"
#include "platform/platform.h"
#include "platform/posix_extras.h"
#include "platform/posix_interruptions.h"
#include "platform/stdio_console.h"
#include "platform/terminal_keys.h"

namespace platform {
namespace {

std::string toNativePath(const std::string& path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

// The directory part of a native path, for creating files beside it.
std::string directoryOf(const std::string& nativePath) {
  const std::size_t slash = nativePath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : nativePath.substr(0, slash);
}

PathKind kindOf(const struct stat& status) {
  if (S_ISDIR(status.st_mode)) return PathKind::Directory;
  if (S_ISREG(status.st_mode)) return PathKind::RegularFile;
  return PathKind::Other;
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

  int descriptor() const { return fd_; }
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

// Where the bytes of an output file wait until it is committed.
enum class Staging {
  Unnamed,         // an unnamed file in the target directory
  NamedTemporary,  // ".arcdig-<pid>-<n>.tmp" beside the final path
  InPlace,         // the existing file itself, rewritten from its start
};

// The largest piece handed to one in-kernel copy, so that a signal is
// noticed between pieces of a large member.
constexpr std::size_t kKernelCopyPiece = 64u << 20;

// A fresh name for a temporary beside the files of `directory`.
std::string nextTemporaryName(const std::string& directory) {
  static const std::string stem = ".arcdig-" + std::to_string(::getpid()) + "-";
  static unsigned long counter = 0;
  return directory + "/" + stem + std::to_string(++counter) + ".tmp";
}

bool isWriteFailure(int error) { return error == ENOSPC || error == EFBIG || error == EDQUOT; }

class PosixPendingFile final : public PendingFile {
 public:
  PosixPendingFile(int fd, Staging staging, Placement placement, std::string finalPath, std::string temporaryPath)
      : fd_(fd),
        staging_(staging),
        placement_(placement),
        finalPath_(std::move(finalPath)),
        temporaryPath_(std::move(temporaryPath)) {}

  ~PosixPendingFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (staging_ == Staging::NamedTemporary && !finished_) discardTemporary();
  }
  PosixPendingFile(const PosixPendingFile&) = delete;
  PosixPendingFile& operator=(const PosixPendingFile&) = delete;

  // Makes every write fail: space for an in-place rewrite could not be had,
  // and the old bytes must stay as they are.
  void refuseWrites() { writesRefused_ = true; }

  bool write(const void* data, std::size_t count) override {
    if (writesRefused_ || !writeAll(fd_, static_cast<const char*>(data), count)) return false;
    written_ += count;
    return true;
  }

  CopyStatus copyFrom(InputFile& source, std::uint64_t offset, std::uint64_t count) override {
    if (writesRefused_) return CopyStatus::WriteFailed;
    auto* posixSource = dynamic_cast<PosixInputFile*>(&source);
    if (posixSource != nullptr && sameOffsetWithinPage(offset) &&
        !copyInKernel(posixSource->descriptor(), offset, count)) {
      return CopyStatus::WriteFailed;
    }
    // The rest goes through a buffer: where the kernel cannot copy (or copies
    // slowly), and after an I/O error, which the buffered copy then pins on
    // the read or the write.
    return copyThroughBuffer(source, offset, count, *this);
  }

  CommitStatus commit() override {
    finished_ = true;
    switch (staging_) {
      case Staging::Unnamed:
        return commitUnnamed();
      case Staging::NamedTemporary:
        return commitNamedTemporary();
      case Staging::InPlace:
        break;
    }
    return commitInPlace();
  }

 private:
  // The kernel moves whole pages from file to file only where the source
  // offset and the output position lie at the same place within a page.
  // Elsewhere it copies every page in two pieces, which measured about 40%
  // slower than a read and a write through a buffer; members of an archive
  // rarely start on a page boundary.
  bool sameOffsetWithinPage(std::uint64_t offset) const {
    static const auto pageSize = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    return pageSize > 0 && (offset - written_) % pageSize == 0;
  }

  // Copies in the kernel for as long as it can, moving `offset` and `count`
  // past what it copied. False when the output cannot take more.
  bool copyInKernel(int sourceFd, std::uint64_t& offset, std::uint64_t& count) {
    bool first = true;
    while (count > 0) {
      const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kKernelCopyPiece));
      const long long got = posix_extras::copyInKernel(sourceFd, offset, fd_, piece);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && isWriteFailure(errno)) return false;
      // A failure (or nothing copied) on the first call: the kernel cannot
      // copy between these files; the end of the source or an I/O error
      // later: the buffered copy tells which. A short first call hands the
      // rest to the buffer too.
      if (got <= 0) return true;
      const auto copied = static_cast<std::uint64_t>(got);
      offset += copied;
      count -= copied;
      written_ += copied;
      if (first && copied < piece) return true;
      first = false;
    }
    return true;
  }

  CommitStatus closeFile() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? CommitStatus::Done : CommitStatus::WriteFailed;
  }

  CommitStatus commitUnnamed() {
    if (placement_ == Placement::NewFile) {
      if (!posix_extras::nameUnnamedFile(fd_, finalPath_.c_str())) return CommitStatus::NotPlaced;
      if (closeFile() == CommitStatus::Done) return CommitStatus::Done;
      ::unlink(finalPath_.c_str());
      return CommitStatus::WriteFailed;
    }
    // A name of its own first, then renamed over the old file; signals wait,
    // so that the name cannot outlive an interruption.
    const interruptions::DeferSignals deferred;
    const std::string directory = directoryOf(finalPath_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temporary = nextTemporaryName(directory);
      if (posix_extras::nameUnnamedFile(fd_, temporary.c_str())) {
        if (::rename(temporary.c_str(), finalPath_.c_str()) != 0) {
          ::unlink(temporary.c_str());
          return CommitStatus::NotPlaced;
        }
        return closeFile();
      }
      if (errno != EEXIST) return CommitStatus::NotPlaced;
    }
    return CommitStatus::NotPlaced;
  }

  CommitStatus commitNamedTemporary() {
    if (closeFile() != CommitStatus::Done) {
      discardTemporary();
      return CommitStatus::WriteFailed;
    }
    const interruptions::DeferSignals deferred;
    if (placement_ == Placement::NewFile) {
      // A link never replaces a file that appeared in the meantime; where
      // the file system has no links, a rename is the best there is.
      const bool linked = ::link(temporaryPath_.c_str(), finalPath_.c_str()) == 0;
      if (linked || errno == EEXIST) {
        discardTemporary();
        return linked ? CommitStatus::Done : CommitStatus::NotPlaced;
      }
    }
    if (::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
      discardTemporary();
      return CommitStatus::NotPlaced;
    }
    interruptions::clearTemporary();
    return CommitStatus::Done;
  }

  // The old file is overwritten from its start; what lies beyond the new
  // length is cut off last.
  CommitStatus commitInPlace() {
    if (writesRefused_) return CommitStatus::WriteFailed;
    const bool cut = ::ftruncate(fd_, static_cast<off_t>(written_)) == 0;
    const CommitStatus closed = closeFile();
    return cut ? closed : CommitStatus::WriteFailed;
  }

  void discardTemporary() {
    const interruptions::DeferSignals deferred;
    ::unlink(temporaryPath_.c_str());
    interruptions::clearTemporary();
  }

  int fd_;
  Staging staging_;
  Placement placement_;
  std::string finalPath_;
  std::string temporaryPath_;  // NamedTemporary only
  std::uint64_t written_ = 0;
  bool writesRefused_ = false;
  bool finished_ = false;
};

mode_t currentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The permission bits a replacement takes over: never set-user-ID,
// set-group-ID or sticky, since the new file belongs to whoever runs us.
mode_t permissionsOf(const std::string& nativePath) {
  struct stat existing {};
  if (::stat(nativePath.c_str(), &existing) != 0) return 0666 & ~currentUmask();
  return existing.st_mode & 0777;
}

bool directoryRefusesNewFiles(int error) { return error == EACCES || error == EPERM; }

bool systemLacksUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

// Unnamed files can always be named where /proc shows the descriptors.
bool unnamedFilesCanBeNamed() {
  static const bool available = ::access("/proc/self/fd", X_OK) == 0;
  return available;
}

// A file that fits under the process's file-size limit.
bool fitsSizeLimit(std::uint64_t size) {
  rlimit limit{};
  return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || size <= limit.rlim_cur;
}

class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() { interruptions::install(); }

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
    return ::stat(toNativePath(path).c_str(), &info) == 0 ? kindOf(info) : PathKind::Missing;
  }

  bool createDirectory(const std::string& path) override {
    return ::mkdir(toNativePath(path).c_str(), 0777) == 0;
  }

  std::unique_ptr<PendingFile> createOutputFile(const std::string& finalPath, Placement placement,
                                                std::uint64_t size) override {
    std::string native = toNativePath(finalPath);
    const std::string directory = directoryOf(native);
    const mode_t keptMode = placement == Placement::Replacement ? permissionsOf(native) : 0;

    if (unnamedFilesCanBeNamed()) {
      const int fd = posix_extras::openUnnamedFile(directory.c_str());
      if (fd >= 0) {
        if (placement == Placement::Replacement) ::fchmod(fd, keptMode);
        return std::make_unique<PosixPendingFile>(fd, Staging::Unnamed, placement, std::move(native), "");
      }
      if (!systemLacksUnnamedFiles(errno)) return fallBackInPlace(errno, placement, std::move(native), size);
    }

    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temporary = nextTemporaryName(directory);
      const interruptions::DeferSignals deferred;
      const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return fallBackInPlace(errno, placement, std::move(native), size);
      if (!interruptions::registerTemporary(temporary)) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return nullptr;
      }
      if (placement == Placement::Replacement) ::fchmod(fd, keptMode);
      return std::make_unique<PosixPendingFile>(fd, Staging::NamedTemporary, placement, std::move(native),
                                                std::move(temporary));
    }
    return nullptr;
  }

  bool rejectsComponent(std::string_view) const override { return false; }

  // Walking a folder: in its own block below.
  FileInfo inspect(const std::string& path) override;
  bool listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;

 private:
  // A directory that takes no new file may still hold a file that can be
  // written: it is rewritten in place, once space for the new bytes is
  // reserved, so that a full disk shows before any old byte is lost.
  static std::unique_ptr<PendingFile> fallBackInPlace(int error, Placement placement, std::string native,
                                                      std::uint64_t size) {
    if (placement != Placement::Replacement || !directoryRefusesNewFiles(error)) return nullptr;
    const int fd = ::open(native.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    auto file = std::make_unique<PosixPendingFile>(fd, Staging::InPlace, placement, std::move(native), "");
    if (!fitsSizeLimit(size) || isWriteFailure(posix_extras::reserveSpace(fd, size))) file->refuseWrites();
    return file;
  }
};

// Puts the terminal into its key-reading mode for one read and restores the
// previous mode when it goes out of scope, or from the signal handler if the
// process is ended first. Signals stay on, so the quit key (Ctrl+\) ends the
// run; only the interrupt and suspend keys are turned off, so that Ctrl+C and
// Ctrl+Z arrive as keys and answer "no".
class KeyReadingMode {
 public:
  explicit KeyReadingMode(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios keys = saved_;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    keys.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    keys.c_cc[VINTR] = _POSIX_VDISABLE;
    keys.c_cc[VSUSP] = _POSIX_VDISABLE;
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    interruptions::registerTerminal(fd_, saved_);
    active_ = ::tcsetattr(fd_, TCSANOW, &keys) == 0;
    if (!active_) interruptions::clearTerminal();
  }
  ~KeyReadingMode() {
    if (!active_) return;
    ::tcsetattr(fd_, TCSANOW, &saved_);
    interruptions::clearTerminal();
  }
  KeyReadingMode(const KeyReadingMode&) = delete;
  KeyReadingMode& operator=(const KeyReadingMode&) = delete;
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

class PosixConsole final : public StdioConsole {
 public:
  PosixConsole()
      : StdioConsole(::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1, TextDisplay::HideAllControls) {
    // A closed pipe or lost terminal must not end the run: the writes fail
    // quietly and extraction goes on.
    ::signal(SIGPIPE, SIG_IGN);
    // The terminal's character set, for telling one key and one control
    // character from another; nothing else depends on the locale.
    std::setlocale(LC_CTYPE, "");
    interruptions::install();
  }

  int readKey() override {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    int key = -1;
    {
      const KeyReadingMode mode(fd);
      if (mode.active()) key = readTerminalKey([fd](int timeoutMs) { return readByte(fd, timeoutMs); });
    }
    ::close(fd);
    return key;
  }
};

// --- Walking a folder (arcpack) ----------------------------------------------

FileInfo describe(const struct stat& status) {
  FileInfo info;
  info.kind = kindOf(status);
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

FileSystem& systemFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

Console& systemConsole() {
  static PosixConsole console;
  return console;
}

}  // namespace platform
