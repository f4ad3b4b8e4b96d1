// Where rfidctl finds the simulated reader's library for --sim.
#pragma once

#include <QString>

namespace rfid {

// The simulated reader's library: installed beside the program, else the one
// of the build tree. Empty when neither exists.
QString simulatedReaderLibrary(const QString& programDir);

} // namespace rfid
