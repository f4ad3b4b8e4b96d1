// The check "reader vs settings": the settings both hold that differ, and
// the line each difference is reported in.

#include "readersettings.h"

#include "settingkinds.h"

namespace rfid {

using namespace settingkinds;

QList<SettingDifference> settingDifferences(const ReaderSettings& reader, const ReaderSettings& wanted) {
    QList<SettingDifference> differences;
    for (SettingKey key : allSettingKeys()) {
        if (key == SettingKey::CustomByteEnabled)
            continue;
        if (key == SettingKey::CustomByte) {
            // What the reader types: a byte, none (kNoByte), or unknown (kUnknown).
            constexpr int kUnknown = -2;
            constexpr int kNoByte = -1;
            auto typed = [](const ReaderSettings& s) {
                if (!s.customByteEnabled || (*s.customByteEnabled && !s.customByte))
                    return kUnknown;
                if (!*s.customByteEnabled || *s.customByte == 0)
                    return kNoByte;
                return int(*s.customByte);
            };
            const int r = typed(reader);
            const int w = typed(wanted);
            if (r != kUnknown && w != kUnknown && r != w) {
                auto text = [](int b) {
                    return b == kNoByte ? QStringLiteral("none") : hexByte(std::uint8_t(b));
                };
                differences.append({key, text(r), text(w)});
            }
            continue;
        }
        if (!holds(reader, key) || !holds(wanted, key))
            continue;
        const QString r = valueText(reader, key);
        const QString w = valueText(wanted, key);
        if (r != w)
            differences.append({key, r, w});
    }
    return differences;
}

QString differenceLine(const SettingDifference& d, const QString& owner) {
    return keyName(d.key) + QStringLiteral(": reader has ") + d.reader + QStringLiteral(", ") + owner +
           QStringLiteral(" has ") + d.wanted;
}

QStringList compareSettings(const ReaderSettings& reader, const ReaderSettings& wanted,
                            const QString& owner) {
    QStringList lines;
    for (const SettingDifference& d : settingDifferences(reader, wanted))
        lines << differenceLine(d, owner);
    return lines;
}

} // namespace rfid
