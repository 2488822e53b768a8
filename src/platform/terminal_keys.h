// Turning the bytes a terminal sends for one key press into one key code,
// kept free of system calls so that the rules are tested on their own.
//
// A key that sends a character gives one code: a single-byte character its
// byte; a multibyte character of the locale's character set (LC_CTYPE) is
// read whole and gives its first byte, which is never a letter, so it can
// never answer a question as y or n. A byte sequence that is no valid
// character is one key too. A key that sends an escape sequence (cursor,
// function and editing keys, Alt combinations) gives 27, and the rest of the
// sequence is read and dropped, so that no part of one key press is left to
// answer a later question.
#pragma once

#include <functional>

namespace platform {

// The next byte from the terminal, waiting at most `timeoutMs` (negative:
// without limit); -1 when none came or the terminal cannot be read.
using TerminalByteSource = std::function<int(int timeoutMs)>;

// How long the further bytes of one key press may trail its first byte.
constexpr int kKeyFollowMs = 50;

// Reads one key press: its key code, or -1 when the terminal cannot be read.
int readTerminalKey(const TerminalByteSource& nextByte);

}  // namespace platform
