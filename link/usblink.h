// One exchange with the reader through the USB library loaded at run time.
#pragma once

#include <QString>
#include <QStringList>

namespace rfid {

// The USB library, found by file name through the system's library search and
// loaded when first needed. It is never unloaded; a library that could not be
// found is looked for again at the next exchange.
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
    // Any other entry point by name (the optional ones, the simulated reader's
    // controls); nullptr when the library or the entry point is missing.
    void* entryPoint(const char* name) { return symbol(name); }

private:
    void* symbol(const char* name);
    QString m_fileName;
    void* m_handle = nullptr;
};

// The sizes of the exchange buffers: what the library may be asked to fill,
// and the zeroed receive buffer it fills.
constexpr int kReadCapacity = 245;
constexpr int kReceiveBufferBytes = 257;

struct ExchangeResult {
    QStringList log;  // lines for the message log, in order
    QString response; // the answer as upper-case hex, empty when none came
};

// The line written when a frame could not be written to the reader.
QString writeFailureText();

// Writes the frame `frameText` (hex digits; anything else is ignored) and reads
// the answer. With `debug` the frame and the answer are logged as
// "发送..." and "接收..." lines. A frame longer than the transmit buffer, or
// one with an odd number of digits, is not written: one line says why.
ExchangeResult exchange(UsbLibrary& library, const QString& frameText, bool debug);

} // namespace rfid
