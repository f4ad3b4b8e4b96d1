// The six colour schemes of the window ("skins"), applied to the whole
// application: window, menus and controls.
#pragma once

#include <QString>

namespace rfid {

constexpr int kSkinCount = 6;

// "skin1", "skin2", "skin3", "skin4", "Skin5", "Skin6".
QString skinName(int index);

// Applies skin `index`; an index outside 0..5 is ignored. Returns whether it applied.
bool applySkin(int index);

// The skin applied last, -1 before the first.
int currentSkin();

} // namespace rfid
