#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/console_keys.h"

namespace {

using platform::ConsoleEventKind;
using platform::ConsoleKeyEvent;
using platform::KeyCodes;
namespace keys = platform::control_keys;

// Virtual-key and scan codes of the keys used below.
constexpr std::uint16_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12, kVkCapsLock = 0x14;
constexpr std::uint16_t kVkEnter = 0x0D, kVkEscape = 0x1B, kVkSpace = 0x20, kVkTab = 0x09;
constexpr std::uint16_t kVkHome = 0x24, kVkLeft = 0x25, kVkUp = 0x26, kVkDelete = 0x2E, kVkClear = 0x0C;
constexpr std::uint16_t kVkPageUp = 0x21, kVkDown = 0x28, kVkInsert = 0x2D;
constexpr std::uint16_t kVkF1 = 0x70, kVkF10 = 0x79, kVkF11 = 0x7A, kVkF12 = 0x7B;
constexpr std::uint16_t kVkA = 0x41, kVkC = 0x43, kVkN = 0x4E, kVkY = 0x59, kVk0 = 0x30, kVk1 = 0x31;
constexpr std::uint16_t kVkDivide = 0x6F;
constexpr std::uint32_t kAlt = keys::kLeftAlt, kCtrl = keys::kLeftCtrl, kShift = keys::kShift;
constexpr std::uint32_t kGrey = keys::kEnhancedKey;

ConsoleKeyEvent press(std::uint16_t vk, unsigned char character, std::uint32_t state = 0,
                      std::uint16_t scan = 0) {
  ConsoleKeyEvent event;
  event.kind = ConsoleEventKind::KeyPress;
  event.character = character;
  event.virtualKey = vk;
  event.scanCode = scan;
  event.controlKeyState = state;
  return event;
}

ConsoleKeyEvent release(ConsoleKeyEvent event) {
  event.kind = ConsoleEventKind::KeyRelease;
  return event;
}

ConsoleKeyEvent otherEvent() { return ConsoleKeyEvent{}; }

KeyCodes none() { return {}; }
KeyCodes one(int code) { return {1, code, 0}; }
KeyCodes two(int first, int second) { return {2, first, second}; }

struct TranslationCase {
  std::string what;
  ConsoleKeyEvent event;
  KeyCodes expected;
};

TEST(ConsoleKeys, TranslatesOneEventIntoItsCodes) {
  const TranslationCase cases[] = {
      // Keys with a character give that character, whatever the modifiers.
      {"y", press(kVkY, 'y'), one('y')},
      {"Shift+Y", press(kVkY, 'Y', kShift), one('Y')},
      {"n", press(kVkN, 'n'), one('n')},
      {"Enter", press(kVkEnter, '\r'), one(13)},
      {"Escape", press(kVkEscape, 27), one(27)},
      {"Escape reported without its character", press(kVkEscape, 0), one(27)},
      {"space", press(kVkSpace, ' '), one(32)},
      {"Ctrl+C", press(kVkC, 3, kCtrl), one(3)},
      {"8-bit character", press(0xDE, 0xE9), one(0xE9)},
      {"grey Enter", press(kVkEnter, '\r', kGrey), one(13)},
      // Grey cursor block: 224 first, with Alt 0.
      {"Up", press(kVkUp, 0, kGrey), two(224, 72)},
      {"Left", press(kVkLeft, 0, kGrey), two(224, 75)},
      {"Home", press(kVkHome, 0, kGrey), two(224, 71)},
      {"Delete", press(kVkDelete, 0, kGrey), two(224, 83)},
      {"Insert", press(kVkInsert, 0, kGrey), two(224, 82)},
      {"Shift+Down", press(kVkDown, 0, kGrey | kShift), two(224, 80)},
      {"Ctrl+Left", press(kVkLeft, 0, kGrey | kCtrl), two(224, 115)},
      {"Ctrl+PageUp", press(kVkPageUp, 0, kGrey | keys::kRightCtrl), two(224, 132)},
      {"Alt+Up", press(kVkUp, 0, kGrey | kAlt), two(0, 152)},
      {"Ctrl+Alt+Delete beats Ctrl", press(kVkDelete, 0, kGrey | kAlt | kCtrl), two(0, 163)},
      // The keypad with Num Lock off: 0 first.
      {"keypad Home", press(kVkHome, 0), two(0, 71)},
      {"keypad 5", press(kVkClear, 0), two(0, 76)},
      {"Ctrl+keypad Up", press(kVkUp, 0, kCtrl), two(0, 141)},
      {"Alt+keypad digit starts a typed code", press(kVkHome, 0, kAlt), none()},
      // Function keys.
      {"F1", press(kVkF1, 0), two(0, 59)},
      {"F10", press(kVkF10, 0), two(0, 68)},
      {"Shift+F1", press(kVkF1, 0, kShift), two(0, 84)},
      {"Ctrl+F1", press(kVkF1, 0, kCtrl), two(0, 94)},
      {"Alt+F10", press(kVkF10, 0, kAlt), two(0, 113)},
      {"F11", press(kVkF11, 0), two(224, 133)},
      {"F12", press(kVkF12, 0), two(224, 134)},
      {"Shift+F12", press(kVkF12, 0, kShift), two(224, 136)},
      {"Alt+F11", press(kVkF11, 0, keys::kRightAlt), two(224, 139)},
      // Keys that lose their character to a modifier.
      {"Ctrl+Tab", press(kVkTab, 0, kCtrl), two(0, 148)},
      {"Alt+A gives its scan code", press(kVkA, 0, kAlt, 30), two(0, 30)},
      {"Alt+1", press(kVk1, 0, kAlt), two(0, 120)},
      {"Alt+0", press(kVk0, 0, kAlt), two(0, 129)},
      {"Alt+Escape", press(kVkEscape, 0, kAlt), two(0, 1)},
      {"Ctrl+grey /", press(kVkDivide, 0, kGrey | kCtrl), two(0, 149)},
      // Keys with neither a character nor an extended code.
      {"Shift alone", press(kVkShift, 0, kShift), none()},
      {"Ctrl alone", press(kVkControl, 0, kCtrl), none()},
      {"Alt alone", press(kVkMenu, 0, kAlt), none()},
      {"Caps Lock", press(kVkCapsLock, 0), none()},
      {"Ctrl+A without a character", press(kVkA, 0, kCtrl, 30), none()},
      // Only presses count.
      {"release of y", release(press(kVkY, 'y')), none()},
      {"release of Up", release(press(kVkUp, 0, kGrey)), none()},
      {"mouse or focus event", otherEvent(), none()},
  };
  for (const TranslationCase& c : cases) {
    EXPECT_EQ(platform::translateKeyEvent(c.event), c.expected) << c.what;
  }
}

// Feeds a fixed series of events; the console fails once they run out.
class ScriptedConsole {
 public:
  explicit ScriptedConsole(std::vector<ConsoleKeyEvent> events) : events_(events.begin(), events.end()) {}

