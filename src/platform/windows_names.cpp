#include "platform/windows_names.h"

#include <array>
#include <cstddef>

namespace platform {
namespace {

char toLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lowerCaseWord) {
  if (text.size() != lowerCaseWord.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (toLowerAscii(text[i]) != lowerCaseWord[i]) {
      return false;
    }
  }
  return true;
}

// Windows drops trailing dots and spaces from a name, so "..", ". ." and
// ".. " all end up as a reference to the parent directory (or worse).
bool reducesToDotDot(std::string_view component) {
  std::size_t dots = 0;
  for (char c : component) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// The part Windows compares with the device names: everything before the
// first dot (the extension does not matter: "con.txt" is still the console)
// or colon, without the trailing spaces Windows strips ("CON .txt").
std::string_view deviceStem(std::string_view component) {
  std::string_view stem = component.substr(0, component.find_first_of(".:"));
  while (!stem.empty() && stem.back() == ' ') {
    stem.remove_suffix(1);
  }
  return stem;
}

// A final character that makes "com" or "lpt" a port name: the digits and,
// in the 8-bit character set, the superscript digits one, two and three,
// which Windows accepts as digits here too.
bool isPortNumber(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

bool isReservedDeviceName(std::string_view stem) {
  static constexpr std::array<std::string_view, 6> kDevices = {"con", "prn", "aux", "nul",
                                                               "conin$", "conout$"};
  for (std::string_view device : kDevices) {
    if (equalsIgnoringAsciiCase(stem, device)) {
      return true;
    }
  }
  if (stem.size() != 4 || !isPortNumber(stem[3])) {
    return false;
  }
  const std::string_view prefix = stem.substr(0, 3);
  return equalsIgnoringAsciiCase(prefix, "com") || equalsIgnoringAsciiCase(prefix, "lpt");
}

}  // namespace

bool isWindowsHostileComponent(std::string_view component) {
  return reducesToDotDot(component) || isReservedDeviceName(deviceStem(component));
}

}  // namespace platform
