#pragma once

#include <string_view>

namespace platform {

// True for a path component that Windows would not treat as an ordinary
// name: one that it reduces to ".." (dots and spaces only, two dots or more)
// or a reserved device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, any
// letter case, with or without an extension). Pure; compiled on every system
// so that its rules are tested everywhere.
bool isWindowsHostileComponent(std::string_view component);

}  // namespace platform
