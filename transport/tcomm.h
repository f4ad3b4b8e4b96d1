// The serial component: one serial port with a receive thread and a transmit
// thread that hand everything they have to the owner's thread.
//
// Settings are properties that are stored and, when the port is open, applied
// to it again as soon as they change. Opening the port starts both threads;
// every event is raised on the thread the component lives on, through queued
// calls to the component itself, so handlers never run on a port thread.
#pragma once

#include "errors.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// An error of the serial component (opening the port).
class ECommsError : public rfid::RfidError {
public:
    using RfidError::RfidError;
};

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
// Data bits: 5 + the index.
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

class TComm;

using TReceiveDataEvent =
    std::function<void(TComm* sender, const unsigned char* buffer, quint16 bufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* sender, quint32 eventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* sender, quint32 modemEvent)>;
using TRequestHangupEvent = std::function<void(TComm* sender)>;
using TSendDataEmptyEvent = std::function<void(TComm* sender)>;

namespace rfid::comm {

// The texts of the errors raised by OpenPort.
inline const char* const kAlreadyOpen = "This serial port already opened";
inline const char* const kNoSuchPort = "the com is not exist!...";
inline const char* const kNotCommHandle = "File handle is not a comm handle ";
inline const char* const kNoBuffer = "Cannot setup comm buffer";
inline const char* const kNoEvent = "Unable to create event";
inline const char* const kNoReadThread = "Unable to create read thread";
inline const char* const kNoWriteThread = "Unable to create write thread";

// Line error flags passed to OnReceiveError.
constexpr quint32 kErrorParity = 0x0004;
constexpr quint32 kErrorFrame = 0x0008;
constexpr quint32 kErrorBreak = 0x0010;
// Modem events passed to OnModemStateChange (they may be added).
constexpr quint32 kModemRing = 4;
constexpr quint32 kModemCarrier = 8;

// The largest block one read delivers.
constexpr int kReadBlockBytes = 2048;

// Undoes the marking the terminal driver applies while it checks parity: a
// byte received with an error arrives as 0xFF 0x00 byte, a break as 0xFF 0x00
// 0x00, and a real 0xFF byte as 0xFF 0xFF. The state carries over between
// reads, since a marked sequence can be split across two of them.
class ErrorMarkDecoder {
public:
    struct Options {
        bool marking = false; // the driver marks errors (else bytes pass unchanged)
        bool replace = false; // a byte with an error becomes `replacedChar`
        quint8 replacedChar = 0;
        bool ignoreNull = false;    // NUL bytes are dropped
        bool parityEnabled = false; // an error on a non-NUL byte is a parity (else framing) error
    };

    // Decodes `count` raw bytes into `out` (room for `count` bytes at least);
    // returns the number of bytes written and ORs the line errors seen into `errors`.
    int decode(const Options& options, const unsigned char* raw, int count, unsigned char* out,
               quint32& errors);

private:
    int m_state = 0; // 0: plain, 1: after 0xFF, 2: after 0xFF 0x00
};

} // namespace rfid::comm

class TComm : public QObject {
    Q_OBJECT
public:
    explicit TComm(QObject* parent = nullptr);
    // Closes the port (joining both threads) before the component goes.
    ~TComm() override;

    // Opens CommName and starts both threads; raises ECommsError on failure.
    void OpenPort();
    // Stops both threads and closes the port; nothing when it is closed.
    void ClosePort();
    bool IsOpen() const;
    // The open port's file descriptor, -1 while closed; on Windows its HANDLE,
    // null while closed.
    auto Handle() const;

    // Queues a copy of `buffer` for the transmit thread. False when the port is closed.
    bool WriteCommData(const unsigned char* buffer, quint16 size);
    // True when nothing waits to be sent.
    bool SendDataEmpty() const { return m_sendDataEmpty.load(); }

    // The serial devices that can be opened, named relative to "/dev/"
    // ("ttyUSB0"); on Windows "COM1" to "COM16".
    static QStringList GetCom();
    // The same test applied to the given device paths.
    static QStringList GetCom(const QStringList& candidates);
    // The name Windows opens for a port: "COM12" and "com3" in the device
    // namespace ("\\.\COM12"), which every port needs from COM10 on; a name
    // already in a namespace ("\\.\", "\\?\") as it is.
    static QString windowsPortPath(const QString& name);

    // --- Settings -----------------------------------------------------------
    QString CommName() const { return m_commName; }
    void setCommName(const QString& name) { m_commName = name; }

