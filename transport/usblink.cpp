#include "usblink.h"

#include "hex.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX // std::min below, not the macro
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace rfid {

QString UsbLibrary::defaultFileName() {
#if defined(_WIN32)
    return QStringLiteral("usb.dll");
#elif defined(__APPLE__)
    return QStringLiteral("librfidusb.dylib");
#else
    return QStringLiteral("librfidusb.so");
#endif
}

UsbLibrary::UsbLibrary(QString fileName) : m_fileName(std::move(fileName)) {}

void* UsbLibrary::symbol(const char* name) {
    if (!m_handle) {
#ifdef _WIN32
        m_handle = reinterpret_cast<void*>(LoadLibraryA(m_fileName.toLocal8Bit().constData()));
#else
        m_handle = dlopen(m_fileName.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
#endif
        if (!m_handle)
            return nullptr;
    }
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
#else
    return dlsym(m_handle, name);
#endif
}

UsbLibrary::WriteFn UsbLibrary::writeFn() {
    return reinterpret_cast<WriteFn>(symbol("hidWriteData"));
}

UsbLibrary::ReadFn UsbLibrary::readFn() {
    return reinterpret_cast<ReadFn>(symbol("hidReadData"));
}

bool UsbLibrary::isLoaded() {
    symbol("hidWriteData");
    return m_handle != nullptr;
}

std::optional<QList<ReaderEntry>> UsbLibrary::readers() {
    auto enumerate = reinterpret_cast<int (*)()>(symbol("hidEnumerate"));
    auto info = reinterpret_cast<int (*)(int, char*, int)>(symbol("hidDeviceInfo"));
    if (!enumerate || !info)
        return std::nullopt;
    const int count = enumerate();
    if (count < 0)
        return std::nullopt;
    QList<ReaderEntry> list;
    // A bound, whatever a library claims.
    for (int i = 0; i < std::min(count, 64); ++i) {
        std::array<char, 2048> buffer{};
        const int n = info(i, buffer.data(), int(buffer.size()));
        if (n < 0 || n >= int(buffer.size()))
            continue;
        list << parseReaderEntry(QByteArray(buffer.data(), n));
    }
    return list;
}

bool UsbLibrary::selectReader(const QString& key) {
    auto select = reinterpret_cast<int (*)(const char*)>(symbol("hidSelectDevice"));
    const bool chosen = select ? select(key.toUtf8().constData()) == 0 : key.isEmpty();
    if (chosen)
        m_selected = key;
    return chosen;
}

std::optional<LinkErrorInfo> UsbLibrary::lastError() {
    auto last = reinterpret_cast<int (*)(char*, int)>(symbol("hidLastError"));
    if (!last)
        return std::nullopt;
    std::array<char, 512> buffer{};
    const int kind = last(buffer.data(), int(buffer.size()));
    buffer.back() = '\0';
    LinkErrorInfo info;
    info.kind = linkErrorOf(kind);
    info.text = QString::fromUtf8(buffer.data());
    return info;
}

std::optional<QString> UsbLibrary::lockPath() {
    auto path = reinterpret_cast<int (*)(char*, int)>(symbol("hidLockPath"));
    if (!path)
        return std::nullopt;
    std::array<char, 4096> buffer{};
    const int n = path(buffer.data(), int(buffer.size()));
    if (n < 0 || n >= int(buffer.size()))
        return std::nullopt;
    return QString::fromUtf8(buffer.data(), n);
}

int UsbLibrary::monitorFd() {
    auto fd = reinterpret_cast<int (*)()>(symbol("hidMonitorFd"));
    return fd ? fd() : -1;
}

void UsbLibrary::monitorDrain() {
    if (auto drain = reinterpret_cast<void (*)()>(symbol("hidMonitorDrain")))
        drain();
}

ReaderEntry parseReaderEntry(const QByteArray& text) {
    ReaderEntry e;
    for (const QByteArray& line : text.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(line.mid(eq + 1));
        if (key == "path")
            e.path = value;
        else if (key == "vendor")
            e.vendor = value;
        else if (key == "product")
            e.product = value;
        else if (key == "interface") {
            bool ok = false;
            const int n = value.toInt(&ok);
            e.interfaceNumber = ok ? n : -1;
        } else if (key == "manufacturer")
            e.manufacturer = value;
        else if (key == "product_name")
            e.productName = value;
        else if (key == "serial")
            e.serial = value;
        else if (key == "access")
            e.access = value;
    }
    return e;
}

QString ReaderEntry::label() const {
    const QString name = productName.isEmpty() ? vendor + QLatin1Char(':') + product : productName;
    const QString where = serial.isEmpty() ? path : serial;
    return where.isEmpty() ? name : name + QStringLiteral(" (") + where + QLatin1Char(')');
}

QString writeFailureText() {
    return QStringLiteral("Non data receiving,Please check the equipment....");
}

ExchangeResult exchange(UsbLibrary& library, const Frame& frame, bool debug) {
    ExchangeResult result;
    if (debug)
        result.log << QStringLiteral("发送...") + frame.text;

    std::array<unsigned char, kMaxFrameBytes> transmit{};
    const int count = int(std::min(frame.bytes.size(), transmit.size()));
    std::copy_n(frame.bytes.begin(), count, transmit.begin());

    UsbLibrary::WriteFn write = library.writeFn();
    if (!write || write(0, count, transmit.data()) != count) {
        result.log << writeFailureText();
        return result;
    }
    result.outcome = ExchangeOutcome::NoAnswer;

    UsbLibrary::ReadFn read = library.readFn();
    std::array<unsigned char, kReceiveBufferBytes> receive{};
    const int got = read ? read(0, kReadCapacity, receive.data()) : -1;
    // Nothing read means no answer, whatever the untouched buffer holds.
    if (got > 0) {
        const int length = receive[2];
        const int take = std::min({length + 5, got, kReadCapacity});
        result.answer.assign(receive.begin(), receive.begin() + take);
        result.outcome = ExchangeOutcome::Answered;
    }
    if (debug)
        result.log << QStringLiteral("接收...") + toHex(result.answer.data(), int(result.answer.size()));
    return result;
}

} // namespace rfid
