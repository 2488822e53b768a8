#include "cli/driver.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <list>

namespace cli {
namespace {

constexpr std::string_view kUsage =
    "arcdig 1.11 of November 10 2001, by the arcdig authors\n"
    "Extracts files from JA2 SLF archives\n"
    "Bug reports to arcdig@example.org; see readme.txt for details.\n\n"
    "Usage: arcdig [-lnoj] file.slf file ... [-d exdir]\n\n"
    "  -l        list files (do not extract)\n"
    "  -n        never overwrite existing files\n"
    "  -o        overwrite files WITHOUT prompting\n"
    "  -j        junk paths (do not make directories)\n"
    "  file.slf  SLF archive\n"
    "  file ...  files to extract (case-insensitive); may use wildcards * and ?\n"
    "  -d exdir  put extracted files into directory exdir\n\n"
    "Examples:\n"
    "  arcdig bigitems.slf gun01.sti gun02.sti\n"
    "    extract files gun01.sti and gun02.sti from bigitems.slf\n"
    "  arcdig faces.slf *speck* -d myfaces\n"
    "    extract files speck.sti, face33\\speck.sti, etc., from faces.slf\n"
    "    and put them into directory myfaces\n"
    "  arcdig -l tilesets.slf 49\\*\n"
    "    list all files beginning with 49\\ in tilesets.slf\n";

CommandLine failure(std::string message) {
  CommandLine commandLine;
  commandLine.outcome = CommandLine::Outcome::Error;
  commandLine.error = std::move(message);
  return commandLine;
}

// Applies the option letters left to right; the first h or invalid letter
// decides the outcome. Returns false when it ended the reading.
bool applyOptionLetters(const std::string& letters, CommandLine& commandLine) {
  for (const char letter : letters) {
    switch (letter) {
      case 'h':
        commandLine.outcome = CommandLine::Outcome::Usage;
        return false;
      case 'j':
        commandLine.flags |= slf::JunkPaths;
        break;
      case 'l':
        commandLine.mode = RunMode::List;
        break;
      case 'n':
        commandLine.ask = AskMode::Never;
        break;
      case 'o':
        commandLine.flags |= slf::Overwrite;
        break;
      default:
        commandLine = failure(std::string("invalid option -- ") + letter);
        return false;
    }
  }
  return true;
}

void appendDecimal(std::string& line, std::int32_t value) {
  char digits[12];
  std::size_t used = 0;
  const bool negative = value < 0;
  // Work in unsigned arithmetic so that the most negative value is exact.
  std::uint32_t magnitude =
      negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    digits[used++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) line += '-';
  while (used > 0) line += digits[--used];
}

void listEntry(const slf::SLFEntry& entry, platform::Console& console, std::string& line) {
  line.clear();
  line += terminalSafe(slf::fieldText(entry.name), console.outDisplay());
  line += "   ";
  appendDecimal(line, entry.length);
  line += " bytes\n";
  console.writeOut(line);
}

bool isAsciiControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// In a single-byte character set the bytes 0x80..0x9F are the C1 controls.
bool isSingleByteControl(unsigned char byte) { return isAsciiControl(byte) || (byte >= 0x80 && byte <= 0x9F); }

std::string hideControls(std::string_view text, bool (*isControl)(unsigned char)) {
  std::string shown(text);
  for (char& c : shown) {
    if (isControl(static_cast<unsigned char>(c))) c = '?';
  }
  return shown;
}

// Decodes `text` in the locale's multibyte character set (UTF-8, say): each
// C0, DEL or C1 character becomes one '?', whatever its length in bytes;
// printable characters stay as they are. A byte that starts no valid
// character is judged on its own, as in a single-byte set, so that a lone
// 0x9B cannot act as CSI either.
std::string hideMultibyteControls(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  std::mbstate_t state{};
  std::size_t at = 0;
  while (at < text.size()) {
    wchar_t character = 0;
    const std::size_t length = std::mbrtowc(&character, text.data() + at, text.size() - at, &state);
    if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2) || length == 0) {
      state = std::mbstate_t{};
      const auto byte = static_cast<unsigned char>(text[at]);
      shown += isSingleByteControl(byte) ? '?' : text[at];
      ++at;
      continue;
    }
    const auto code = static_cast<std::uint32_t>(character);
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      shown += '?';
    } else {
      shown.append(text, at, length);
    }
    at += length;
  }
  return shown;
}

