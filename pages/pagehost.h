// All that a page may use of the window it sits in: the reader link's command
// cycle and its last answer, waits, the log, the loop flag, the general error
// handling, and the few values that other parts of the window hold. A page
// includes no header of the window and no other page's header; what it needs
// of them comes through here.
#pragma once

#include "report.h"

#include <QString>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QCheckBox;

class PageHost {
public:
    virtual ~PageHost() = default;

    // --- The command cycle ---------------------------------------------------

    // Frames a command-and-data hex text with the window's address and
    // exchanges it. A command that cannot be framed is not sent: one log line
    // says why and lastResponse() stays empty.
    virtual void Send(const QString& command) = 0;
    // Exchanges a whole frame given as hex text (other characters are ignored).
    virtual void SendHex(const QString& frame) = 0;
    // Waits up to `ms` while processing events; returns early once an answer is held.
    virtual void Delay(int ms) = 0;
    // Waits `ms` while processing events.
    virtual void Delayy(int ms) = 0;
    // Writes the four-way result report of the last exchange with `texts`.
    // `successEntries`, when given, produces the entries for status 00.
    virtual void report(const rfid::CycleTexts& texts,
                        const std::function<QStringList()>& successEntries = {}) = 0;
    // Send, Delay, report: one whole command cycle.
    virtual void cycle(const QString& command, int waitMs, const rfid::CycleTexts& texts,
                       const std::function<QStringList()>& successEntries = {}) = 0;
    // The last answer as it came, read by the one status rule (no answer when
    // none is held). A page reads its report's values from its payload.
    virtual rfid::Answer answer() const = 0;
    // The same answer as upper-case hex without separators; empty when none.
    virtual QString lastResponse() const = 0;

    // --- The log, the loop flag, the general error handling -------------------

    // Adds one text to the log (line breaks inside it start further lines).
    virtual void addLine(const QString& text) = 0;
    // True while a continuous operation driven by `box` should go on.
    virtual bool keepLooping(const QCheckBox* box) const = 0;
    // Connects a button's click to `handler` through the general error handling.
    virtual void onClick(QAbstractButton* button, std::function<void()> handler) = 0;
    // Runs `handler` through the general error handling (for signals other than a click).
    virtual void runGuarded(const std::function<void()>& handler) = 0;

    // --- Values held elsewhere in the window ----------------------------------

    // Every frame built from now on, by any page, carries `address` (0x00-0x20).
    virtual void setAddress(int address) = 0;
    // The pause of every continuous operation plus that operation's own
    // `offset` (0 or more), in milliseconds, held at the largest int instead of
    // overflowing. Raises EConvertError when the wait-time field is not a number.
    virtual int pauseTime(int offset) const = 0;
    // The texts of the eight prefix/suffix byte fields, prefix first, as typed.
    virtual QStringList prefixSuffixTexts() const = 0;

protected:
    PageHost() = default;
    PageHost(const PageHost&) = default;
    PageHost& operator=(const PageHost&) = default;
};
