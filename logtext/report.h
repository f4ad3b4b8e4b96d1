// The result report that every command cycle writes to the log.
#pragma once

#include "answer.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace rfid {

// The four texts of one button's report. Each ends in the blanks that separate
// it from the time stamp.
struct CycleTexts {
    QString noData;  // nothing came back
    QString success; // status 00
    QString failure; // status 01, followed by the reason line
    QString damaged; // any other status
};

// "hh:mm:ss AM/PM" on the 12-hour clock.
QString timeStamp(const QTime& time);
QString timeStamp(); // now

// Status-bar clock: "   yyyy.mm.dd   hh:mm:ss AM/PM   ".
QString clockText(const QDateTime& when);

// Entries for the log, in order, for `answer` read as `reading`:
//  no answer  -> noData + time + "\r\n"
//  success    -> successEntries() when given, else success + time + "\r\n"
//  refused    -> failure + time, then falsereason(byte 4) + "\r\n"
//  damaged    -> damaged + time + "\r\n"
QStringList cycleReport(AnswerStatus reading, const Answer& answer, const CycleTexts& texts,
                        const QString& time, const std::function<QStringList()>& successEntries = {});

// The same for the answer `response` (hex text) as a page's button reads it (pageReading).
QStringList cycleReport(const QString& response, const CycleTexts& texts, const QString& time,
                        const std::function<QStringList()>& successEntries = {});

} // namespace rfid
