#include "readerreport.h"

#include "writerecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace rfid::cli {

namespace {

QByteArray json(const QJsonValue& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QJsonArray list(const QStringList& items) {
    return QJsonArray::fromStringList(items);
}

} // namespace

QByteArray ReaderReport::jsonLine() const {
    QJsonArray diffs;
    for (const SettingDifference& d : differences)
        diffs.append(QJsonObject{{"key", keyName(d.key)}, {"reader", d.reader}, {"wanted", d.wanted}});
    const QList<QPair<const char*, QJsonValue>> fields = {
        {"device", device},
        {"serial", serial},
        {"changed", changed},
        {"written", list(written)},
        {"unchanged", list(unchanged)},
        {"not_written", list(notWritten)},
        {"cannot_be_read_back", list(cannotBeReadBack)},
        {"differences", diffs},
        {"error", error ? QJsonValue(*error) : QJsonValue(QJsonValue::Null)},
    };
    QByteArray out = "{";
    for (const auto& [key, value] : fields)
        out += (out.size() > 1 ? ",\"" : "\"") + QByteArray(key) + "\":" + json(value);
    if (check)
        out += ",\"check\":" + json(*check);
    if (agrees)
        out += ",\"agrees\":" + json(*agrees);
    if (recordError)
        out += ",\"record_error\":" + json(*recordError);
    return out + "}\n";
}

std::optional<ReaderEntry> chosenReader(UsbLibrary& usb) {
    return readerInUse(usb);
}

} // namespace rfid::cli