void reportError(platform::Console& console, std::string_view message) {
  std::string report("arcdig: ");
  report += terminalSafe(message, console.errDisplay());
  report += '\n';
  console.writeErr(report);
}

void runPatterns(const CommandLine& commandLine, platform::Console& console,
                 platform::FileSystem& fileSystem) {
  slf::SLFFlags runFlags = commandLine.flags;
  slf::SLFArchive archive(commandLine.archivePath, runFlags, commandLine.outputDirectory, fileSystem);
  std::string line;
  for (const char* pattern : commandLine.patterns) {
    std::list<slf::SLFEntry> matches;
    archive.find(pattern, matches);
    for (const slf::SLFEntry& entry : matches) {
      if (commandLine.mode == RunMode::List) {
        listEntry(entry, console, line);
      } else {
        extractEntry(archive, entry, runFlags, commandLine.ask, console);
      }
    }
  }
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  if (argc < 2) return failure("too few arguments");

  std::string letters;
  int archiveIndex = 1;
  while (archiveIndex < argc && argv[archiveIndex][0] == '-') {
    letters += argv[archiveIndex] + 1;
    ++archiveIndex;
  }

  CommandLine commandLine;
  if (!applyOptionLetters(letters, commandLine)) return commandLine;
  if (argc - archiveIndex < 2) return failure("too few arguments");

  commandLine.archivePath = argv[archiveIndex];
  int index = archiveIndex + 1;
  for (; index < argc; ++index) {
    if (std::string_view(argv[index]) == "-d") break;
    commandLine.patterns.push_back(argv[index]);
  }
  if (index < argc) {
    if (index + 1 == argc) return failure("too few parameters");
    commandLine.outputDirectory = argv[index + 1];
  }
  return commandLine;
}

void printUsage(platform::Console& console) { console.writeOut(kUsage); }

int errorExit(platform::Console& console, std::string_view message) {
  // The message holds only what the user typed, so it is shown unchanged.
  std::string report("arcdig: ");
  report.append(message);
  report += '\n';
  console.writeErr(report);
  console.writeErr("Try 'arcdig -h' for more information.\n");
  return 1;
}

int run(int argc, const char* const* argv, platform::Console& console, platform::FileSystem& fileSystem) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  switch (commandLine.outcome) {
    case CommandLine::Outcome::Usage:
      printUsage(console);
      return 0;
    case CommandLine::Outcome::Error:
      return errorExit(console, commandLine.error);
    case CommandLine::Outcome::Run:
      break;
  }
  try {
    runPatterns(commandLine, console, fileSystem);
  } catch (const slf::SLFError& error) {
    reportError(console, error.message);
    return 1;
  }
  return 0;
}

bool decideAnswer(int keyCode, bool defaultAnswer) {
  switch (keyCode & 0xFF) {
    case 'N':
    case 'n':
      return false;
    case 'Y':
    case 'y':
      return true;
    default:
      return defaultAnswer;
  }
}

bool askYesNo(platform::Console& console, bool defaultAnswer) {
  console.flushOut();  // the question must be visible before the key is read
  const bool answer = decideAnswer(console.readKey(), defaultAnswer);
  console.writeOut(answer ? "yes" : "no");
  return answer;
}

void extractEntry(slf::SLFArchive& archive, const slf::SLFEntry& entry, slf::SLFFlags& runFlags,
                  AskMode ask, platform::Console& console) {
  console.writeOut(terminalSafe(slf::fieldText(entry.name), console.outDisplay()));
  if (!archive.extract(entry)) {
    console.writeOut(" already exists.");
    if (ask == AskMode::Ask) {
      console.writeOut(" Overwrite? (y/n) ");
      if (askYesNo(console, false)) {
        runFlags |= slf::Overwrite;
        archive.flags = runFlags;
        archive.extract(entry);  // with Overwrite set it writes or throws
        runFlags &= ~slf::Overwrite;
        archive.flags = runFlags;
      }
    }
  }
  console.writeOut("\n");
  console.flushOut();
}

std::string terminalSafe(std::string_view text, platform::TextDisplay display) {
  switch (display) {
    case platform::TextDisplay::Verbatim:
      return std::string(text);
    case platform::TextDisplay::HideAsciiControls:
      return hideControls(text, isAsciiControl);
    case platform::TextDisplay::HideAllControls:
      break;
  }
  return MB_CUR_MAX == 1 ? hideControls(text, isSingleByteControl) : hideMultibyteControls(text);
}

}  // namespace cli
