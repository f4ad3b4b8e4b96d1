#include "readerlink.h"

#include "devicetext.h"
#include "hex.h"
#include "switchjournal.h"
#include "writerecord.h"

#include <cstdio>

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
    QString error;
    return fallbackLockFile(m_usb.fileName(), error);
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
    const std::optional<QString> named = m_usb.lockPath();
    const QString path = named ? *named : fallbackLockFile(m_usb.fileName(), error);
    if (!named && path.isEmpty())
        return false;
    if (!m_lock.acquire(path, readerName, m_waitMs, m_idle, error))
        return false;
    // Taking the reader sets it back when a program of ours died leaving it switched.
    if (!m_settling) {
        m_settling = true;
        ++m_depth;
        const QString text = settleLeftSwitch(*this);
        --m_depth;
        m_settling = false;
        if (!text.isEmpty() && m_notice)
            m_notice(text);
        else if (!text.isEmpty())
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    return true;
}

void ReaderLink::release() {
    m_lock.release();
    m_recordForgotten = false;
}

bool ReaderLink::begin(QString& error) {
    if (m_depth == 0 && !lock(error))
        return false;
    ++m_depth;
    return true;
}

void ReaderLink::end() {
    if (m_depth > 0 && --m_depth == 0)
        release();
}

LinkReply ReaderLink::send(const QString& command) {
    const FrameResult built = buildFrame(m_address, command);
    if (built.error != FrameError::None) {
        LinkReply r;
        r.failure = LinkFailure::BadCommand;
        r.problem = frameErrorText(built.error);
        r.log << r.problem;
        return r;
    }
    return send(built.frame);
}

LinkReply ReaderLink::sendFrame(const QString& frameHex) {
    const FrameResult typed = typedFrame(frameHex);
    if (typed.error != FrameError::None) {
        LinkReply r;
        r.failure = LinkFailure::BadCommand;
        r.problem = frameErrorText(typed.error);
        if (m_debug)
            r.log << QStringLiteral("发送...") + typed.frame.text;
        r.log << r.problem;
        return r;
    }
    return send(typed.frame);
}

LinkReply ReaderLink::send(const Frame& frame) {
    if (m_depth > 0)
        return exchangeLocked(frame);
    QString error;
    if (!lock(error)) {
        LinkReply r;
        r.failure = LinkFailure::InUse;
        r.problem = error;
        r.log << error;
        return r;
    }
    LinkReply r = exchangeLocked(frame);
    release();
    return r;
}

LinkReply ReaderLink::exchangeLocked(const Frame& frame) {
    LinkReply r;
    // A command that changes the reader's settings makes this computer's record
    // of them untrue: it is forgotten first, under the same lock.
    QString forgetError;
    if (!m_recordForgotten && frame.bytes.size() >= 4 && changesRecordedSettings(frame.bytes[3])) {
        if (forgetRecordOfReaderInUse(m_usb, forgetError))
            m_recordForgotten = true;
    }
    const ExchangeResult result = exchange(m_usb, frame, m_debug);
    r.log = result.log;
    if (!forgetError.isEmpty())
        r.log.prepend(forgetError);
    r.outcome = result.outcome;
    r.answer = readAnswer(result.answer);
    r.response = toHex(result.answer.data(), int(result.answer.size()));
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
    if (!m_usb.writeFn() || !m_usb.readFn()) {
        r.failure = LinkFailure::NoLibrary;
        r.problem = linkProblemText(r.failure, m_usb.fileName());
        return r;
    }
    const std::optional<LinkErrorInfo> why = m_usb.lastError();
    r.failure =
        linkFailureOf(exchangeFailure(r.outcome, why ? std::optional<LinkError>(why->kind) : std::nullopt));
    // A library that can say why says it more precisely.
    const bool named = why && why->kind != LinkError::None && why->kind != LinkError::Timeout;
    r.problem = linkProblemText(r.failure, named ? printableDeviceText(why->text) : QString());
    return r;
}

LinkFailure linkFailureOf(ExchangeFailure failure) {
    switch (failure) {
    case ExchangeFailure::None:
        return LinkFailure::None;
    case ExchangeFailure::NoReader:
        return LinkFailure::NoReader;
    case ExchangeFailure::NoAccess:
        return LinkFailure::NoAccess;
    case ExchangeFailure::Busy:
        return LinkFailure::Busy;
    case ExchangeFailure::Io:
        return LinkFailure::Io;
    case ExchangeFailure::NoAnswer:
        break;
    }
    return LinkFailure::NoAnswer;
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
