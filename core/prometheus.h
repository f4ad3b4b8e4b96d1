// An audit as metrics in the Prometheus text exposition format, for
// node_exporter's textfile collector (a *.prom file in its folder, replaced
// atomically):
//
//   # HELP rfid_reader_agrees Whether the reader's settings agree with the settings file (1) or not (0).
//   # TYPE rfid_reader_agrees gauge
//   rfid_reader_agrees{device="sim:0",serial="SIM-0000"} 1
#pragma once

#include "audit.h"

#include <QByteArray>
#include <QString>

namespace rfid {

// A label value as the format writes it between double quotes: backslash,
// double quote and line feed escaped as \\, \" and \n.
QString prometheusLabelValue(const QString& value);

// The metrics of `audit`, taken at `unixSeconds`.
QByteArray auditMetrics(const AuditOutcome& audit, qint64 unixSeconds);

} // namespace rfid
