// The keyboard layout this computer uses, as the X keyboard extension names it.
#pragma once

#include "layouts.h"

#include <optional>

namespace rfid {

// The desktop's current keyboard layout: `setxkbmap -query` where the X
// keyboard extension answers, else the system's /etc/default/keyboard;
// nullopt when neither says.
std::optional<wedge::KeyboardLayout> desktopKeyboardLayout();

} // namespace rfid
