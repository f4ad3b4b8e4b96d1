// What rfidctl apply, set and audit say about one reader with --json: one JSON
// object per reader on a line of its own, its keys always in this order:
//
//   {"device":"sim:0","serial":"SIM-0000","changed":true,"written":["keyboard language"],
//    "unchanged":["output settings"],"not_written":[],"cannot_be_read_back":["sleep_time"],
//    "differences":[{"key":"language","reader":"American style","wanted":"German"}],"error":null}
//
// apply and set add "check" (true with --check: nothing was sent, "written"
// lists what would be) and "unreported_writes" ({"key","reader":"(not reported)",
// "wanted"} for each setting the reader cannot report among those written),
// and "record_error" when the record of the write could not be kept;
// audit adds "agrees" and "refused" (the reader refused the read).
#pragma once

#include "readersettings.h"
#include "usblink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace rfid::cli {

struct ReaderReport {
    QString device;
    QString serial;
    bool changed = false;
    QStringList written;
    QStringList unchanged;
    QStringList notWritten;
    QStringList cannotBeReadBack;
    QList<SettingDifference> differences;
    std::optional<QString> error;
    std::optional<bool> check;
    std::optional<bool> agrees;
    std::optional<bool> refused;
    // apply and set: the settings the reader cannot report that were written
    // (or would be), reader "(not reported)"; listed as "unreported_writes".
    std::optional<QList<SettingDifference>> unreportedWrites;
    // apply and set: why the record of the write was not kept ("record_error",
    // only when it was not).
    std::optional<QString> recordError;

    // The object on one line, with the line feed.
    QByteArray jsonLine() const;
};

// The settings of `wanted` the reader cannot report that the steps named in
// `written` write, each with reader "(not reported)" and its wanted value.
QList<SettingDifference> unreportedWrites(const ReaderSettings& wanted, const QStringList& written);

// The reader the next exchange goes to: the one chosen, else the first the
// library lists (its automatic choice). Empty when the library lists none or
// cannot list.
std::optional<ReaderEntry> chosenReader(UsbLibrary& usb);

} // namespace rfid::cli
