// The Windows file system and console, through the ANSI Win32 calls. Paths
// are handed to the system as they were built: backslashes and drive
// prefixes are what Windows expects. Output files are written to a named
// temporary beside the final path and moved into place when complete.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <limits>
#include <optional>
#include <string>

#include "platform/buffered_copy.h"
#include "platform/console_keys.h"
#include "platform/platform.h"
#include "platform/stdio_console.h"
#include "platform/windows_names.h"

namespace platform {
namespace {

static_assert(control_keys::kRightAlt == RIGHT_ALT_PRESSED);
static_assert(control_keys::kLeftAlt == LEFT_ALT_PRESSED);
static_assert(control_keys::kRightCtrl == RIGHT_CTRL_PRESSED);
static_assert(control_keys::kLeftCtrl == LEFT_CTRL_PRESSED);
static_assert(control_keys::kShift == SHIFT_PRESSED);
static_assert(control_keys::kEnhancedKey == ENHANCED_KEY);

// The largest block handed to one ReadFile or WriteFile call.
constexpr std::size_t kMaxTransfer = 1u << 30;

DWORD transferSize(std::size_t remaining) {
  return static_cast<DWORD>(remaining < kMaxTransfer ? remaining : kMaxTransfer);
}

// Owns a handle from CreateFileA and closes it when it goes away.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Gives the handle to a new owner without closing it.
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes the handle; false if closing failed.
  bool close() {
    if (!valid()) return true;
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

class WindowsInputFile final : public InputFile {
 public:
  WindowsInputFile(HANDLE handle, std::uint64_t size) : file_(handle), size_(size) {}

  std::uint64_t size() const override { return size_; }

  bool seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) return false;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file_.get(), distance, nullptr, FILE_BEGIN) != FALSE;
  }

  ReadStatus read(void* buffer, std::size_t count) override {
    auto* out = static_cast<char*>(buffer);
    bool deliveredAny = false;
    while (count > 0) {
      DWORD got = 0;
      if (::ReadFile(file_.get(), out, transferSize(count), &got, nullptr) == FALSE) {
        return deliveredAny ? ReadStatus::EndOfFile : ReadStatus::Error;
      }
      if (got == 0) return ReadStatus::EndOfFile;
      deliveredAny = true;
      out += got;
      count -= got;
    }
    return ReadStatus::Complete;
  }

 private:
  FileHandle file_;
  std::uint64_t size_;
};

class WindowsPendingFile final : public PendingFile {
 public:
  WindowsPendingFile(HANDLE handle, std::string temporaryPath, std::string finalPath, Placement placement)
      : file_(handle),
        temporaryPath_(std::move(temporaryPath)),
        finalPath_(std::move(finalPath)),
        placement_(placement) {}
  ~WindowsPendingFile() override {
    file_.close();
    if (!committed_) ::DeleteFileA(temporaryPath_.c_str());
  }
  WindowsPendingFile(const WindowsPendingFile&) = delete;
  WindowsPendingFile& operator=(const WindowsPendingFile&) = delete;

  bool write(const void* data, std::size_t count) override {
    const auto* in = static_cast<const char*>(data);
    while (count > 0) {
      DWORD written = 0;
      if (::WriteFile(file_.get(), in, transferSize(count), &written, nullptr) == FALSE || written == 0) {
        return false;
      }
      in += written;
      count -= written;
    }
    return true;
  }

  CopyStatus copyFrom(InputFile& source, std::uint64_t offset, std::uint64_t count) override {
    return copyThroughBuffer(source, offset, count, *this);
  }

  // The temporary takes the final name; a new file never replaces one that
  // appeared in the meantime.
  CommitStatus commit() override {
    if (!file_.close()) return CommitStatus::WriteFailed;
    const DWORD replace = placement_ == Placement::Replacement ? MOVEFILE_REPLACE_EXISTING : 0;
    if (::MoveFileExA(temporaryPath_.c_str(), finalPath_.c_str(), replace) == FALSE) return CommitStatus::NotPlaced;
    committed_ = true;
    return CommitStatus::Done;
  }

 private:
  FileHandle file_;
  std::string temporaryPath_;
  std::string finalPath_;
  Placement placement_;
  bool committed_ = false;
};

// The directory part of a path, with its trailing separator: up to the last
// backslash or slash, or the drive of a drive-relative name ("C:name").
std::string directoryOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return path.substr(0, separator + 1);
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

// Status of what a link points to (GetFileAttributesA describes the link).
PathKind statusBehindLink(const std::string& path) {
  FileHandle target(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!target.valid() || ::GetFileInformationByHandle(target.get(), &info) == FALSE) {
    return PathKind::Missing;
  }
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory
                                                                 : PathKind::RegularFile;
}

class WindowsFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> openForReading(const std::string& path) override {
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file.get()) == FILE_TYPE_DISK) {
      if (::GetFileInformationByHandle(file.get(), &info) == FALSE ||
          (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return nullptr;
      }
    }
    LARGE_INTEGER size;
    const std::uint64_t bytes =
        ::GetFileSizeEx(file.get(), &size) != FALSE ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return std::make_unique<WindowsInputFile>(file.release(), bytes);
  }

  PathKind status(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return statusBehindLink(path);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::Other;
    return PathKind::RegularFile;
  }

  bool createDirectory(const std::string& path) override {
    return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  }

  std::unique_ptr<PendingFile> createOutputFile(const std::string& finalPath, Placement placement,
                                                std::uint64_t) override {
    const std::string directory = directoryOf(finalPath);
    const std::string stem = directory + ".arcdig-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temporary = stem + std::to_string(++counter_) + ".tmp";
      const HANDLE handle = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        return std::make_unique<WindowsPendingFile>(handle, std::move(temporary), finalPath, placement);
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
  }

  bool rejectsComponent(std::string_view component) const override {
    return isWindowsHostileComponent(component);
  }

  // Walking a folder: in its own block below.
  FileInfo inspect(const std::string& path) override;
  bool listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) override;

 private:
  unsigned long counter_ = 0;
};

// The console's own keyboard input, switched to input mode 0 (no line
// input, no echo, Ctrl+C as a key) while the object lives; the previous mode
// comes back when it goes away.
class RawConsoleInput {
 public:
  RawConsoleInput()
      : input_(::CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (input_.valid() && ::GetConsoleMode(input_.get(), &savedMode_) != FALSE) {
      active_ = ::SetConsoleMode(input_.get(), 0) != FALSE;
    }
  }
  ~RawConsoleInput() {
    if (active_) ::SetConsoleMode(input_.get(), savedMode_);
  }
  RawConsoleInput(const RawConsoleInput&) = delete;
  RawConsoleInput& operator=(const RawConsoleInput&) = delete;

  bool active() const { return active_; }

  // The next input event, or nothing when the read fails.
  std::optional<ConsoleKeyEvent> nextEvent() {
    INPUT_RECORD record;
    DWORD count = 0;
    if (::ReadConsoleInputA(input_.get(), &record, 1, &count) == FALSE || count != 1) {
      return std::nullopt;
    }
    ConsoleKeyEvent event;
    if (record.EventType != KEY_EVENT) return event;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    event.kind = key.bKeyDown != FALSE ? ConsoleEventKind::KeyPress : ConsoleEventKind::KeyRelease;
    event.character = static_cast<unsigned char>(key.uChar.AsciiChar);
    event.virtualKey = key.wVirtualKeyCode;
    event.scanCode = key.wVirtualScanCode;
    event.controlKeyState = key.dwControlKeyState;
    return event;
  }

 private:
  FileHandle input_;
  DWORD savedMode_ = 0;
  bool active_ = false;
};

bool isConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(standardHandle), &mode) != FALSE;
}

class WindowsConsole final : public StdioConsole {
 public:
  // The Windows console shows code-page bytes and acts on no C1 control.
  WindowsConsole()
      : StdioConsole(isConsole(STD_OUTPUT_HANDLE), isConsole(STD_ERROR_HANDLE), TextDisplay::HideAsciiControls) {
    // Text mode, as every Windows console program writes: each "\n" leaves
    // as CR LF, so a listing redirected to a file reads right in Notepad.
    // Extracted files never pass through these streams.
    ::_setmode(::_fileno(stdout), _O_TEXT);
    ::_setmode(::_fileno(stderr), _O_TEXT);
  }

  int readKey() override {
    if (keys_.holdsCode()) return keys_.readKey(nullptr);
    RawConsoleInput input;
    if (!input.active()) return -1;
    return keys_.readKey([&input] { return input.nextEvent(); });
  }

 private:
  KeyCodeReader keys_;  // holds the second code of an extended key for the rest of the run
};

// --- Walking a folder (arcpack) ----------------------------------------------

// Opening the name follows links; FILE_FLAG_BACKUP_SEMANTICS lets a folder be
// opened, and no access right is asked for, so a file in use still answers.
FileInfo WindowsFileSystem::inspect(const std::string& path) {
  FileHandle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION details;
  if (!file.valid() || ::GetFileInformationByHandle(file.get(), &details) == FALSE) return FileInfo{};
  FileInfo info;
  if ((details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    info.kind = PathKind::Directory;
  } else if (::GetFileType(file.get()) == FILE_TYPE_DISK) {
    info.kind = PathKind::RegularFile;
    info.size = (std::uint64_t{details.nFileSizeHigh} << 32) | details.nFileSizeLow;
  } else {
    info.kind = PathKind::Other;
  }
  info.modified = (std::uint64_t{details.ftLastWriteTime.dwHighDateTime} << 32) | details.ftLastWriteTime.dwLowDateTime;
  info.identity = {details.dwVolumeSerialNumber, (std::uint64_t{details.nFileIndexHigh} << 32) | details.nFileIndexLow};
  return info;
}

bool WindowsFileSystem::listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  const bool endsInSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');
  const std::string prefix = endsInSeparator ? path : path + "\\";
  WIN32_FIND_DATAA found;
  const HANDLE search = ::FindFirstFileA((prefix + "*").c_str(), &found);
  // A folder without even "." and ".." (a drive's root) has nothing to list.
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string_view name(found.cFileName);
    if (name == "." || name == "..") continue;
    entries.push_back({std::string(name), inspect(prefix + found.cFileName)});
  } while (::FindNextFileA(search, &found) != FALSE);
  const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(search);
  return complete;
}

}  // namespace

// The Windows heap needs no preparation.
void reserveHeap(std::size_t) {}

FileSystem& systemFileSystem() {
  static WindowsFileSystem fileSystem;
  return fileSystem;
}

Console& systemConsole() {
  static WindowsConsole console;
  return console;
}

}  // namespace platform
