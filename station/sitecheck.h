// The station checks for the site, not for itself: before any reader is set up,
// what the settings will type on the computers the readers go to, worked out
// with the real keymaps of the reader's language and of the site's layout.
#pragma once

#include "readersettings.h"

#include <QString>

namespace rfid {

// Why `wanted` does not come out right on a computer with the keyboard layout
// `layoutName` ("be", "de(nodeadkeys)"); empty when it does. `file` names the
// settings in the text. A layout that cannot be used, and settings without a
// keyboard language, are problems too.
// Why `layoutName` cannot be used at all: not a layout name, or one the XKB
// data does not hold (with the name most likely meant, "Belgium" -> be); empty
// when it can. A typing slip is no layout mismatch: nothing goes past this.
QString siteLayoutUnusable(const QString& layoutName);

QString siteLayoutProblem(const ReaderSettings& wanted, const QString& layoutName, const QString& file);

} // namespace rfid
