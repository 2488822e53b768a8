#pragma once

#include <string>
#include <string_view>

namespace slf {

// The program's one exception type: a complete, human-readable message
// without program name and without line end. Thrown by the archive reader and
// the extractor, caught only by the driver.
struct SLFError {
  std::string message;
};

// Throws the message that names a file: `fixedText` (which ends in an opening
// quote), the name exactly as the program has it, and a closing quote.
[[noreturn]] inline void failNaming(const char* fixedText, std::string_view name) {
  std::string message(fixedText);
  message.append(name);
  message += '\'';
  throw SLFError{std::move(message)};
}

}  // namespace slf
