// The serial component on Windows: a COM port opened for overlapped I/O, with
// a receive thread waiting on comm events and reads and a transmit thread
// writing the queued blocks. Every event reaches the owner's thread through the
// same queued calls as on the other platforms.
#include "tcomm.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <QByteArray>

#include <utility>

using namespace rfid::comm;

namespace {

// The driver's input and output queues.
constexpr DWORD kQueueBytes = 4096;

// The line events the receive thread waits for. A break is a line error too.
constexpr DWORD kLineErrorEvents = EV_ERR | EV_BREAK;
constexpr DWORD kLineEvents = kLineErrorEvents | EV_RLSD | EV_RING;

HANDLE asHandle(void* h) {
    return static_cast<HANDLE>(h);
}

void closeHandle(void*& h) {
    if (h) {
        ::CloseHandle(asHandle(h));
        h = nullptr;
    }
}

bool isSignalled(HANDLE event) {
    return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Opens a port as the component does: read and write, exclusive, overlapped.
HANDLE openPort(const QString& name) {
    return ::CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// Waits for an overlapped operation that may still be in progress on `port`
// after CancelIo, so that its OVERLAPPED and buffer can go.
void finishCancelled(HANDLE port, OVERLAPPED& ov) {
    DWORD ignored = 0;
    ::GetOverlappedResult(port, &ov, &ignored, TRUE);
}

} // namespace

// The thread entry points, with the calling convention CreateThread wants.
struct TCommThreads {
    static DWORD WINAPI read(LPVOID arg) {
        auto* comm = static_cast<TComm*>(arg);
        comm->readLoop(comm->m_handle, comm->m_closeEvent);
        return 0;
    }
    static DWORD WINAPI write(LPVOID arg) {
        auto* comm = static_cast<TComm*>(arg);
        comm->writeLoop(comm->m_handle, comm->m_closeEvent, comm->m_writeWake);
        return 0;
    }
};

// --- Opening and closing ----------------------------------------------------------

void TComm::OpenPort() {
    if (IsOpen())
        throw ECommsError(QString::fromLatin1(kAlreadyOpen));

    const HANDLE port = openPort(windowsPortPath(m_commName));
    if (port == INVALID_HANDLE_VALUE)
        throw ECommsError(QString::fromLatin1(kNoSuchPort));

    // A character device that has no comm state (NUL, CON) is no serial port.
    DCB probe{};
    probe.DCBlength = sizeof probe;
    if (::GetFileType(port) != FILE_TYPE_CHAR || !::GetCommState(port, &probe)) {
        ::CloseHandle(port);
        throw ECommsError(QString::fromLatin1(kNotCommHandle));
    }
    if (!::SetupComm(port, kQueueBytes, kQueueBytes)) {
        ::CloseHandle(port);
        throw ECommsError(QString::fromLatin1(kNoBuffer));
    }

    m_handle = port;
    ::PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    m_sendDataEmpty = true;
    applyTimeouts();
    applyLineSettings();

    m_closeEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_writeWake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_closeEvent || !m_writeWake) {
        closeHandles();
        throw ECommsError(QString::fromLatin1(kNoEvent));
    }

    // Both threads are created suspended and started together once both exist.
    m_readThread = ::CreateThread(nullptr, 0, &TCommThreads::read, this, CREATE_SUSPENDED, nullptr);
    if (!m_readThread) {
        closeHandles();
        throw ECommsError(QString::fromLatin1(kNoReadThread));
    }
    ::SetThreadPriority(asHandle(m_readThread), THREAD_PRIORITY_HIGHEST);

    m_writeThread = ::CreateThread(nullptr, 0, &TCommThreads::write, this, CREATE_SUSPENDED, nullptr);
    if (!m_writeThread) {
        // The receive thread sees the close event as soon as it runs.
        ::ResumeThread(asHandle(m_readThread));
        stopThreads();
        closeHandles();
        throw ECommsError(QString::fromLatin1(kNoWriteThread));
    }
    ::SetThreadPriority(asHandle(m_writeThread), THREAD_PRIORITY_ABOVE_NORMAL);

    ::ResumeThread(asHandle(m_readThread));
    ::ResumeThread(asHandle(m_writeThread));
}

void TComm::ClosePort() {
    if (!IsOpen())
        return;
    stopThreads();
    closeHandles();
}

void TComm::stopThreads() {
    // Every wait of both threads includes the close event, and aborting the
    // pending I/O completes what they wait on, so each ends at once.
    if (m_closeEvent)
        ::SetEvent(asHandle(m_closeEvent));
    ::PurgeComm(asHandle(m_handle), PURGE_RXABORT | PURGE_RXCLEAR);
    if (m_readThread) {
        ::WaitForSingleObject(asHandle(m_readThread), INFINITE);
        closeHandle(m_readThread);
    }
    ::PurgeComm(asHandle(m_handle), PURGE_TXABORT | PURGE_TXCLEAR);
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_sendDataEmpty = true;
    }
    if (m_writeThread) {
        ::WaitForSingleObject(asHandle(m_writeThread), INFINITE);
        closeHandle(m_writeThread);
    }
}

