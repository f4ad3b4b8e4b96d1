// One exchange with the reader through the USB library loaded at run time.
#pragma once

#include "exchangeoutcome.h"
#include "hex.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace rfid {

// One reader as the library lists it (hidDeviceInfo).
struct ReaderEntry {
    QString path;
    QString vendor;  // four hex digits
    QString product; // four hex digits
    int interfaceNumber = -1;
    QString manufacturer;
    QString productName;
    QString serial;
    QString access; // "ok", "denied", "busy", ...; empty when the library did not check

    // What identifies the reader for hidSelectDevice: its serial number when it has
    // one (it stays the same across a replug), else its path.
    QString key() const { return serial.isEmpty() ? path : serial; }
    // "Simulated RFID reader (SIM-0001)", "04d8:003f (/dev/hidraw3)".
    QString label() const;
};

// Parses the "key=value" lines of hidDeviceInfo; unknown keys are ignored.
ReaderEntry parseReaderEntry(const QByteArray& text);

struct LinkErrorInfo {
    LinkError kind = LinkError::None;
    QString text;
};

// The USB library, found by file name through the system's library search and
// loaded when first needed. It is never unloaded; a library that could not be
// found is looked for again at the next exchange.
//
// Besides the two entry points every library has, the optional ones of
// usb/rfidusb_api.h are looked up by name; each call below says what it does
// without its entry point.
class UsbLibrary {
public:
    using WriteFn = int (*)(int device, int count, const unsigned char* frame);
    using ReadFn = int (*)(int device, int capacity, unsigned char* buffer);

    // "librfidusb.so" on Linux, "usb.dll" on Windows, "librfidusb.dylib" on macOS.
    static QString defaultFileName();

    explicit UsbLibrary(QString fileName = defaultFileName());

    // Entry points by name; nullptr when the library or the entry point is missing.
    WriteFn writeFn();
    ReadFn readFn();

    QString fileName() const { return m_fileName; }
    // Whether the library file could be loaded (tries again when it could not).
    bool isLoaded();

    // The readers attached now; nullopt when the library cannot list them.
    std::optional<QList<ReaderEntry>> readers();
    // Chooses the reader for the following exchanges by path or serial (empty:
    // automatic). False when there is no such reader; true without the entry point
    // only for the automatic choice.
    bool selectReader(const QString& key);
    // The path or serial last chosen; empty for the automatic choice.
    QString selectedReader() const { return m_selected; }
    // Why the last exchange failed; nullopt when the library cannot say.
    std::optional<LinkErrorInfo> lastError();
    // The file that stands for the reader the next exchange goes to, for the
    // per-reader lock (hidLockPath): empty when there is nothing to lock;
    // nullopt when the library cannot say.
    std::optional<QString> lockPath();
    // The descriptor that turns readable when a reader comes or goes; -1 without one.
    int monitorFd();
    void monitorDrain();

    // Raw entry points, for callers outside Qt (nullptr when missing).
    void* rawSymbol(const char* name) { return symbol(name); }

private:
    void* symbol(const char* name);
    QString m_fileName;
    QString m_selected;
    void* m_handle = nullptr;
};

// The sizes of the exchange buffers: what the library may be asked to fill,
// and the zeroed receive buffer it fills.
constexpr int kReadCapacity = 245;
constexpr int kReceiveBufferBytes = 257;

struct ExchangeResult {
    QStringList log; // lines for the message log, in order
    ExchangeOutcome outcome = ExchangeOutcome::NotWritten;
    std::vector<std::uint8_t> answer; // as it came (the length byte's worth), empty when none
};

// The line written when a frame could not be written to the reader.
QString writeFailureText();

// Writes `frame` and reads the answer. With `debug` the frame (as it was
// given) and the answer are logged as "发送..." and "接收..." lines.
ExchangeResult exchange(UsbLibrary& library, const Frame& frame, bool debug);

} // namespace rfid