    quint32 BaudRate() const { return m_baudRate; }
    void setBaudRate(quint32 value) { setLine(m_baudRate, value); }
    bool ParityCheck() const { return m_parityCheck; }
    void setParityCheck(bool value) { setLine(m_parityCheck, value); }
    bool Outx_CtsFlow() const { return m_outxCtsFlow; }
    void setOutx_CtsFlow(bool value) { setLine(m_outxCtsFlow, value); }
    bool Outx_DsrFlow() const { return m_outxDsrFlow; }
    void setOutx_DsrFlow(bool value) { setLine(m_outxDsrFlow, value); }
    TDtrControl DtrControl() const { return m_dtrControl; }
    void setDtrControl(TDtrControl value) { setLine(m_dtrControl, value); }
    bool DsrSensitivity() const { return m_dsrSensitivity; }
    void setDsrSensitivity(bool value) { setLine(m_dsrSensitivity, value); }
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }
    void setTxContinueOnXoff(bool value) { setLine(m_txContinueOnXoff, value); }
    bool Outx_XonXoffFlow() const { return m_outxXonXoffFlow; }
    void setOutx_XonXoffFlow(bool value) { setLine(m_outxXonXoffFlow, value); }
    bool Inx_XonXoffFlow() const { return m_inxXonXoffFlow; }
    void setInx_XonXoffFlow(bool value) { setLine(m_inxXonXoffFlow, value); }
    bool ReplaceWhenParityError() const { return m_replaceWhenParityError; }
    void setReplaceWhenParityError(bool value) { setLine(m_replaceWhenParityError, value); }
    bool IgnoreNullChar() const { return m_ignoreNullChar; }
    void setIgnoreNullChar(bool value) { setLine(m_ignoreNullChar, value); }
    TRtsControl RtsControl() const { return m_rtsControl; }
    void setRtsControl(TRtsControl value) { setLine(m_rtsControl, value); }
    quint16 XonLimit() const { return m_xonLimit; }
    void setXonLimit(quint16 value) { setLine(m_xonLimit, value); }
    quint16 XoffLimit() const { return m_xoffLimit; }
    void setXoffLimit(quint16 value) { setLine(m_xoffLimit, value); }
    TByteSize ByteSize() const { return m_byteSize; }
    void setByteSize(TByteSize value) { setLine(m_byteSize, value); }
    TParity Parity() const { return m_parity; }
    void setParity(TParity value) { setLine(m_parity, value); }
    TStopBits StopBits() const { return m_stopBits; }
    void setStopBits(TStopBits value) { setLine(m_stopBits, value); }
    quint8 XonChar() const { return m_xonChar; }
    void setXonChar(quint8 value) { setLine(m_xonChar, value); }
    quint8 XoffChar() const { return m_xoffChar; }
    void setXoffChar(quint8 value) { setLine(m_xoffChar, value); }
    quint8 ReplacedChar() const { return m_replacedChar; }
    void setReplacedChar(quint8 value) { setLine(m_replacedChar, value); }

    quint32 ReadIntervalTimeout() const { return m_readIntervalTimeout; }
    void setReadIntervalTimeout(quint32 value) { setTimeout(m_readIntervalTimeout, value); }
    quint32 ReadTotalTimeoutMultiplier() const { return m_readTotalMultiplier; }
    void setReadTotalTimeoutMultiplier(quint32 value) { setTimeout(m_readTotalMultiplier, value); }
    quint32 ReadTotalTimeoutConstant() const { return m_readTotalConstant; }
    void setReadTotalTimeoutConstant(quint32 value) { setTimeout(m_readTotalConstant, value); }
    quint32 WriteTotalTimeoutMultiplier() const { return m_writeTotalMultiplier; }
    void setWriteTotalTimeoutMultiplier(quint32 value) { setTimeout(m_writeTotalMultiplier, value); }
    quint32 WriteTotalTimeoutConstant() const { return m_writeTotalConstant; }
    void setWriteTotalTimeoutConstant(quint32 value) { setTimeout(m_writeTotalConstant, value); }

    // --- Events, raised on the owner's thread ---------------------------------
    // A block of received bytes (at most 2048); the block is valid during the call.
    TReceiveDataEvent OnReceiveData;
    // Line errors (overrun, parity, framing, break) as flags.
    TReceiveErrorEvent OnReceiveError;
    // 8 for a carrier-detect change, plus 4 for a ring.
    TModemStateChangeEvent OnModemStateChange;
    // A port thread met an unexpected failure and ended.
    TRequestHangupEvent OnRequestHangup;
    // The transmit queue became empty.
    TSendDataEmptyEvent OnSendDataEmpty;