void TComm::closeHandles() {
    closeHandle(m_closeEvent);
    closeHandle(m_writeWake);
    clearSendQueue();
    closeHandle(m_handle);
}

bool TComm::WriteCommData(const unsigned char* buffer, quint16 size) {
    if (!IsOpen())
        return false;
    queueForSending(buffer, size);
    ::SetEvent(asHandle(m_writeWake));
    return true;
}

// --- Settings ------------------------------------------------------------------------

void TComm::applyTimeouts() {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = m_readIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = m_readTotalMultiplier;
    t.ReadTotalTimeoutConstant = m_readTotalConstant;
    t.WriteTotalTimeoutMultiplier = m_writeTotalMultiplier;
    t.WriteTotalTimeoutConstant = m_writeTotalConstant;
    const bool noTotal = t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    if (noTotal && (t.ReadIntervalTimeout == 0 || t.ReadIntervalTimeout == MAXDWORD)) {
        // No read timeout at all would hold every block until 2048 bytes came,
        // and an endless interval alone would make every read return at once,
        // empty or not. Instead a read ends with whatever has arrived once there
        // is a byte; the (49-day) limit on waiting for the first byte only
        // restarts the read.
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = MAXDWORD - 1;
    }
    ::SetCommTimeouts(asHandle(m_handle), &t);
}

void TComm::applyLineSettings() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(asHandle(m_handle), &dcb))
        return;

    // Every field not named here stays as the driver had it.
    dcb.BaudRate = m_baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = m_parityCheck;
    dcb.fOutxCtsFlow = m_outxCtsFlow;
    dcb.fOutxDsrFlow = m_outxDsrFlow;
    switch (m_dtrControl) {
    case TDtrControl::DtrEnable:
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        break;
    case TDtrControl::DtrDisable:
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        break;
    case TDtrControl::DtrHandshake:
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        break;
    }
    dcb.fDsrSensitivity = m_dsrSensitivity;
    dcb.fTXContinueOnXoff = m_txContinueOnXoff;
    dcb.fOutX = m_outxXonXoffFlow;
    dcb.fInX = m_inxXonXoffFlow;
    dcb.fErrorChar = m_replaceWhenParityError;
    dcb.fNull = m_ignoreNullChar;
    switch (m_rtsControl) {
    case TRtsControl::RtsEnable:
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        break;
    case TRtsControl::RtsDisable:
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        break;
    case TRtsControl::RtsHandshake:
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case TRtsControl::RtsTransmissionAvailable:
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        break;
    }
    dcb.XonLim = m_xonLimit;
    dcb.XoffLim = m_xoffLimit;
    dcb.ByteSize = BYTE(5 + static_cast<int>(m_byteSize));
    // The enumerations follow the driver's numbering: NOPARITY..SPACEPARITY,
    // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS.
    dcb.Parity = BYTE(static_cast<int>(m_parity));
    dcb.StopBits = BYTE(static_cast<int>(m_stopBits));
    dcb.XonChar = char(m_xonChar);
    dcb.XoffChar = char(m_xoffChar);
    dcb.ErrorChar = char(m_replacedChar);
    ::SetCommState(asHandle(m_handle), &dcb);
}

