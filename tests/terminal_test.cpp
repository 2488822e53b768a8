// What a terminal shows and reads, judged in the locale's character set:
// the locales used here are those of a POSIX system.
#include <gtest/gtest.h>

#include <clocale>
#include <deque>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "platform/terminal_keys.h"

namespace {

// Bytes as a terminal sends them; a byte of -1 stands for a pause longer
// than the bytes of one key press may trail each other.
class ScriptedTerminal {
 public:
  explicit ScriptedTerminal(std::vector<int> bytes) : bytes_(bytes.begin(), bytes.end()) {}
  int next(int timeoutMs) {
    while (!bytes_.empty()) {
      const int byte = bytes_.front();
      bytes_.pop_front();
      if (byte >= 0) return byte;
      if (timeoutMs >= 0) return -1;  // the pause outlasts the wait
    }
    return -1;
  }
  std::size_t left() const { return bytes_.size(); }

 private:
  std::deque<int> bytes_;
};

// Sets LC_CTYPE for one test and puts the previous setting back.
class CharacterSet {
 public:
  explicit CharacterSet(const char* locale) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
    available_ = std::setlocale(LC_CTYPE, locale) != nullptr;
  }
  ~CharacterSet() { std::setlocale(LC_CTYPE, previous_.c_str()); }
  CharacterSet(const CharacterSet&) = delete;
  CharacterSet& operator=(const CharacterSet&) = delete;
  bool available() const { return available_; }

 private:
  std::string previous_;
  bool available_ = false;
};

TEST(TerminalKeys, OneKeyPressIsReadWholeAndGivesOneCode) {
  struct Case {
    const char* what;
    const char* locale;
    std::vector<int> bytes;
    int code;
    std::size_t left;  // bytes that belong to the next key press
  };
  const std::vector<Case> cases = {
      {"a letter", "C.UTF-8", {'y', 'y'}, 'y', 1},
      {"a two-byte character", "C.UTF-8", {0xC3, 0xA9, 'y'}, 0xC3, 1},
      {"a three-byte character", "C.UTF-8", {0xE2, 0x82, 0xAC, 'n'}, 0xE2, 1},
      {"no valid character", "C.UTF-8", {0xFF, 'y'}, 0xFF, 1},
      {"a character cut short by a pause", "C.UTF-8", {0xC3, -1, 'y'}, 0xC3, 1},
      {"a byte that breaks off a character", "C.UTF-8", {0xC3, 'y', 'n'}, 0xC3, 1},
      {"a single-byte character set", "C", {0xC3, 0xA9}, 0xC3, 1},
      {"Escape alone", "C.UTF-8", {27, -1, 'y'}, 27, 1},
      {"a cursor key", "C.UTF-8", {27, '[', '1', ';', '5', 'A', 'y'}, 27, 1},
      {"a function key", "C.UTF-8", {27, 'O', 'P', 'y'}, 27, 1},
      {"Alt with a letter", "C.UTF-8", {27, 'y', 'n'}, 27, 1},
      {"Alt with a two-byte character", "C.UTF-8", {27, 0xC3, 0xA9, 'n'}, 27, 1},
      {"a terminal that cannot be read", "C.UTF-8", {}, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CharacterSet characterSet(c.locale);
    ASSERT_TRUE(characterSet.available());
    ScriptedTerminal terminal(c.bytes);
    EXPECT_EQ(platform::readTerminalKey([&terminal](int timeoutMs) { return terminal.next(timeoutMs); }), c.code);
    EXPECT_EQ(terminal.left(), c.left);
  }
}

TEST(TerminalSafeText, ControlCharactersOfTheTerminalsCharacterSetBecomeOneQuestionMarkEach) {
  using platform::TextDisplay;
  struct Case {
    const char* locale;
    TextDisplay display;
    std::string text;
    std::string shown;
  };
  const std::vector<Case> cases = {
      // UTF-8: C1 controls are two bytes each and become one '?'; printable
      // characters, multibyte ones included, stay.
      {"C.UTF-8", TextDisplay::HideAllControls, "a\xC2\x9B" "31mb", "a?31mb"},
      {"C.UTF-8", TextDisplay::HideAllControls, "\xC2\x9D" "0;t\xC2\x90x", "?0;t?x"},
      {"C.UTF-8", TextDisplay::HideAllControls, "t\xC3\xBCr.sti", "t\xC3\xBCr.sti"},
      {"C.UTF-8", TextDisplay::HideAllControls, "\x1b[2J\x7f\x07", "?[2J??"},
      {"C.UTF-8", TextDisplay::HideAllControls, "\xC2\xA0\xE2\x82\xAC", "\xC2\xA0\xE2\x82\xAC"},
      // Bytes that start no valid character are judged one by one: a lone
      // C1 byte is hidden, a Latin-1 letter is left for the terminal.
      {"C.UTF-8", TextDisplay::HideAllControls, "\x9B" "1m\xFC\xC2", "?1m\xFC\xC2"},
      // A single-byte character set: the bytes 0x80..0x9F are the C1 controls.
      {"C", TextDisplay::HideAllControls, "\x9B" "1m\xC2\x9B\xFC\x1b", "?1m\xC2?\xFC?"},
      // A console that acts on C0 and DEL only, and a file or pipe.
      {"C.UTF-8", TextDisplay::HideAsciiControls, "\x1b\xC2\x9B\x7f", "?\xC2\x9B?"},
      {"C.UTF-8", TextDisplay::Verbatim, "\x1b\xC2\x9B\x7f", "\x1b\xC2\x9B\x7f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + ": " + c.shown);
    const CharacterSet characterSet(c.locale);
    ASSERT_TRUE(characterSet.available());
    EXPECT_EQ(cli::terminalSafe(c.text, c.display), c.shown);
  }
}

}  // namespace
