// The keyboard layout this computer uses, as the X keyboard extension names it.
#pragma once

#include "layouts.h"

#include <optional>
#include <string>

namespace rfid {

// The desktop's current keyboard layout: `setxkbmap -query` where the X
// keyboard extension answers, else the system's /etc/default/keyboard; on
// Windows the input layout in use, by its XKB name. Nullopt when none says.
std::optional<wedge::KeyboardLayout> desktopKeyboardLayout();

// The XKB layout for a Windows keyboard layout identifier ("00000407": "de");
// nullopt for one without a known XKB equal or text that is no identifier.
std::optional<wedge::KeyboardLayout> xkbLayoutOfWindowsLayout(const std::string& klid);

} // namespace rfid
