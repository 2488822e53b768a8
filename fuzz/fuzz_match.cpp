// The input is a pattern, a zero byte and a name. wildcardMatch must agree
// with a reference matcher written straight from the definition: '*' matches
// any run of bytes, '?' any one byte, every other byte itself with only A-Z
// folded to a-z. The reference fills a table over all suffix pairs, so it is
// obviously right and cannot blow up on the short inputs it is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "slf/archive.h"

namespace {

constexpr std::size_t kMaxPart = 64;

unsigned char folded(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return (value >= 'A' && value <= 'Z') ? static_cast<unsigned char>(value - 'A' + 'a') : value;
}

// matches[p][n]: pattern from p on matches name from n on.
bool referenceMatch(std::string_view pattern, std::string_view name) {
  const std::size_t width = name.size() + 1;
  std::vector<char> matches((pattern.size() + 1) * width, 0);
  auto at = [&](std::size_t p, std::size_t n) -> char& { return matches[p * width + n]; };
  at(pattern.size(), name.size()) = 1;
  for (std::size_t p = pattern.size(); p-- > 0;) {
    for (std::size_t n = name.size() + 1; n-- > 0;) {
      const bool more = n < name.size();
      if (pattern[p] == '*') {
        at(p, n) = static_cast<char>(at(p + 1, n) || (more && at(p, n + 1)));
      } else if (more && (pattern[p] == '?' || folded(pattern[p]) == folded(name[n]))) {
        at(p, n) = at(p + 1, n + 1);
      }
    }
  }
  return at(0, 0) != 0;
}

void check(std::string_view pattern, std::string_view name) {
  if (slf::wildcardMatch(pattern, name) != referenceMatch(pattern, name)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view pattern = input.substr(0, split);
  const std::string_view name = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  if (pattern.size() > kMaxPart || name.size() > kMaxPart) return 0;

  check(pattern, name);
  // The C-string form sees the name only up to its first zero byte.
  const std::string patternText(pattern);
  const std::string nameText(name);
  if (slf::wildcardMatch(patternText.c_str(), nameText.c_str()) !=
      referenceMatch(patternText, std::string_view(nameText.c_str()))) {
    std::abort();
  }
  return 0;
}