// --- Receive thread ----------------------------------------------------------------

// Keeps one comm-event wait and one read of up to 2048 bytes outstanding. The
// driver applies the read timeouts, the replacement of bytes with parity errors
// and the dropping of NULs, so a completed read is handed over as it is.
// A driver without line events (no modem status, a Wine port on a
// pseudo-terminal) refuses the event wait; the thread then goes on with reads
// alone, and a port that is really gone shows as a failed read.
void TComm::readLoop(void* portHandle, void* stopHandle) {
    const HANDLE port = asHandle(portHandle);
    const HANDLE stop = asHandle(stopHandle);

    OVERLAPPED readOv{};
    OVERLAPPED eventOv{};
    readOv.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    eventOv.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    unsigned char buffer[kReadBlockBytes];
    DWORD eventMask = 0;
    bool eventPending = false;
    bool readPending = false;
    bool watchEvents = true;
    bool hangup = false;

    // A failed call ends the thread. It is a normal end when the port is being
    // closed or was closed under the thread, a hang-up otherwise.
    auto failed = [&] {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INVALID_HANDLE && error != ERROR_OPERATION_ABORTED && !isSignalled(stop))
            hangup = true;
    };
    auto deliver = [&](DWORD count) {
        // Zero bytes: a read timeout ran out before the first byte; the read restarts.
        if (count > 0)
            postData(QByteArray(reinterpret_cast<const char*>(buffer), int(count)));
    };
    // Hands a line event over: errors, carrier and ring.
    auto lineEvent = [&](DWORD mask) {
        if (mask & kLineErrorEvents) {
            DWORD errors = 0;
            COMSTAT status{};
            if (::ClearCommError(port, &errors, &status) && errors != 0)
                postError(quint32(errors));
        }
        quint32 modem = 0;
        if (mask & EV_RLSD)
            modem |= kModemCarrier;
        if (mask & EV_RING)
            modem |= kModemRing;
        if (modem != 0)
            postModem(modem);
        // An empty mask: the driver reports no line events after all.
        if ((mask & kLineEvents) == 0)
            watchEvents = false;
    };
    // A refused event wait ends the thread only while the port is being closed.
    auto eventsRefused = [&] {
        const DWORD error = ::GetLastError();
        watchEvents = false;
        return error == ERROR_INVALID_HANDLE || error == ERROR_OPERATION_ABORTED || isSignalled(stop);
    };

    if (!readOv.hEvent || !eventOv.hEvent) {
        failed();
    } else {
        if (!::SetCommMask(port, kLineEvents))
            watchEvents = false;
        for (;;) {
            if (isSignalled(stop))
                break;
            if (watchEvents && !eventPending) {
                eventMask = 0;
                if (::WaitCommEvent(port, &eventMask, &eventOv)) {
                    lineEvent(eventMask);
                    continue;
                }
                if (::GetLastError() != ERROR_IO_PENDING) {
                    if (eventsRefused())
                        break;
                    continue;
                }
                eventPending = true;
            }
            if (!readPending) {
                DWORD got = 0;
                if (::ReadFile(port, buffer, kReadBlockBytes, &got, &readOv)) {
                    deliver(got);
                    continue;
                }
                if (::GetLastError() != ERROR_IO_PENDING) {
                    failed();
                    break;
                }
                readPending = true;
            }

            // Without a pending event wait its event is left out: it may still be
            // set from the last one.
            const HANDLE waits[3] = {stop, readOv.hEvent, eventOv.hEvent};
            const DWORD which = ::WaitForMultipleObjects(eventPending ? 3 : 2, waits, FALSE, INFINITE);
            if (which == WAIT_OBJECT_0)
                break;
            if (which == WAIT_OBJECT_0 + 2) {
                DWORD ignored = 0;
                eventPending = false;
                if (!::GetOverlappedResult(port, &eventOv, &ignored, FALSE)) {
                    if (eventsRefused())
                        break;
                    continue;
                }
                lineEvent(eventMask);
            } else if (which == WAIT_OBJECT_0 + 1) {
                DWORD got = 0;
                readPending = false;
                if (!::GetOverlappedResult(port, &readOv, &got, FALSE)) {
                    failed();
                    break;
                }
                deliver(got);
            } else {
                failed();
                break;
            }
        }
    }

    // Nothing may still write into this frame once the thread is gone.
    if (eventPending || readPending) {
        ::CancelIo(port);
        if (eventPending)
            finishCancelled(port, eventOv);
        if (readPending)
            finishCancelled(port, readOv);
    }
    if (hangup)
        postHangup();
    ::PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR);
    if (readOv.hEvent)
        ::CloseHandle(readOv.hEvent);
    if (eventOv.hEvent)
        ::CloseHandle(eventOv.hEvent);
}

