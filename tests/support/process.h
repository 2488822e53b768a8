// Runs the built tool as a child process for end-to-end tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace slftest {

enum class StreamMode {
  Separate,  // standard output and standard error captured apart
  Merged,    // both into one pipe, in the order the child wrote them
};

struct ProcessResult {
  int exitStatus = -1;       // -1 when the child did not exit normally
  int signal = 0;            // POSIX only: the signal that ended the child, or 0
  long maxResidentKiB = 0;   // POSIX only: the child's peak resident memory
  std::string out;           // standard output (both streams when Merged)
  std::string err;           // standard error (empty when Merged)
};

struct ProcessOptions {
  StreamMode streams = StreamMode::Separate;
  std::string standardInputFile;  // empty: the null device
  std::string standardOutputFile; // empty: a pipe, read into `out`; else created or truncated
  std::string workingDirectory;   // empty: the current one
  long long fileSizeLimit = -1;   // POSIX only: RLIMIT_FSIZE for the child (SIGXFSZ left at its default)
  // Variables set for the child only (name, value); the rest is inherited.
  std::vector<std::pair<std::string, std::string>> environment;
};

// Runs `program` with `arguments` (not including argv[0]); the child has no
// controlling terminal, so the tool's questions find no console.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// POSIX only: a child started in the background, for tests that act on it
// while it runs (send it a signal, look at its open files). Its output goes
// to pipes that are read when it is waited for, so it must write little.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const ProcessOptions& options = {});
  ~ChildProcess();  // kills and reaps a child not waited for
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int pid() const { return pid_; }
  bool running() const;
  ProcessResult wait();

 private:
  int pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
};

// The bytes a program of this system writes to standard output or standard
// error for `text`: the text itself on POSIX systems; on Windows every line
// feed goes out as a carriage return and a line feed, as the C runtime's
// text mode writes it.
std::string consoleText(const std::string& text);

}  // namespace slftest
