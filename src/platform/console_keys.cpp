#include "platform/console_keys.h"

#include <array>
#include <cstddef>

namespace platform {
namespace {

// Where on the keyboard a row of the table applies: the grey cursor block
// (reported as "enhanced"), the numeric keypad with Num Lock off, or both.
enum class KeyBlock { Any, Grey, Keypad };

// The two codes a key yields under one modifier; code 0 means the key
// yields nothing under that modifier.
struct CodePair {
  int lead = 0;
  int code = 0;
};

constexpr CodePair kNothing{0, 0};
constexpr CodePair zeroThen(int code) { return {0, code}; }
constexpr CodePair e0Then(int code) { return {224, code}; }

// The extended codes of one key, by modifier. When several modifiers are
// held, Alt counts before Ctrl and Ctrl before Shift.
struct ExtendedKey {
  std::uint16_t virtualKey;
  KeyBlock block;
  CodePair plain;
  CodePair shift;
  CodePair ctrl;
  CodePair alt;
};

// Windows virtual-key codes of the keys in the table.
enum VirtualKey : std::uint16_t {
  kBackspace = 0x08, kTab = 0x09, kClear = 0x0C, kEnter = 0x0D, kEscape = 0x1B,
  kPageUp = 0x21, kPageDown = 0x22, kEnd = 0x23, kHome = 0x24,
  kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28, kInsert = 0x2D, kDelete = 0x2E,
  kDigit0 = 0x30, kDigit1 = 0x31, kDigit2 = 0x32, kDigit9 = 0x39,
  kLetterA = 0x41, kLetterZ = 0x5A,
  kMultiply = 0x6A, kAdd = 0x6B, kSubtract = 0x6D, kDivide = 0x6F,
  kF1 = 0x70, kF2, kF3, kF4, kF5, kF6, kF7, kF8, kF9, kF10, kF11, kF12,
  kPlusEquals = 0xBB, kMinus = 0xBD,
};

constexpr ExtendedKey cursorKey(std::uint16_t vk, int code, int ctrlCode, int altCode) {
  return {vk, KeyBlock::Grey, e0Then(code), e0Then(code), e0Then(ctrlCode), zeroThen(altCode)};
}
// The same key on the keypad: Shift turns it into a digit (a character) and
// Alt starts a character typed by its number, so only plain and Ctrl remain.
constexpr ExtendedKey keypadKey(std::uint16_t vk, int code, int ctrlCode) {
  return {vk, KeyBlock::Keypad, zeroThen(code), kNothing, zeroThen(ctrlCode), kNothing};
}
constexpr ExtendedKey functionKey(std::uint16_t vk, int lead, int code, int shiftCode,
                                  int ctrlCode, int altCode) {
  return {vk, KeyBlock::Any, {lead, code}, {lead, shiftCode}, {lead, ctrlCode}, {lead, altCode}};
}
constexpr ExtendedKey modifiedKey(std::uint16_t vk, KeyBlock block, CodePair shift, CodePair ctrl,
                                  CodePair alt) {
  return {vk, block, kNothing, shift, ctrl, alt};
}

constexpr std::array<ExtendedKey, 40> kExtendedKeys = {{
    cursorKey(kHome, 71, 119, 151),
    cursorKey(kUp, 72, 141, 152),
    cursorKey(kPageUp, 73, 132, 153),
    cursorKey(kLeft, 75, 115, 155),
    cursorKey(kRight, 77, 116, 157),
    cursorKey(kEnd, 79, 117, 159),
    cursorKey(kDown, 80, 145, 160),
    cursorKey(kPageDown, 81, 118, 161),
    cursorKey(kInsert, 82, 146, 162),
    cursorKey(kDelete, 83, 147, 163),
    keypadKey(kHome, 71, 119),
    keypadKey(kUp, 72, 141),
    keypadKey(kPageUp, 73, 132),
    keypadKey(kLeft, 75, 115),
    keypadKey(kClear, 76, 143),
    keypadKey(kRight, 77, 116),
    keypadKey(kEnd, 79, 117),
    keypadKey(kDown, 80, 145),
    keypadKey(kPageDown, 81, 118),
    keypadKey(kInsert, 82, 146),
    keypadKey(kDelete, 83, 147),
    functionKey(kF1, 0, 59, 84, 94, 104),
    functionKey(kF2, 0, 60, 85, 95, 105),
    functionKey(kF3, 0, 61, 86, 96, 106),
    functionKey(kF4, 0, 62, 87, 97, 107),
    functionKey(kF5, 0, 63, 88, 98, 108),
    functionKey(kF6, 0, 64, 89, 99, 109),
    functionKey(kF7, 0, 65, 90, 100, 110),
    functionKey(kF8, 0, 66, 91, 101, 111),
    functionKey(kF9, 0, 67, 92, 102, 112),
    functionKey(kF10, 0, 68, 93, 103, 113),
    functionKey(kF11, 224, 133, 135, 137, 139),
    functionKey(kF12, 224, 134, 136, 138, 140),
    // Keys that have a character on their own but lose it with a modifier.
    modifiedKey(kEnter, KeyBlock::Grey, kNothing, kNothing, zeroThen(166)),  // keypad Enter
    modifiedKey(kDivide, KeyBlock::Grey, kNothing, zeroThen(149), zeroThen(164)),
    modifiedKey(kTab, KeyBlock::Any, zeroThen(15), zeroThen(148), zeroThen(165)),
    modifiedKey(kMultiply, KeyBlock::Any, kNothing, zeroThen(150), zeroThen(55)),
    modifiedKey(kSubtract, KeyBlock::Any, kNothing, zeroThen(142), zeroThen(74)),
    modifiedKey(kAdd, KeyBlock::Any, kNothing, zeroThen(144), zeroThen(78)),
    modifiedKey(kDigit2, KeyBlock::Any, kNothing, zeroThen(3), zeroThen(121)),  // Ctrl+@
}};

// Keys whose only extended code is the one they give with Alt.
struct AltKey {
  std::uint16_t virtualKey;
  int code;
};
constexpr std::array<AltKey, 5> kAltKeys = {{
    {kBackspace, 14}, {kEnter, 28}, {kEscape, 1}, {kMinus, 130}, {kPlusEquals, 131},
}};

enum class Modifier { None, Shift, Ctrl, Alt };

Modifier dominantModifier(std::uint32_t state) {
  if ((state & (control_keys::kLeftAlt | control_keys::kRightAlt)) != 0) {
    return Modifier::Alt;
  }
  if ((state & (control_keys::kLeftCtrl | control_keys::kRightCtrl)) != 0) {
    return Modifier::Ctrl;
  }
  if ((state & control_keys::kShift) != 0) {
    return Modifier::Shift;
  }
  return Modifier::None;
}

bool blockMatches(KeyBlock block, std::uint32_t state) {
  const bool grey = (state & control_keys::kEnhancedKey) != 0;
  switch (block) {
    case KeyBlock::Grey:
      return grey;
    case KeyBlock::Keypad:
      return !grey;
    case KeyBlock::Any:
      return true;
  }
  return false;
}

CodePair pairFor(const ExtendedKey& key, Modifier modifier) {
  switch (modifier) {
    case Modifier::Shift:
      return key.shift;
    case Modifier::Ctrl:
      return key.ctrl;
    case Modifier::Alt:
      return key.alt;
    case Modifier::None:
      break;
  }
  return key.plain;
}

// Alt with a letter or digit: the codes of the classic PC keyboard (a
// letter's code is its key's scan code; the digits 1..9, 0 give 120..129).
CodePair altLetterOrDigit(const ConsoleKeyEvent& event) {
  const std::uint16_t vk = event.virtualKey;
  if (vk >= kLetterA && vk <= kLetterZ && event.scanCode != 0 && event.scanCode < 256) {
    return zeroThen(event.scanCode);
  }
  if (vk >= kDigit1 && vk <= kDigit9) {
    return zeroThen(120 + (vk - kDigit1));
  }
  if (vk == kDigit0) {
    return zeroThen(129);
  }
  for (const AltKey& key : kAltKeys) {
    if (key.virtualKey == vk) {
      return zeroThen(key.code);
    }
  }
  return kNothing;
}

CodePair extendedCodes(const ConsoleKeyEvent& event) {
  const Modifier modifier = dominantModifier(event.controlKeyState);
  for (const ExtendedKey& key : kExtendedKeys) {
    if (key.virtualKey == event.virtualKey && blockMatches(key.block, event.controlKeyState)) {
      return pairFor(key, modifier);
    }
  }
  return modifier == Modifier::Alt ? altLetterOrDigit(event) : kNothing;
}

}  // namespace

KeyCodes translateKeyEvent(const ConsoleKeyEvent& event) {
  if (event.kind != ConsoleEventKind::KeyPress) {
    return {};
  }
  if (event.character != 0) {
    return {1, event.character, 0};
  }
  // Some consoles (wine's, for one) report a lone Escape without its
  // character; it still is the character 27.
  if (event.virtualKey == kEscape && dominantModifier(event.controlKeyState) != Modifier::Alt) {
    return {1, 27, 0};
  }
  const CodePair pair = extendedCodes(event);
  if (pair.code == 0) {
    return {};
  }
  return {2, pair.lead, pair.code};
}

int KeyCodeReader::readKey(const EventSource& nextEvent) {
  if (held_) {
    const int code = *held_;
    held_.reset();
    return code;
  }
  for (;;) {
    const std::optional<ConsoleKeyEvent> event = nextEvent();
    if (!event) {
      return -1;
    }
    const KeyCodes codes = translateKeyEvent(*event);
    if (codes.count == 2) {
      held_ = codes.second;
    }
    if (codes.count > 0) {
      return codes.first;
    }
  }
}

}  // namespace platform