  platform::KeyCodeReader::EventSource source() {
    return [this]() -> std::optional<ConsoleKeyEvent> {
      ++reads_;
      if (events_.empty()) return std::nullopt;
      const ConsoleKeyEvent event = events_.front();
      events_.pop_front();
      return event;
    };
  }
  int reads() const { return reads_; }

 private:
  std::deque<ConsoleKeyEvent> events_;
  int reads_ = 0;
};

TEST(ConsoleKeys, ReaderSkipsWhatYieldsNothingAndHoldsTheSecondCode) {
  ScriptedConsole console({
      press(kVkShift, 0, kShift),          // skipped
      release(press(kVkShift, 0, kShift)),  // skipped
      otherEvent(),                         // skipped
      press(kVkUp, 0, kGrey),               // 224, then 72 held
      release(press(kVkUp, 0, kGrey)),
      press(kVkY, 'y'),
  });
  platform::KeyCodeReader reader;

  EXPECT_EQ(reader.readKey(console.source()), 224);
  EXPECT_EQ(console.reads(), 4);
  EXPECT_TRUE(reader.holdsCode());

  // The held code answers the next read at once, without touching the console.
  EXPECT_EQ(reader.readKey(nullptr), 72);
  EXPECT_FALSE(reader.holdsCode());

  EXPECT_EQ(reader.readKey(console.source()), 'y');
  EXPECT_EQ(console.reads(), 6);

  // A console that can no longer be read gives -1, and nothing is held.
  EXPECT_EQ(reader.readKey(console.source()), -1);
  EXPECT_FALSE(reader.holdsCode());
}

TEST(ConsoleKeys, FunctionKeyGivesZeroThenItsCode) {
  ScriptedConsole console({press(kVkF1, 0), press(kVkN, 'n')});
  platform::KeyCodeReader reader;
  EXPECT_EQ(reader.readKey(console.source()), 0);
  EXPECT_EQ(reader.readKey(console.source()), 59);
  EXPECT_EQ(reader.readKey(console.source()), 'n');
}

}  // namespace
