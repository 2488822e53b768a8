// Turning Windows console key events into the key codes of readKey, kept
// free of any system header so that the rules compile and are tested on
// every system.
//
// A key that produces a character gives that character's code (1..255). A
// key without a character but with an extended code (cursor and editing
// keys, function keys, and their combinations with Shift, Ctrl or Alt) gives
// two codes: first 0 or 224, then the extended code, which the reader holds
// for its next call. Keys with neither (Shift, Ctrl or Alt alone) and key
// releases give nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

enum class ConsoleEventKind { KeyPress, KeyRelease, Other };

// The control-key state bits of a console key event (the values Windows
// uses in dwControlKeyState).
namespace control_keys {
constexpr std::uint32_t kRightAlt = 0x0001;
constexpr std::uint32_t kLeftAlt = 0x0002;
constexpr std::uint32_t kRightCtrl = 0x0004;
constexpr std::uint32_t kLeftCtrl = 0x0008;
constexpr std::uint32_t kShift = 0x0010;
constexpr std::uint32_t kEnhancedKey = 0x0100;  // a key of the grey block, not of the keypad
}  // namespace control_keys

// One console input event, as far as key reading cares.
struct ConsoleKeyEvent {
  ConsoleEventKind kind = ConsoleEventKind::Other;
  unsigned char character = 0;      // the 8-bit character, 0 when the key has none
  std::uint16_t virtualKey = 0;     // Windows virtual-key code
  std::uint16_t scanCode = 0;       // keyboard scan code
  std::uint32_t controlKeyState = 0;
};

// The codes one event yields: none, one, or two (first, then second).
struct KeyCodes {
  int count = 0;
  int first = 0;
  int second = 0;

  friend bool operator==(const KeyCodes& a, const KeyCodes& b) {
    return a.count == b.count && a.first == b.first && a.second == b.second;
  }
};

KeyCodes translateKeyEvent(const ConsoleKeyEvent& event);

// Reads key codes from a stream of console events and holds the second code
// of an extended key for the following call.
class KeyCodeReader {
 public:
  // The next event, or nothing when the console cannot be read.
  using EventSource = std::function<std::optional<ConsoleKeyEvent>()>;

  bool holdsCode() const { return held_.has_value(); }

  // The held code if there is one (without asking `nextEvent`); otherwise
  // the first code of the first event that yields any, or -1 when the
  // source fails first.
  int readKey(const EventSource& nextEvent);

 private:
  std::optional<int> held_;
};

}  // namespace platform
