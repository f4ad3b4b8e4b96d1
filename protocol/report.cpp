#include "report.h"

#include "response.h"
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

QStringList cycleReport(const QString& response, const CycleTexts& texts, const QString& time,
                        const std::function<QStringList()>& successEntries) {
    if (response.isEmpty())
        return {texts.noData + time + kCrLf};
    const QString status = respByte(response, 3);
    if (status == QLatin1String("00")) {
        if (successEntries)
            return successEntries();
        return {texts.success + time + kCrLf};
    }
    if (status == QLatin1String("01"))
        return {texts.failure + time, falsereason(respByte(response, 4)) + kCrLf};
    return {texts.damaged + time + kCrLf};
}

} // namespace rfid
