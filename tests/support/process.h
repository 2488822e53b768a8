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
  int exitStatus = -1;  // -1 when the child did not exit normally
  std::string out;      // standard output (both streams when Merged)
  std::string err;      // standard error (empty when Merged)
};

struct ProcessOptions {
  StreamMode streams = StreamMode::Separate;
  std::string standardInputFile;  // empty: the null device
  std::string workingDirectory;   // empty: the current one
  long long fileSizeLimit = -1;   // POSIX only: RLIMIT_FSIZE for the child, SIGXFSZ ignored
  // Variables set for the child only (name, value); the rest is inherited.
  std::vector<std::pair<std::string, std::string>> environment;
};

// Runs `program` with `arguments` (not including argv[0]); the child has no
// controlling terminal, so the tool's questions find no console.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

}  // namespace slftest
