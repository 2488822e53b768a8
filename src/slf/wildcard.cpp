#include <cstring>
#include <new>

#include "slf/archive.h"

namespace slf {
namespace {

unsigned char fold(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return (value >= 'A' && value <= 'Z') ? static_cast<unsigned char>(value + ('a' - 'A')) : value;
}

bool bytesMatch(char patternByte, char nameByte) {
  return patternByte == '?' || fold(patternByte) == fold(nameByte);
}

}  // namespace

int compareLookupOrder(std::string_view left, std::string_view right) {
  const std::size_t common = left.size() < right.size() ? left.size() : right.size();
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char l = fold(left[i]);
    const unsigned char r = fold(right[i]);
    if (l != r) return l < r ? -1 : 1;
  }
  if (left.size() == right.size()) return 0;
  return left.size() < right.size() ? -1 : 1;
}

// Greedy matching that remembers only the most recent '*': when a later
// piece fails, that star takes one more name byte and matching resumes after
// it. Earlier stars never need to be revisited, because whatever the most
// recent star can absorb is a superset of what moving an earlier one could
// achieve. Time is at most the product of the two lengths; no recursion.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starResume = std::string_view::npos;  // pattern position after the last star run
  std::size_t starName = 0;                         // name position that star run absorbs up to

  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      if (p == pattern.size()) return true;  // a trailing star takes the rest
      starResume = p;
      starName = n;
    } else if (p < pattern.size() && bytesMatch(pattern[p], name[n])) {
      ++p;
      ++n;
    } else if (starResume != std::string_view::npos) {
      p = starResume;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool wildcardMatch(const char* pattern, const char* name) {
  return wildcardMatch(std::string_view(pattern), std::string_view(name));
}

void SLFArchive::find(const char* pattern, std::list<SLFEntry>& matches) const {
  const std::string_view patternText(pattern);
  try {
    for (const SLFEntry& entry : entries) {
      if (wildcardMatch(patternText, fieldText(entry.name))) matches.push_back(entry);
    }
  } catch (const std::bad_alloc&) {
    throw SLFError{"Out of memory"};
  }
}

}  // namespace slf
