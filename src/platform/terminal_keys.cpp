#include "platform/terminal_keys.h"

#include <cstdlib>
#include <cwchar>

namespace platform {
namespace {

constexpr int kEscape = 27;

// Reads the bytes that complete the character starting with `first`.
void readRestOfCharacter(int first, const TerminalByteSource& nextByte) {
  if (MB_CUR_MAX == 1) return;
  std::mbstate_t state{};
  char byte = static_cast<char>(first);
  wchar_t character = 0;
  std::size_t result = std::mbrtowc(&character, &byte, 1, &state);
  while (result == static_cast<std::size_t>(-2)) {  // incomplete: more bytes belong to it
    const int next = nextByte(kKeyFollowMs);
    if (next < 0) return;
    byte = static_cast<char>(next);
    result = std::mbrtowc(&character, &byte, 1, &state);
  }
}

void discardEscapeSequence(const TerminalByteSource& nextByte) {
  const int introducer = nextByte(kKeyFollowMs);
  if (introducer == '[') {  // CSI: parameters, then one final byte 0x40..0x7E
    for (int byte = nextByte(kKeyFollowMs); byte >= 0; byte = nextByte(kKeyFollowMs)) {
      if (byte >= 0x40 && byte <= 0x7E) break;
    }
  } else if (introducer == 'O') {  // SS3: one more byte
    nextByte(kKeyFollowMs);
  } else if (introducer >= 0) {  // Alt with a key: that key's character
    readRestOfCharacter(introducer, nextByte);
  }
}

}  // namespace

int readTerminalKey(const TerminalByteSource& nextByte) {
  const int first = nextByte(-1);
  if (first < 0) return -1;
  if (first == kEscape) {
    discardEscapeSequence(nextByte);
  } else {
    readRestOfCharacter(first, nextByte);
  }
  return first;
}

}  // namespace platform
