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

QJsonArray differenceList(const QList<SettingDifference>& differences) {
    QJsonArray out;
    for (const SettingDifference& d : differences)
        out.append(QJsonObject{{"key", keyName(d.key)}, {"reader", d.reader}, {"wanted", d.wanted}});
    return out;
}

} // namespace

QByteArray ReaderReport::jsonLine() const {
    const QJsonArray diffs = differenceList(differences);
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
    if (refused)
        out += ",\"refused\":" + json(*refused);
    if (unreportedWrites)
        out += ",\"unreported_writes\":" + json(differenceList(*unreportedWrites));
    if (recordError)
        out += ",\"record_error\":" + json(*recordError);
    return out + "}\n";
}

QList<SettingDifference> unreportedWrites(const ReaderSettings& wanted, const QStringList& written) {
    static const QList<QPair<SettingKey, WriteStep::Kind>> kSteps = {
        {SettingKey::ReaderMode, WriteStep::ReaderMode},
        {SettingKey::BluetoothMode, WriteStep::BluetoothMode},
        {SettingKey::BluetoothName, WriteStep::BluetoothName},
        {SettingKey::SleepTime, WriteStep::SleepTime},
    };
    QList<SettingDifference> out;
    for (const WriteStep& step : writeSteps(wanted)) {
        if (!written.contains(step.what))
            continue;
        for (const auto& [key, kind] : kSteps) {
            if (kind == step.kind && holds(wanted, key))
                out.append({key, QStringLiteral("(not reported)"), valueText(wanted, key)});
        }
    }
    return out;
}

std::optional<ReaderEntry> chosenReader(UsbLibrary& usb) {
    return readerInUse(usb);
}

} // namespace rfid::cli
