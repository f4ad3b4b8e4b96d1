// What the reader's answers say: why one is not a success, the settings a
// read-back reports, the output settings as the reader holds them, the version.

#include "readersettings.h"

#include "settingkinds.h"
#include "status.h"

namespace rfid {

using namespace settingkinds;

QString answerProblem(const Answer& answer) {
    switch (answer.status) {
    case AnswerStatus::Refused: {
        // In English: the window gives the reader's own words through falsereason.
        const QString reason = refusalReason(hexByte(answer.errorCode));
        return QStringLiteral("the reader refused it (error %1%2)")
            .arg(hexByte(answer.errorCode), reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
    }
    case AnswerStatus::Damaged:
        return QStringLiteral("the reader's answer was damaged");
    case AnswerStatus::NoAnswer:
    case AnswerStatus::Success:
        break;
    }
    return {};
}

std::optional<ReaderSettings> decodeReadBack(const std::vector<std::uint8_t>& p) {
    if (p.size() < std::size_t(kReadBackBytes))
        return std::nullopt;
    // The language code, then the 16 output-settings bytes in command order.
    const OutputSettings o = OutputSettings::fromBytes(p.data() + 1, kOutputBytes);
    ReaderSettings s;
    s.language = p[0];
    s.format = o.format;
    s.semicolon = o.semicolon;
    s.questionMark = o.question;
    s.commaInMiddle = o.comma;
    s.enter = o.enter;
    s.bigBuzzer = o.bigBuzzer;
    s.customByteEnabled = o.custom != 0;
    if (o.custom != 0)
        s.customByte = o.custom;
    for (std::size_t i = 0; i < 4; ++i) {
        s.prefix[i] = o.prefix[i];
        s.suffix[i] = o.suffix[i];
    }
    return s;
}

std::optional<OutputSettings> outputSettingsOf(const ReaderSettings& settings) {
    const auto bytes = outputSettingsBytes(settings);
    if (!bytes)
        return std::nullopt;
    return OutputSettings::fromBytes(bytes->data(), int(bytes->size()));
}

OutputSettings outputSettingsWithDefaults(const ReaderSettings& s) {
    if (const auto o = outputSettingsOf(s))
        return *o;
    OutputSettings o;
    o.format = s.format.value_or(o.format);
    o.semicolon = s.semicolon.value_or(false);
    o.question = s.questionMark.value_or(false);
    o.comma = s.commaInMiddle.value_or(false);
    o.enter = s.enter.value_or(false);
    o.bigBuzzer = s.bigBuzzer.value_or(true);
    o.custom = s.customByteEnabled.value_or(false) ? s.customByte.value_or(0) : 0;
    for (std::size_t i = 0; i < 4; ++i) {
        o.prefix[i] = s.prefix[i].value_or(0);
        o.suffix[i] = s.suffix[i].value_or(0);
    }
    return o;
}

} // namespace rfid
