// arcpack's command line: GNU-style options, the usage text, and the one
// place where its errors are reported.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pack/pack.h"
#include "platform/platform.h"

namespace pack {

struct CommandLine {
  enum class Action { Pack, Check, Help, Version, Error };
  Action action = Action::Pack;
  std::string error;  // the message when action is Error
  std::optional<std::string> libraryName;
  std::optional<std::string> basePath;
  ExistingArchive existing = ExistingArchive::Refuse;
  Progress progress = Progress::Quiet;
  std::string checkPath;
  std::vector<std::string> operands;  // ARCHIVE FOLDER
};

// Options and operands may come in any order until "--"; short options may
// be grouped (-fv), and a value may follow its option as the next argument or
// joined to it (-nNAME, --library-name=NAME). --help and --version end the
// reading where they stand.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The library name stored by default: ARCHIVE without its folders.
std::string defaultLibraryName(const std::string& archivePath);

// The base path as stored: '/' becomes '\', and a backslash is added to a
// path that does not end in one.
std::string normaliseBasePath(std::string basePath);

// The time that SOURCE_DATE_EPOCH (seconds since 1970 as a decimal number)
// stands for, in FILETIME units; nothing when it is unset or empty. Throws
// SLFError when it is anything else.
std::optional<std::uint64_t> parseSourceDateEpoch(const char* value);

// The whole run: returns the process exit status. `sourceDateEpoch` is the
// value of that environment variable, or nullptr.
int run(int argc, const char* const* argv, const char* sourceDateEpoch, platform::Console& console,
        platform::FileSystem& fileSystem);

}  // namespace pack
