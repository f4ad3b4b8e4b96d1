// What this computer last wrote to each reader, kept in a state folder so that
// a later write can leave out the settings the reader cannot report when they
// are unchanged. One small JSON file per reader, replaced atomically:
//
//   {
//     "version": 1,
//     "port": "1-2.3",
//     "serial": "0001A7",
//     "device": "/dev/hidraw3",
//     "written": "2026-12-08T11:54:30Z",
//     "reported": "0A0C000000010101000000000000000D",   (language + the 16 output bytes)
//     "unreported": { "reader_mode": "01", "bluetooth_mode": "00",
//                     "bluetooth_name": "Till 4", "sleep_time": "04" }
//   }
//
// A reader is recognised by its USB port and its serial number together: the
// port tells apart readers that share a serial number (or have none), the
// serial tells apart readers that follow one another on one port.
#pragma once

#include "writeflow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace rfid {

// The folder of the records: $STATE_DIRECTORY (what systemd's StateDirectory=
// sets; the first of several), else /var/lib/rfid-demo for root, else
// $XDG_STATE_HOME/rfid-demo (~/.local/state/rfid-demo); on Windows
// %LOCALAPPDATA%\rfid-demo. Empty with `why` set when there is none (no home
// folder).
QString stateFolder(QString* why = nullptr);

struct ReaderIdentity {
    QString port;   // the USB port path ("1-2.3"); the device path when it has none
    QString serial; // may be empty
    // The record's file name: "reader-<port>_<serial>.json", every character
    // but letters, digits, '.' and '-' percent-encoded.
    QString fileName() const;
    // "port 1-2.3, serial 0001A7" for messages.
    QString text() const;
};

// The USB port path of a hidraw device ("/dev/hidraw3" -> "1-2.3"), read from
// sysfs under `sysfsRoot`; empty for any other path or a device not on USB.
QString usbPortOf(const QString& devicePath, const QString& sysfsRoot);
// The identity of the reader at `devicePath` (as the USB library lists it).
// `sysfsRoot` empty: $RFIDUSB_SYSFS_ROOT, else /sys.
ReaderIdentity readerIdentity(const QString& devicePath, const QString& serial, QString sysfsRoot = {});

enum class RecordStatus {
    None,    // no record: nothing written from here, or it was forgotten
    Found,   // `lastWrite` holds it
    Damaged, // the file is there but cannot be used; `problem` says why
};

struct RecordLoad {
    RecordStatus status = RecordStatus::None;
    LastWrite lastWrite;
    QString path;
    QString problem;
};

// The file's text, and reading it back. parseWriteRecord fails (with `problem`)
// for anything but a record of this identity in the form above.
QByteArray writeRecordText(const ReaderIdentity& identity, const QString& device, const LastWrite& lastWrite);
bool parseWriteRecord(const QByteArray& data, const ReaderIdentity& identity, LastWrite& lastWrite,
                      QString& problem);

// Larger record files are damaged by definition.
constexpr qint64 kMaxRecordBytes = 64 * 1024;

RecordLoad loadWriteRecord(const QString& folder, const ReaderIdentity& identity);
// Creates the folder when missing and replaces the record atomically.
bool saveWriteRecord(const QString& folder, const ReaderIdentity& identity, const QString& device,
                     const LastWrite& lastWrite, QString& error);
// Removes the record (nothing is known about the reader any more); true when
// there is none afterwards.
bool forgetWriteRecord(const QString& folder, const ReaderIdentity& identity, QString& error);

// The reader the next exchange goes to: the one chosen, else the first the
// library lists (its automatic choice). Empty when the library lists none or
// cannot list.
std::optional<ReaderEntry> readerInUse(UsbLibrary& usb);

// The paths of the readers a --device key would choose among when it is a
// serial number several readers share (and no reader's path); empty when the
// key names one reader or none.
QStringList readersSharing(const QList<ReaderEntry>& readers, const QString& key);

// The record of the reader a library talks to now.
struct ReaderRecord {
    std::optional<ReaderEntry> reader;
    std::optional<ReaderIdentity> identity; // empty when there is no reader or no state folder
    QString folder;
    QString why; // why there is no state folder
    RecordLoad load;
};
ReaderRecord openReaderRecord(UsbLibrary& usb);

// Whether a command (by its command byte) may change what a record holds:
// every command that writes a setting, and the factory reset.
bool changesRecordedSettings(std::uint8_t command);

// Forgets the record of the reader the library talks to now, before a command
// that changes it. Costs nothing when the state folder holds no record at all.
bool forgetRecordOfReaderInUse(UsbLibrary& usb, QString& error);

} // namespace rfid
