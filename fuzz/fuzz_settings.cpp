// Settings files (their keys read by the parser and by the repeat check alike),
// command-line assignments, the simulated reader's state text and read-back
// answers on any input.
//
// Input: byte 0 chooses what the rest is (bits 0-1: 0 a settings file, 1
// KEY=VALUE lines, 2 a read-back answer as hex text, 3 the simulated reader's
// state text).
#include "check.h"
#include "hex.h"
#include "keyboard.h"
#include "readersettings.h"
#include "settingsfile.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// What was read must write out and read back to the same settings.
void checkRoundTrip(const rfid::ReaderSettings& s) {
    QStringList skipped;
    const QByteArray text = rfid::settingsToJson(s, &skipped);
    FUZZ_CHECK(skipped.isEmpty(),
               QStringLiteral("a value read from a file has no name: ") + skipped.join(", "));
    rfid::ReaderSettings back;
    QString error;
    FUZZ_CHECK(rfid::parseSettings(text, QStringLiteral("f"), back, error), error);
    FUZZ_CHECK(back == s, QString::fromUtf8(text));
    // What the window or rfidctl would send for it is well-formed.
    for (const rfid::WriteStep& step : rfid::writeSteps(s)) {
        FUZZ_CHECK(step.command.size() % 2 == 0 && step.command.size() <= 2 * 250, step.command);
        FUZZ_CHECK(isUpperHexBytes(step.command), step.command);
    }
    rfid::compareSettings(s, back, QStringLiteral("the file"));
}

// The key scanner reads every object the JSON parser takes, and finds the
// parser's keys: the same keys, each as often as written (the parser keeps
// one of a repeated key).
void checkKeys(const QByteArray& data) {
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (!doc.isObject())
        return;
    QStringList keys;
    FUZZ_CHECK(rfid::topLevelKeys(data, keys), QString::fromUtf8(data));
    const QStringList parsed = doc.object().keys();
    FUZZ_CHECK(keys.size() >= parsed.size(), QString::fromUtf8(data));
    const QSet<QString> distinct(keys.begin(), keys.end());
    FUZZ_CHECK(distinct == QSet<QString>(parsed.begin(), parsed.end()), keys.join(QLatin1Char(',')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    switch (data[0] & 3) {
    case 0: {
        rfid::ReaderSettings s;
        s.language = 0x05;
        const rfid::ReaderSettings before = s;
        QString error;
        checkKeys(rest);
        if (rfid::parseSettings(rest, QStringLiteral("f"), s, error)) {
            checkRoundTrip(s);
            // No key was given twice, in any case.
            QStringList keys;
            FUZZ_CHECK(rfid::topLevelKeys(rest, keys));
            QSet<QString> seen;
            for (const QString& k : keys)
                seen.insert(k.toLower());
            FUZZ_CHECK(seen.size() == keys.size(), keys.join(QLatin1Char(',')));
        } else {
            FUZZ_CHECK(s == before, QStringLiteral("a refused file changed the settings"));
            FUZZ_CHECK(error.startsWith(QStringLiteral("f: ")) && !error.contains(QLatin1Char('\n')), error);
        }
        break;
    }
    case 1: {
        rfid::ReaderSettings s;
        QString error;
        const QStringList lines = QString::fromUtf8(rest).split(QLatin1Char('\n'));
        if (rfid::applyAssignments(lines, s, error))
            checkRoundTrip(s);
        else
            FUZZ_CHECK(s.isEmpty(), QStringLiteral("refused assignments changed the settings"));
        break;
    }
    case 2: {
        const rfid::Answer a = rfid::readAnswer(rfid::hexToBytes(QString::fromLatin1(rest)));
        FUZZ_CHECK(a.payload.size() <= std::size_t(rest.size() / 2));
        if (const auto s = rfid::decodeReadBack(a.payload)) {
            FUZZ_CHECK(a.payload.size() >= std::size_t(rfid::kReadBackBytes));
            rfid::compareSettings(*s, *s, QStringLiteral("the window"));
            rfid::settingsToJson(*s);
        }
        break;
    }
    default: {
        rfidsim::KeyboardState state;
        const std::string text(rest.constData(), std::size_t(rest.size()));
        if (rfidsim::parseKeyboardState(text, state)) {
            rfidsim::KeyboardState again;
            FUZZ_CHECK(rfidsim::parseKeyboardState(rfidsim::keyboardStateText(state), again));
            FUZZ_CHECK(rfidsim::keyboardStateText(again) == rfidsim::keyboardStateText(state));
        }
        break;
    }
    }
    return 0;
}
