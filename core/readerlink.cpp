#include "readerlink.h"

#include "devicetext.h"
#include "hex.h"

#include <QDir>

namespace rfid {

ReaderLink::ReaderLink(UsbLibrary& usb) : m_usb(usb) {}

void ReaderLink::setLockWait(int ms, std::function<void()> idle) {
    m_waitMs = ms;
    m_idle = std::move(idle);
}

QString ReaderLink::lockFile() {
    const std::optional<QString> path = m_usb.lockPath();
    if (path)
        return *path;
    // A library that cannot name its reader's file still gets one lock for
    // everything it reaches.
    QString name = m_usb.fileName();
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    return QDir::temp().filePath(QStringLiteral("rfid-demo-%1.lock").arg(name));
}

bool ReaderLink::lock(QString& error) {
    if (!m_usb.isLoaded())
        return true; // the exchange reports the missing library
    // The reader's name is looked up only when it is needed for the text.
    const auto readerName = [this] {
        if (!m_usb.selectedReader().isEmpty())
            return m_usb.selectedReader();
        const auto readers = m_usb.readers();
        return readers && !readers->isEmpty() ? readers->front().path : QString();
    };
    return m_lock.acquire(lockFile(), readerName, m_waitMs, m_idle, error);
}

bool ReaderLink::begin(QString& error) {
    if (m_depth == 0 && !lock(error))
        return false;
    ++m_depth;
    return true;
}

void ReaderLink::end() {
    if (m_depth > 0 && --m_depth == 0)
        m_lock.release();
}

LinkReply ReaderLink::send(const QString& command) {
    const FrameResult frame = buildFrame(m_address, command);
    if (frame.error != FrameError::None) {
        LinkReply r;
        r.failure = LinkFailure::BadCommand;
        r.problem = frameErrorText(frame.error);
        r.log << r.problem;
        return r;
    }
    return sendFrame(frame.text);
}

LinkReply ReaderLink::sendFrame(const QString& frameHex) {
    if (m_depth > 0)
        return exchangeLocked(frameHex);
    QString error;
    if (!lock(error)) {
        LinkReply r;
        r.failure = LinkFailure::InUse;
        r.problem = error;
        r.log << error;
        return r;
    }
    LinkReply r = exchangeLocked(frameHex);
    m_lock.release();
    return r;
}

LinkReply ReaderLink::exchangeLocked(const QString& frameHex) {
    LinkReply r;
    const ExchangeResult result = exchange(m_usb, frameHex, m_debug);
    r.log = result.log;
    r.response = result.response;
    r.answer = readAnswer(hexToBytes(result.response));
    switch (r.answer.status) {
    case AnswerStatus::Success:
        return r;
    case AnswerStatus::Refused:
        r.failure = LinkFailure::Refused;
        r.problem = linkProblemText(r.failure, {}, r.answer);
        return r;
    case AnswerStatus::Damaged:
        r.failure = LinkFailure::Damaged;
        r.problem = linkProblemText(r.failure, {});
        return r;
    case AnswerStatus::NoAnswer:
        break;
    }
    if (result.log.contains(frameErrorText(FrameError::OddDigits)) ||
        result.log.contains(frameErrorText(FrameError::TooLong))) {
        r.failure = LinkFailure::BadCommand;
        r.problem =
            frameErrorText(result.log.contains(frameErrorText(FrameError::OddDigits)) ? FrameError::OddDigits
                                                                                      : FrameError::TooLong);
        return r;
    }
    if (!m_usb.writeFn() || !m_usb.readFn()) {
        r.failure = LinkFailure::NoLibrary;
        r.problem = linkProblemText(r.failure, m_usb.fileName());
        return r;
    }
    const bool notTaken = result.log.contains(writeFailureText());
    r.failure = notTaken ? LinkFailure::NoReader : LinkFailure::NoAnswer;
    QString detail;
    // A library that can say why says it more precisely.
    if (const std::optional<LinkErrorInfo> why = m_usb.lastError()) {
        switch (why->kind) {
        case LinkError::NoReader:
            r.failure = LinkFailure::NoReader;
            detail = printableDeviceText(why->text);
            break;
        case LinkError::Permission:
            r.failure = LinkFailure::NoAccess;
            detail = printableDeviceText(why->text);
            break;
        case LinkError::Busy:
            r.failure = LinkFailure::Busy;
            detail = printableDeviceText(why->text);
            break;
        case LinkError::Io:
            r.failure = LinkFailure::Io;
            detail = printableDeviceText(why->text);
            break;
        case LinkError::Timeout:
        case LinkError::None:
            break;
        }
    }
    r.problem = linkProblemText(r.failure, detail);
    return r;
}

QString linkProblemText(LinkFailure failure, const QString& detail, const Answer& answer) {
    switch (failure) {
    case LinkFailure::None:
        return {};
    case LinkFailure::NoLibrary:
        return QStringLiteral("the USB library %1 could not be loaded").arg(detail);
    case LinkFailure::BadCommand:
    case LinkFailure::InUse:
        return detail;
    case LinkFailure::NoReader:
        return detail.isEmpty()
                   ? QStringLiteral("no reader took the command (is one plugged in and may it be used?)")
                   : QStringLiteral("no reader is attached (%1; see rfidctl doctor)").arg(detail);
    case LinkFailure::NoAccess:
        return QStringLiteral("this user may not open the reader (%1; see rfidctl doctor)").arg(detail);
    case LinkFailure::Busy:
        return QStringLiteral("another program holds the reader (%1)").arg(detail);
    case LinkFailure::Io:
        return QStringLiteral("talking to the reader failed (%1)").arg(detail);
    case LinkFailure::NoAnswer:
        return QStringLiteral("the reader did not answer");
    case LinkFailure::Refused:
        return answerProblem(answer);
    case LinkFailure::Damaged:
        return QStringLiteral("the reader's answer was damaged");
    }
    return {};
}

} // namespace rfid