// --- Transmit thread ---------------------------------------------------------------

void TComm::writeLoop(void* portHandle, void* stopHandle, void* wakeHandle) {
    const HANDLE port = asHandle(portHandle);
    const HANDLE stop = asHandle(stopHandle);
    const HANDLE wake = asHandle(wakeHandle);

    using Outcome = WriteOutcome;
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto failure = [&] {
        const DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_HANDLE)
            return Outcome::Gone;
        if (error == ERROR_OPERATION_ABORTED || isSignalled(stop))
            return Outcome::Stopped;
        return Outcome::Failed;
    };
    // Writes the whole block; a write that ends early (a write timeout) is
    // repeated for the rest.
    auto writeBlock = [&](const QByteArray& block) {
        qsizetype offset = 0;
        while (offset < block.size()) {
            DWORD written = 0;
            if (!::WriteFile(port, block.constData() + offset, DWORD(block.size() - offset), &written, &ov)) {
                if (::GetLastError() != ERROR_IO_PENDING)
                    return failure();
                const HANDLE waits[2] = {stop, ov.hEvent};
                const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
                if (which != WAIT_OBJECT_0 + 1) {
                    ::CancelIo(port);
                    finishCancelled(port, ov);
                    return which == WAIT_OBJECT_0 ? Outcome::Stopped : Outcome::Failed;
                }
                if (!::GetOverlappedResult(port, &ov, &written, FALSE))
                    return failure();
            }
            offset += qsizetype(written);
        }
        return Outcome::Written;
    };

    Outcome outcome = ov.hEvent ? Outcome::Written : Outcome::Failed;
    while (outcome == Outcome::Written) {
        const HANDLE waits[2] = {stop, wake};
        const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0)
            break;
        if (which != WAIT_OBJECT_0 + 1) {
            outcome = Outcome::Failed;
            break;
        }
        outcome = sendQueued(writeBlock);
    }
    if (outcome == Outcome::Failed)
        postHangup();
    ::PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
    if (ov.hEvent)
        ::CloseHandle(ov.hEvent);
    clearSendQueue();
}

// --- Port list -----------------------------------------------------------------------

QStringList TComm::GetCom() {
    QStringList candidates;
    for (int n = 1; n <= 16; ++n)
        candidates << QStringLiteral("COM%1").arg(n);
    return GetCom(candidates);
}

QStringList TComm::GetCom(const QStringList& candidates) {
    // Each port is opened as the component opens it; one in use by another
    // program does not open and is left out.
    QStringList found;
    for (const QString& name : candidates) {
        const QString path = windowsPortPath(name);
        const HANDLE port = openPort(path);
        if (port == INVALID_HANDLE_VALUE)
            continue;
        found << (path.startsWith(QLatin1String("\\\\.\\")) ? path.mid(4) : path);
        ::CloseHandle(port);
    }
    return found;
}

#endif // _WIN32
