// The parts of the serial component that are the same on every platform.
#include "tcomm.h"

#include <QMetaObject>

#include <utility>

using namespace rfid::comm;

// --- Error marks -----------------------------------------------------------------

int ErrorMarkDecoder::decode(const Options& o, const unsigned char* raw, int count, unsigned char* out,
                             quint32& errors) {
    int n = 0;
    auto put = [&](unsigned char c) {
        if (!(o.ignoreNull && c == 0))
            out[n++] = c;
    };
    for (int i = 0; i < count; ++i) {
        const unsigned char c = raw[i];
        if (!o.marking) {
            // Marking was switched off: a 0xFF held back is a data byte after all.
            if (m_state == 1)
                put(0xFF);
            m_state = 0;
            put(c);
            continue;
        }
        switch (m_state) {
        case 0:
            if (c == 0xFF)
                m_state = 1;
            else
                put(c);
            break;
        case 1:
            if (c == 0x00) {
                m_state = 2;
                break;
            }
            // 0xFF 0xFF is one real 0xFF; a lone 0xFF (not expected) passes on as it came.
            put(0xFF);
            if (c != 0xFF)
                put(c);
            m_state = 0;
            break;
        default:
            // The byte that had an error. A NUL without parity checking is a break,
            // which carries no data byte.
            m_state = 0;
            if (c == 0 && !o.parityEnabled) {
                errors |= kErrorBreak;
            } else if (o.parityEnabled) {
                errors |= kErrorParity;
                put(o.replace ? o.replacedChar : c);
            } else {
                errors |= kErrorFrame;
                put(c);
            }
            break;
        }
    }
    return n;
}

// --- The component ---------------------------------------------------------------

TComm::TComm(QObject* parent) : QObject(parent) {}

TComm::~TComm() {
    ClosePort();
}

// --- Hand-over to the owner's thread -------------------------------------------------
// Each event is a queued call on the component. A call still queued when the
// component is destroyed is dropped with it, and the block it owns is freed.

void TComm::postData(QByteArray block) {
    QMetaObject::invokeMethod(
        this,
        [this, block = std::move(block)] {
            if (OnReceiveData)
                OnReceiveData(this, reinterpret_cast<const unsigned char*>(block.constData()),
                              quint16(block.size()));
        },
        Qt::QueuedConnection);
}

void TComm::postError(quint32 flags) {
    QMetaObject::invokeMethod(
        this,
        [this, flags] {
            if (OnReceiveError)
                OnReceiveError(this, flags);
        },
        Qt::QueuedConnection);
}

void TComm::postModem(quint32 event) {
    QMetaObject::invokeMethod(
        this,
        [this, event] {
            if (OnModemStateChange)
                OnModemStateChange(this, event);
        },
        Qt::QueuedConnection);
}

void TComm::postHangup() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (OnRequestHangup)
                OnRequestHangup(this);
        },
        Qt::QueuedConnection);
}

void TComm::queueForSending(const unsigned char* buffer, quint16 size) {
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_sendQueue.emplace_back(reinterpret_cast<const char*>(buffer), size);
    m_sendDataEmpty = false;
}

void TComm::clearSendQueue() {
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_sendQueue.clear();
    m_sendDataEmpty = true;
}

TComm::WriteOutcome TComm::sendQueued(const std::function<WriteOutcome(const QByteArray&)>& write) {
    bool wrote = false;
    for (;;) {
        QByteArray block;
        {
            std::lock_guard<std::mutex> lock(m_queueLock);
            if (m_sendQueue.empty()) {
                if (wrote)
                    m_sendDataEmpty = true;
                break;
            }
            block = std::move(m_sendQueue.front());
            m_sendQueue.pop_front();
        }
        wrote = true;
        const WriteOutcome outcome = write(block);
        if (outcome != WriteOutcome::Written)
            return outcome;
    }
    if (wrote)
        postSendEmpty();
    return WriteOutcome::Written;
}

void TComm::postSendEmpty() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (OnSendDataEmpty)
                OnSendDataEmpty(this);
        },
        Qt::QueuedConnection);
}

// --- Port names -----------------------------------------------------------------

// Windows opens COM10 and above only through the device namespace, \\.\COMn;
// the lower ports take that form too. A name already in that namespace stays.
QString TComm::windowsPortPath(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1String("\\\\")))
        return name;
    return QStringLiteral("\\\\.\\") + name;
}
