#include "report.h"

#include "hex.h"
#include "status.h"

#include <QLocale>

namespace rfid {

static const QString kCrLf = QStringLiteral("\r\n");

QString timeStamp(const QTime& time) {
    return QLocale::c().toString(time, QStringLiteral("hh:mm:ss AP"));
}

QString timeStamp() {
    return timeStamp(QTime::currentTime());
}

QString clockText(const QDateTime& when) {
    return QStringLiteral("   ") + QLocale::c().toString(when.date(), QStringLiteral("yyyy.MM.dd")) +
           QStringLiteral("   ") + timeStamp(when.time()) + QStringLiteral("   ");
}

QStringList cycleReport(AnswerStatus reading, const Answer& answer, const CycleTexts& texts,
                        const QString& time, const std::function<QStringList()>& successEntries) {
    switch (reading) {
    case AnswerStatus::NoAnswer:
        return {texts.noData + time + kCrLf};
    case AnswerStatus::Success:
        if (successEntries)
            return successEntries();
        return {texts.success + time + kCrLf};
    case AnswerStatus::Refused: {
        const std::optional<std::uint8_t> code = answer.byte(4);
        return {texts.failure + time, falsereason(code ? toHex(&*code, 1) : QString()) + kCrLf};
    }
    case AnswerStatus::Damaged:
        break;
    }
    return {texts.damaged + time + kCrLf};
}

QStringList cycleReport(const QString& response, const CycleTexts& texts, const QString& time,
                        const std::function<QStringList()>& successEntries) {
    const Answer answer = readAnswer(hexToBytes(response));
    return cycleReport(pageReading(answer), answer, texts, time, successEntries);
}

} // namespace rfid
