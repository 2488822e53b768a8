#include "platform/stdio_console.h"

#include <cstdio>

namespace platform {

StdioConsole::StdioConsole(bool outIsTerminal, bool errIsTerminal, TextDisplay terminalDisplay)
    : outDisplay_(outIsTerminal ? terminalDisplay : TextDisplay::Verbatim),
      errDisplay_(errIsTerminal ? terminalDisplay : TextDisplay::Verbatim) {
  if (outIsTerminal) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    // Supplied, because some C libraries ignore the size of a buffer they allocate.
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  }
}

void StdioConsole::writeOut(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void StdioConsole::flushOut() { std::fflush(stdout); }

void StdioConsole::writeErr(std::string_view text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
