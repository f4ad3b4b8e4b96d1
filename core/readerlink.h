// The one way the program talks to a reader: a command text is framed,
// exchanged through the USB library under the per-reader lock, and its answer
// parsed; when something goes wrong, one kind and one text say what.
//
// The window, rfidctl, the set-up station, the card test and the connection
// check all talk through this class. The window keeps its own log lines (the
// exchange's debug and failure lines come back in `LinkReply::log`).
#pragma once

#include "readerlock.h"
#include "readersettings.h"
#include "usblink.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace rfid {

// What went wrong with one command; each kind has one text.
enum class LinkFailure {
    None,
    NoLibrary,  // the USB library could not be loaded
    BadCommand, // the command cannot be framed; nothing was sent
    InUse,      // another program is using the reader (the lock's wait ran out)
    NoReader,   // no reader took the command
    NoAccess,   // a reader is there but this user may not open it
    Busy,       // the device is held open exclusively by another program
    Io,         // writing or reading the device failed
    NoAnswer,   // the reader took the command but did not answer
    Refused,    // the reader answered with its failure status and a reason
    Damaged,    // the answer makes no sense
};

struct LinkReply {
    LinkFailure failure = LinkFailure::None;
    ExchangeOutcome outcome = ExchangeOutcome::NotWritten; // how the exchange ended
    Answer answer;                                         // read by the one status rule
    QString response; // the answer as it came, as upper-case hex (the window's lastResponse); empty when none
    QString problem;  // what went wrong, in plain words; empty on success
    QStringList log;  // the exchange's lines for the window's message log
    bool ok() const { return failure == LinkFailure::None; }
};

class ReaderLink {
public:
    explicit ReaderLink(UsbLibrary& usb);

    UsbLibrary& library() { return m_usb; }

    // Frames `command` (command byte first, hex digits) for the device address
    // and exchanges it.
    LinkReply send(const QString& command);
    // Exchanges a whole frame given as hex text (other characters ignored).
    LinkReply sendFrame(const QString& frameHex);
    // Exchanges a frame already built.
    LinkReply send(const Frame& frame);

    // The device address frames carry ("00" unless set).
    void setAddress(const QString& address) { m_address = address; }
    // With debug on, each exchange logs the frame and the answer.
    void setDebug(bool on) { m_debug = on; }

    // Holds the reader for one operation of several commands: another program's
    // operation on it waits until end(). Outside an operation each command holds
    // the reader for its own exchange. False (nothing held) with `error` when the
    // reader stays in use for the whole wait.
    bool begin(QString& error);
    void end();
    bool inOperation() const { return m_depth > 0; }

    // How long to wait for a reader in use, and what to run while waiting (the
    // window processes events so that it keeps painting).
    void setLockWait(int ms, std::function<void()> idle = {});

    // The file whose flock stands for the reader the next command goes to;
    // empty when there is nothing to lock.
    QString lockFile();

    // Where a notice about the reader goes: a reader left switched by a program
    // that died, set back when the reader is next taken. Standard error unless set.
    void setNotice(std::function<void(const QString&)> notice) { m_notice = std::move(notice); }

private:
    bool lock(QString& error);
    LinkReply exchangeLocked(const Frame& frame);
    void release();

    UsbLibrary& m_usb;
    ReaderLock m_lock;
    int m_depth = 0;
    QString m_address = QStringLiteral("00");
    bool m_debug = false;
    int m_waitMs = kReaderLockWaitMs;
    std::function<void()> m_idle;
    std::function<void(const QString&)> m_notice;
    bool m_settling = false;        // setting back a reader left switched, as the lock is taken
    bool m_recordForgotten = false; // the write record was forgotten while the lock is held
};

// Holds a link's reader for the length of a scope.
class LinkOperation {
public:
    explicit LinkOperation(ReaderLink& link) : m_link(link) { m_held = link.begin(m_error); }
    ~LinkOperation() {
        if (m_held)
            m_link.end();
    }
    LinkOperation(const LinkOperation&) = delete;
    LinkOperation& operator=(const LinkOperation&) = delete;
    bool held() const { return m_held; }
    QString error() const { return m_error; }

private:
    ReaderLink& m_link;
    bool m_held = false;
    QString m_error;
};

// The link's kind for how an exchange failed (exchangeFailure).
LinkFailure linkFailureOf(ExchangeFailure failure);

// The text for a kind of failure. `detail` is the library's own words (for the
// kinds the library reports) or the lock's text; `answer` the refused or damaged
// answer.
QString linkProblemText(LinkFailure failure, const QString& detail, const Answer& answer = {});

} // namespace rfid