private:
    // What the port threads read while the window's thread may change settings.
    struct Live {
        std::atomic<quint32> readInterval{0};
        std::atomic<quint32> readTotalMultiplier{0};
        std::atomic<quint32> readTotalConstant{0};
        std::atomic<bool> marking{false};
        std::atomic<bool> replace{false};
        std::atomic<quint8> replacedChar{0};
        std::atomic<bool> ignoreNull{false};
        std::atomic<bool> parityEnabled{false};
    };

    template <typename T> void setLine(T& member, T value) {
        if (member == value)
            return;
        member = value;
        if (IsOpen())
            applyLineSettings();
    }
    template <typename T> void setTimeout(T& member, T value) {
        if (member == value)
            return;
        member = value;
        if (IsOpen())
            applyTimeouts();
    }

    void applyTimeouts();
    void applyLineSettings();
    void stopThreads();
    void closeHandles();

#ifdef _WIN32
    friend struct TCommThreads; // the thread entry points
    void readLoop(void* port, void* stop);
    void writeLoop(void* port, void* stop, void* wake);
#else
    void readLoop(int fd, int stop);
    void writeLoop(int fd, int stop, int wake);
#endif

    // The send queue, shared by WriteCommData and the transmit thread.
    void queueForSending(const unsigned char* buffer, quint16 size);
    void clearSendQueue();

    // Transmit thread: how handing a block to the port ended.
    enum class WriteOutcome { Written, Stopped, Failed, Gone };
    // Writes the queued blocks in order with `write` until the queue is empty
    // or a write does not succeed; when every block went out, marks the queue
    // empty and posts OnSendDataEmpty. Written when nothing failed.
    WriteOutcome sendQueued(const std::function<WriteOutcome(const QByteArray&)>& write);

    // Thread side: hand an event to the owner's thread.
    void postData(QByteArray block);
    void postError(quint32 flags);
    void postModem(quint32 event);
    void postHangup();
    void postSendEmpty();

    QString m_commName = QStringLiteral(
#ifdef _WIN32
        "COM2"
#else
        "/dev/ttyS1"
#endif
    );
    quint32 m_baudRate = 9600;
    bool m_parityCheck = false;
    bool m_outxCtsFlow = false;
    bool m_outxDsrFlow = false;
    TDtrControl m_dtrControl = TDtrControl::DtrEnable;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = true;
    bool m_outxXonXoffFlow = true;
    bool m_inxXonXoffFlow = true;
    bool m_replaceWhenParityError = false;
    bool m_ignoreNullChar = false;
    TRtsControl m_rtsControl = TRtsControl::RtsEnable;
    quint16 m_xonLimit = 500;
    quint16 m_xoffLimit = 500;
    TByteSize m_byteSize = TByteSize::_8;
    TParity m_parity = TParity::None;
    TStopBits m_stopBits = TStopBits::_1;
    quint8 m_xonChar = 0x11;
    quint8 m_xoffChar = 0x13;
    quint8 m_replacedChar = 0x00;
    quint32 m_readIntervalTimeout = 100;
    quint32 m_readTotalMultiplier = 0;
    quint32 m_readTotalConstant = 0;
    quint32 m_writeTotalMultiplier = 0;
    quint32 m_writeTotalConstant = 0;

#ifdef _WIN32
    // Run-time state (HANDLEs, null when absent). The handles are set before the
    // threads start and closed after they ended; the threads only read them.
    void* m_handle = nullptr;
    void* m_closeEvent = nullptr; // manual reset, set once the port is closing: the one stop signal
    void* m_writeWake = nullptr;  // auto reset, set when blocks were queued for the transmit thread
    void* m_readThread = nullptr; // thread handles
    void* m_writeThread = nullptr;
#else
    // Run-time state. The descriptors are set before the threads start and
    // closed after they ended; the threads only read them.
    int m_fd = -1;
    int m_closeEvent[2] = {-1, -1}; // readable once the port is closing: the one stop signal
    int m_writeWake[2] = {-1, -1};  // readable while blocks wait in the transmit queue
    std::thread m_readThread;
    std::thread m_writeThread;
#endif
    std::atomic<bool> m_sendDataEmpty{true};
    std::mutex m_queueLock;
    std::deque<QByteArray> m_sendQueue;
    Live m_live;
};

#ifdef _WIN32
inline bool TComm::IsOpen() const {
    return m_handle != nullptr;
}
inline auto TComm::Handle() const {
    return m_handle;
}
#else
inline bool TComm::IsOpen() const {
    return m_fd >= 0;
}
inline auto TComm::Handle() const {
    return m_fd;
}
#endif
