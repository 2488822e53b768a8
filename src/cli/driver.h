// The command-line front end: reading the argument vector, the usage text,
// the listing loop and the extraction step with its overwrite question.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "slf/archive.h"

namespace cli {

enum class RunMode { Extract, List };
enum class AskMode { Ask, Never };

// What the command line asks for. `archivePath`, `patterns` refer to the
// argument texts themselves.
struct CommandLine {
  enum class Outcome { Run, Usage, Error };
  Outcome outcome = Outcome::Run;
  std::string error;  // the message when outcome is Error
  slf::SLFFlags flags = 0;
  RunMode mode = RunMode::Extract;
  AskMode ask = AskMode::Ask;
  const char* archivePath = nullptr;
  std::vector<const char*> patterns;
  std::string outputDirectory;
};

CommandLine parseCommandLine(int argc, const char* const* argv);

void printUsage(platform::Console& console);

// Reports a command-line error with its hint line; returns the exit status 1
// with which the caller ends the run.
int errorExit(platform::Console& console, std::string_view message);

// The whole run: returns the process exit status.
int run(int argc, const char* const* argv, platform::Console& console,
        platform::FileSystem& fileSystem);

// The answer to the overwrite question for one key code: only its low 8 bits
// count; y/Y is yes, n/N is no, anything else (including -1) the default.
bool decideAnswer(int keyCode, bool defaultAnswer);

// Reads one key, writes "yes" or "no" (no line end, no flush), returns it.
bool askYesNo(platform::Console& console, bool defaultAnswer);

// Extracts one matched entry, reporting an existing output file and, in ask
// mode, asking whether to replace it. Lets slf::SLFError pass.
void extractEntry(slf::SLFArchive& archive, const slf::SLFEntry& entry, slf::SLFFlags& runFlags,
                  AskMode ask, platform::Console& console);

// A stored text as it may be shown on a stream that displays text as
// `display` says: unchanged for a file or pipe; on a terminal, each control
// character becomes '?' (C1 ones too where the terminal may act on them,
// judged in the locale's character set).
std::string terminalSafe(std::string_view text, platform::TextDisplay display);

}  // namespace cli
