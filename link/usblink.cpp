#include "usblink.h"

#include "hex.h"

#include <algorithm>
#include <array>
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

QString writeFailureText() {
    return QStringLiteral("Non data receiving,Please check the equipment....");
}

ExchangeResult exchange(UsbLibrary& library, const QString& frameText, bool debug) {
    ExchangeResult result;
    const QString digits = hexDigits(frameText);
    if (debug)
        result.log << QStringLiteral("发送...") + digits;

    if (digits.size() % 2 != 0) {
        result.log << frameErrorText(FrameError::OddDigits);
        return result;
    }
    const std::vector<std::uint8_t> frame = hexToBytes(digits);
    if (frame.size() > std::size_t(kMaxFrameBytes)) {
        result.log << frameErrorText(FrameError::TooLong);
        return result;
    }

    std::array<unsigned char, kMaxFrameBytes> transmit{};
    std::copy(frame.begin(), frame.end(), transmit.begin());
    const int count = int(frame.size());

    UsbLibrary::WriteFn write = library.writeFn();
    if (!write || write(0, count, transmit.data()) != count) {
        result.log << writeFailureText();
        return result;
    }

    UsbLibrary::ReadFn read = library.readFn();
    std::array<unsigned char, kReceiveBufferBytes> receive{};
    const int got = read ? read(0, kReadCapacity, receive.data()) : -1;
    // Nothing read means no answer, whatever the untouched buffer holds.
    if (got > 0) {
        const int length = receive[2];
        const int take = std::min({length + 5, got, kReadCapacity});
        result.response = toHex(receive.data(), take);
    }
    if (debug)
        result.log << QStringLiteral("接收...") + result.response;
    return result;
}

} // namespace rfid
