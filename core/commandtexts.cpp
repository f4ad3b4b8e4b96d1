// The command texts that write settings to the reader, the Bluetooth name's
// bytes, and the steps of a write of several settings.

#include "readersettings.h"

#include "gbk.h"
#include "settingkinds.h"

namespace rfid {

using namespace settingkinds;

std::optional<std::array<std::uint8_t, kOutputBytes>> outputSettingsBytes(const ReaderSettings& s) {
    if (!s.format || !s.semicolon || !s.questionMark || !s.commaInMiddle || !s.enter || !s.bigBuzzer ||
        !s.customByteEnabled || (*s.customByteEnabled && !s.customByte))
        return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        if (!s.prefix[std::size_t(i)] || !s.suffix[std::size_t(i)])
            return std::nullopt;
    }
    OutputSettings o;
    o.format = *s.format;
    o.semicolon = *s.semicolon;
    o.question = *s.questionMark;
    o.comma = *s.commaInMiddle;
    o.enter = *s.enter;
    o.bigBuzzer = *s.bigBuzzer;
    o.custom = *s.customByteEnabled ? *s.customByte : 0x00;
    for (std::size_t i = 0; i < 4; ++i) {
        o.prefix[i] = *s.prefix[i];
        o.suffix[i] = *s.suffix[i];
    }
    return o.toBytes();
}

QString outputSettingsCommand(const std::array<std::uint8_t, 16>& bytes) {
    QString out = QStringLiteral("82");
    for (std::uint8_t b : bytes)
        out += hexByte(b);
    return out;
}

QString outputSettingsCommandWithoutFormat(const std::array<std::uint8_t, 16>& bytes) {
    QString out = QStringLiteral("82");
    for (std::size_t i = kFormatByte + 1; i < bytes.size(); ++i)
        out += hexByte(bytes[i]);
    return out;
}

QString languageCommand(std::uint8_t code) {
    return QStringLiteral("80") + hexByte(code);
}
QString readerModeCommand(std::uint8_t code) {
    return QStringLiteral("0F") + hexByte(code);
}
QString bluetoothModeCommand(std::uint8_t code) {
    return QStringLiteral("22") + hexByte(code);
}
QString sleepTimeCommand(std::uint8_t code) {
    return QStringLiteral("0E") + hexByte(code);
}

namespace {

// The name as the reader would show it: its bytes read back in the same code page.
QString nameAsSent(const QString& name) {
    return gbkText(bluetoothNameBytes(name));
}

} // namespace

QByteArray bluetoothNameBytes(const QString& name) {
    return gbkBytes(name);
}

QString bluetoothNameCodePage() {
    return QStringLiteral("GBK");
}

QString bluetoothNameProblem(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("the Bluetooth name must not be empty");
    // Characters one at a time (a pair of surrogates is one), so that the
    // message can name each one that would not arrive.
    QStringList controls;
    QStringList lost;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype n = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const QString c = name.mid(i, n);
        i += n;
        const QChar::Category category = c.front().category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            if (!controls.contains(quotedForError(c)))
                controls << quotedForError(c);
        } else if (nameAsSent(c) != c && !lost.contains(quotedForError(c))) {
            lost << quotedForError(c);
        }
    }
    auto list = [](const QStringList& items) {
        return items.size() == 1 ? items.front()
                                 : items.mid(0, items.size() - 1).join(QStringLiteral(", ")) +
                                       QStringLiteral(" and ") + items.back();
    };
    if (!controls.isEmpty())
        return QStringLiteral("the Bluetooth name must not hold control characters (it holds %1)")
            .arg(list(controls));
    if (!lost.isEmpty() || nameAsSent(name) != name)
        return QStringLiteral("the Bluetooth name holds %1, which the reader's code page (%2) cannot hold; "
                              "the reader would show \"?\" instead")
            .arg(lost.isEmpty() ? quotedForError(name) : list(lost), bluetoothNameCodePage());
    const int bytes = int(bluetoothNameBytes(name).size());
    if (bytes > kMaxBluetoothNameBytes)
        return QStringLiteral("the Bluetooth name takes %1 bytes; the reader takes at most %2")
            .arg(bytes)
            .arg(kMaxBluetoothNameBytes);
    return {};
}

QString bluetoothNameCommand(const QString& name) {
    QString out = QStringLiteral("88");
    for (char c : bluetoothNameBytes(name))
        out += hexByte(static_cast<std::uint8_t>(c));
    return out;
}

QList<WriteStep> writeSteps(const ReaderSettings& s) {
    QList<WriteStep> steps;
    if (s.language)
        steps.append(
            {QStringLiteral("keyboard language"), languageCommand(*s.language), WriteStep::Language});
    if (const auto bytes = outputSettingsBytes(s))
        steps.append(
            {QStringLiteral("output settings"), outputSettingsCommand(*bytes), WriteStep::OutputSettings});
    if (s.readerMode)
        steps.append(
            {QStringLiteral("reader mode"), readerModeCommand(*s.readerMode), WriteStep::ReaderMode});
    if (s.bluetoothMode)
        steps.append({QStringLiteral("Bluetooth mode"), bluetoothModeCommand(*s.bluetoothMode),
                      WriteStep::BluetoothMode});
    if (s.bluetoothName)
        steps.append({QStringLiteral("Bluetooth name"), bluetoothNameCommand(*s.bluetoothName),
                      WriteStep::BluetoothName});
    if (s.sleepTime)
        steps.append({QStringLiteral("sleep time"), sleepTimeCommand(*s.sleepTime), WriteStep::SleepTime});
    return steps;
}

QString writeStoppedText(const QStringList& steps, int stoppedAt, const QString& why) {
    auto list = [](const QStringList& l) { return l.isEmpty() ? QStringLiteral("nothing") : l.join(", "); };
    const QString at = stoppedAt >= 0 && stoppedAt < steps.size() ? steps.at(stoppedAt) : QString();
    return QStringLiteral("Stopped at the ") + at + QStringLiteral(": ") + why +
           QStringLiteral(". Written: ") + list(steps.mid(0, stoppedAt)) + QStringLiteral(". Not written: ") +
           list(steps.mid(stoppedAt)) + QLatin1Char('.');
}

} // namespace rfid
