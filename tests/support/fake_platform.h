// In-memory stand-ins for the platform layer. The fake file system records
// every status query, directory creation and output-file step in order, and
// can be told to fail any one of them; the fake console records what was
// written to each stream and answers questions from a list of key codes.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace slftest {

class FakeFileSystem final : public platform::FileSystem {
 public:
  struct Node {
    platform::PathKind kind = platform::PathKind::RegularFile;
    std::string contents;
    std::uint64_t modified = 0;  // FILETIME units, as inspect reports it
    std::uint64_t id = 0;        // the identity's file number, fresh for every node added
  };

  // Paths are compared with '/' and '\' alike and without trailing separators.
  void addFile(const std::string& path, std::string contents);
  void addDirectory(const std::string& path);
  void addOther(const std::string& path);  // a device or pipe
  bool exists(const std::string& path) const;
  std::string contents(const std::string& path) const;
  // Every path that exists, as stored (normalised).
  std::vector<std::string> paths() const;
  // A symbolic link: `path` and every path below it lead to `target` (a path
  // as given to the other calls). Followed by every call that takes a path.
  void addLink(const std::string& path, const std::string& target);
  void setModified(const std::string& path, std::uint64_t modified);

  // Faults to inject.
  std::set<std::string> failCreateDirectory;  // paths whose creation fails
  bool failOpenForReading = false;
  bool failRead = false;  // reads of member data or directory fail with an I/O error
  bool failCreateFile = false;
  bool failWrite = false;
  bool failClose = false;   // commit finds a deferred write error
  bool failCommit = false;  // commit cannot give the file its name
  std::set<std::string> failList;  // folders (as given) whose listing fails
  bool listInReverse = false;      // listDirectory gives names in descending order
  // Files whose contents change to these when they are opened for reading.
  std::map<std::string, std::string> contentsWhenOpened;

  // What happened, one line per call: "status P", "mkdir P", "create P"
  // (a new file), "replace P" (a replacement), "write P N", "copy P N" (bytes
  // copied from the archive), "commit P", "discard P" (dropped uncommitted),
  // "list P" (a folder listed).
  std::vector<std::string> log;
  // Only the "status"/"mkdir" lines, for asserting the directory walk.
  std::vector<std::string> walkLog() const;

  std::unique_ptr<platform::InputFile> openForReading(const std::string& path) override;
  platform::PathKind status(const std::string& path) override;
  bool createDirectory(const std::string& path) override;
  std::unique_ptr<platform::PendingFile> createOutputFile(const std::string& finalPath, platform::Placement placement,
                                                          std::uint64_t size) override;
  bool rejectsComponent(std::string_view component) const override;
  platform::FileInfo inspect(const std::string& path) override;
  bool listDirectory(const std::string& path, std::vector<platform::DirectoryEntry>& entries) override;

  // Components this fake refuses, to exercise the extractor's use of the rule.
  std::set<std::string> rejectedComponents;

  static std::string normalise(const std::string& path);

 private:
  friend class FakePendingFile;
  // The node key a path leads to once every link on it is followed; empty
  // when the links run in a circle.
  std::string resolve(const std::string& path) const;
  void store(const std::string& path, Node node);

  std::map<std::string, Node> nodes_;
  std::map<std::string, std::string> links_;  // normalised path -> target as given
  std::uint64_t nextId_ = 1;
};

class FakeConsole final : public platform::Console {
 public:
  std::string out;       // everything written to standard output
  std::string err;       // everything written to standard error
  std::string combined;  // both, in the order written
  std::size_t flushedOut = 0;       // bytes of `out` flushed so far
  std::vector<std::size_t> visibleAtKeyRead;  // flushedOut when each key was read
  std::deque<int> keys;  // answers for readKey; -1 once they run out
  platform::TextDisplay display = platform::TextDisplay::Verbatim;  // of both streams

  void writeOut(std::string_view text) override;
  void flushOut() override;
  void writeErr(std::string_view text) override;
  platform::TextDisplay outDisplay() const override { return display; }
  platform::TextDisplay errDisplay() const override { return display; }
  int readKey() override;
};

}  // namespace slftest
