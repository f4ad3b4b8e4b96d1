// Where rfidctl --sim and rfid-demo --sim find the simulated reader's library.
#pragma once

#include <QString>

namespace rfid {

// The simulated reader's library for a program in programDir: the installed copy
// (sim\ beside the program on Windows, ../lib/rfid-demo/sim elsewhere), else the
// build tree's, named by a file rfidctl-sim-dir beside the program. A full path,
// so that exactly this file is loaded: Windows looks in the program's own folder
// first for a bare "usb.dll" and would find the real library there. Empty when
// neither exists.
QString simulatedReaderLibrary(const QString& programDir);

} // namespace rfid
