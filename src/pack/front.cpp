#include "pack/front.h"

#include <cstring>
#include <string_view>

#include "cli/driver.h"

#ifndef ARCDIG_VERSION
#error "ARCDIG_VERSION must be defined by the build"
#endif

namespace pack {
namespace {

constexpr std::string_view kUsage =
    "Usage: arcpack [OPTION]... ARCHIVE FOLDER\n"
    "  or:  arcpack --check ARCHIVE\n"
    "Pack every file below FOLDER into the SLF archive ARCHIVE, in the order in\n"
    "which the game looks names up; or check ARCHIVE for what would make the game\n"
    "miss or misread a file.\n"
    "\n"
    "  -n, --library-name=NAME  library name stored in the archive\n"
    "                           (default: ARCHIVE's file name)\n"
    "  -b, --base-path=PATH     base path stored in the archive (default: none)\n"
    "  -f, --force              replace an existing ARCHIVE\n"
    "  -v, --verbose            print each stored name as it is added\n"
    "      --check=ARCHIVE      report every problem found in ARCHIVE\n"
    "  -h, --help               print this help and exit\n"
    "      --version            print the version and exit\n"
    "\n"
    "When SOURCE_DATE_EPOCH is set (seconds since 1970), it replaces every file's\n"
    "modification time, so the same folder always gives the same archive.\n"
    "Exit status: 0 on success (with --check: no problem found), 1 otherwise.\n";

constexpr std::string_view kHint = "Try 'arcpack --help' for more information.\n";

enum class OptionId { LibraryName, BasePath, Force, Verbose, Check, Help, Version };
enum class Value { None, Required };

struct KnownOption {
  char shortName;  // '\0' when there is none
  std::string_view longName;
  Value value;
  OptionId id;
};

constexpr KnownOption kOptions[] = {
    {'n', "library-name", Value::Required, OptionId::LibraryName},
    {'b', "base-path", Value::Required, OptionId::BasePath},
    {'f', "force", Value::None, OptionId::Force},
    {'v', "verbose", Value::None, OptionId::Verbose},
    {'\0', "check", Value::Required, OptionId::Check},
    {'h', "help", Value::None, OptionId::Help},
    {'\0', "version", Value::None, OptionId::Version},
};

const KnownOption* findShort(char name) {
  for (const KnownOption& option : kOptions) {
    if (option.shortName != '\0' && option.shortName == name) return &option;
  }
  return nullptr;
}

const KnownOption* findLong(std::string_view name) {
  for (const KnownOption& option : kOptions) {
    if (option.longName == name) return &option;
  }
  return nullptr;
}

class Parser {
 public:
  Parser(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

  CommandLine parse() {
    bool optionsEnded = false;
    for (next_ = 1; next_ < argc_ && !finished(); ++next_) {
      const std::string_view argument(argv_[next_]);
      if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
        result_.operands.emplace_back(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (argument[1] == '-') {
        parseLong(argument.substr(2));
      } else {
        parseShortGroup(argument.substr(1));
      }
    }
    if (!finished()) checkOperands();
    return std::move(result_);
  }

 private:
  bool finished() const { return result_.action != CommandLine::Action::Pack; }

  void failWith(std::string message) {
    result_.action = CommandLine::Action::Error;
    result_.error = std::move(message);
  }

  void parseLong(std::string_view text) {
    const std::size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    const KnownOption* option = findLong(name);
    if (option == nullptr) return failWith("unrecognized option '--" + std::string(text) + "'");
    if (option->value == Value::None) {
      if (equals == std::string_view::npos) return apply(*option, std::string());
      return failWith("option '--" + std::string(name) + "' doesn't allow an argument");
    }
    if (equals != std::string_view::npos) return apply(*option, std::string(text.substr(equals + 1)));
    if (next_ + 1 >= argc_) return failWith("option '--" + std::string(name) + "' requires an argument");
    apply(*option, argv_[++next_]);
  }

  void parseShortGroup(std::string_view group) {
    for (std::size_t i = 0; i < group.size() && !finished(); ++i) {
      const KnownOption* option = findShort(group[i]);
      if (option == nullptr) return failWith(std::string("invalid option -- '") + group[i] + "'");
      if (option->value == Value::None) {
        apply(*option, std::string());
        continue;
      }
      if (i + 1 < group.size()) return apply(*option, std::string(group.substr(i + 1)));
      if (next_ + 1 >= argc_) return failWith(std::string("option requires an argument -- '") + group[i] + "'");
      return apply(*option, argv_[++next_]);
    }
  }

  void apply(const KnownOption& option, std::string value) {
    switch (option.id) {
      case OptionId::LibraryName:
        result_.libraryName = std::move(value);
        break;
      case OptionId::BasePath:
        result_.basePath = std::move(value);
        break;
      case OptionId::Force:
        result_.existing = ExistingArchive::Replace;
        break;
      case OptionId::Verbose:
        result_.progress = Progress::ListNames;
        break;
      case OptionId::Check:
        result_.checkPath = std::move(value);
        checking_ = true;
        break;
      case OptionId::Help:
        result_.action = CommandLine::Action::Help;
        break;
      case OptionId::Version:
        result_.action = CommandLine::Action::Version;
        break;
    }
  }

  void checkOperands() {
    const std::vector<std::string>& operands = result_.operands;
    const std::size_t expected = checking_ ? 0 : 2;
    if (operands.size() > expected) return failWith("extra operand '" + operands[expected] + "'");
    if (checking_) {
      result_.action = CommandLine::Action::Check;
    } else if (operands.empty()) {
      failWith("missing ARCHIVE and FOLDER");
    } else if (operands.size() == 1) {
      failWith("missing FOLDER after '" + operands[0] + "'");
    }
  }

  int argc_;
  const char* const* argv_;
  int next_ = 1;
  bool checking_ = false;
  CommandLine result_;
};

void reportError(platform::Console& console, std::string_view message) {
  std::string report("arcpack: ");
  report += cli::terminalSafe(message, console.errDisplay());
  report += '\n';
  console.writeErr(report);
}

int reportCommandLineError(platform::Console& console, const std::string& message) {
  reportError(console, message);
  console.writeErr(kHint);
  return 1;
}

std::string counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + (count == 1 ? one : many);
}

// The last line of a check: "12 entries, no problems found".
std::string summary(std::size_t entries, std::size_t problems) {
  const std::string counts = counted(entries, " entry, ", " entries, ");
  if (problems == 0) return counts + "no problems found\n";
  return counts + counted(problems, " problem found\n", " problems found\n");
}

int checkOne(const std::string& archivePath, platform::Console& console, platform::FileSystem& fileSystem) {
  const slf::SLFArchive archive(archivePath.c_str(), 0, std::string(), fileSystem);
  const std::vector<Finding> findings = checkArchive(archive, fileSystem);
  const platform::TextDisplay display = console.outDisplay();
  std::string line;
  for (const Finding& finding : findings) {
    line.assign(finding.entryName ? "'" + *finding.entryName + "'" : std::string("header"));
    line += ": ";
    line += finding.problem;
    console.writeOut(cli::terminalSafe(line, display) + "\n");
  }
  console.writeOut(summary(archive.entries.size(), findings.size()));
  return findings.empty() ? 0 : 1;
}

PackRequest makeRequest(const CommandLine& commandLine, const char* sourceDateEpoch) {
  PackRequest request;
  request.archivePath = commandLine.operands[0];
  request.folder = commandLine.operands[1];
  request.libraryName = commandLine.libraryName ? *commandLine.libraryName : defaultLibraryName(request.archivePath);
  request.basePath = normaliseBasePath(commandLine.basePath.value_or(std::string()));
  request.existing = commandLine.existing;
  request.progress = commandLine.progress;
  request.fixedTime = parseSourceDateEpoch(sourceDateEpoch);
  constexpr std::size_t kMaxText = slf::kTextFieldSize - 1;
  if (request.libraryName.size() > kMaxText) {
    throw slf::SLFError{"Library name longer than 255 bytes '" + request.libraryName + "'"};
  }
  if (request.basePath.size() > kMaxText) {
    throw slf::SLFError{"Base path longer than 255 bytes '" + request.basePath + "'"};
  }
  return request;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) { return Parser(argc, argv).parse(); }

std::string defaultLibraryName(const std::string& archivePath) {
  const std::size_t separator = archivePath.find_last_of("\\/");
  std::string name = separator == std::string::npos ? archivePath : archivePath.substr(separator + 1);
  if (separator == std::string::npos && name.size() >= 2 && name[1] == ':') name.erase(0, 2);
  return name;
}

std::string normaliseBasePath(std::string basePath) {
  for (char& c : basePath) {
    if (c == '/') c = '\\';
  }
  if (!basePath.empty() && basePath.back() != '\\') basePath += '\\';
  return basePath;
}

std::optional<std::uint64_t> parseSourceDateEpoch(const char* value) {
  if (value == nullptr || *value == '\0') return std::nullopt;
  // Beyond this many seconds a FILETIME no longer fits in 64 bits.
  constexpr std::uint64_t kLatest = UINT64_MAX / 10000000u - platform::kUnixEpochInFileTimeSeconds;
  std::uint64_t seconds = 0;
  for (const char* at = value; *at != '\0'; ++at) {
    if (*at < '0' || *at > '9' || seconds > (kLatest - static_cast<unsigned>(*at - '0')) / 10) {
      throw slf::SLFError{std::string("Invalid SOURCE_DATE_EPOCH '") + value + "'"};
    }
    seconds = seconds * 10 + static_cast<unsigned>(*at - '0');
  }
  return platform::fileTimeFromUnix(static_cast<std::int64_t>(seconds), 0);
}

int run(int argc, const char* const* argv, const char* sourceDateEpoch, platform::Console& console,
        platform::FileSystem& fileSystem) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  try {
    switch (commandLine.action) {
      case CommandLine::Action::Help:
        console.writeOut(kUsage);
        return 0;
      case CommandLine::Action::Version:
        console.writeOut("arcpack " ARCDIG_VERSION "\n");
        return 0;
      case CommandLine::Action::Error:
        return reportCommandLineError(console, commandLine.error);
      case CommandLine::Action::Check:
        return checkOne(commandLine.checkPath, console, fileSystem);
      case CommandLine::Action::Pack:
        packFolder(makeRequest(commandLine, sourceDateEpoch), fileSystem, console);
        return 0;
    }
  } catch (const slf::SLFError& error) {
    reportError(console, error.message);
  }
  return 1;
}

}  // namespace pack
