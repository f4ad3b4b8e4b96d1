// The plug-in service and the station on one computer: the service sets up
// every reader plugged in from its own file, so a station that writes another
// file would have its readers written over as soon as it lets go of them.
#pragma once

#include <QString>

namespace rfid {

// The plug-in service's settings file: /etc/rfid-demo/reader.json, or
// $RFID_SERVICE_SETTINGS when set.
QString serviceSettingsFile();

// Why the station may not set up readers from `stationFile` here: the
// service's file exists and says something else (its bytes differ), naming
// both files. Empty when the service would not interfere.
QString serviceConflict(const QString& stationFile, const QString& serviceFile = serviceSettingsFile());

} // namespace rfid
