// The settings of the keyboard-output reader as a value, the texts people write
// them as, the command texts that set them, the read-back answer that reports
// them, and the comparison of two sets of settings.
#pragma once

#include "answer.h"
#include "readerfacts.h"
#include "readerlimits.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QJsonValue;

namespace rfid {

// Everything the three keyboard-reader pages can set. A field without a value
// is not part of this set (a file may hold only some settings).
struct ReaderSettings {
    // Output settings (written together in one command).
    std::optional<std::uint8_t> format; // output format code
    std::optional<bool> semicolon;
    std::optional<bool> questionMark;
    std::optional<bool> commaInMiddle;
    std::optional<bool> enter;
    std::optional<bool> bigBuzzer; // false: the small buzzer
    std::optional<bool> customByteEnabled;
    std::optional<std::uint8_t> customByte;
    std::array<std::optional<std::uint8_t>, 4> prefix;
    std::array<std::optional<std::uint8_t>, 4> suffix;
    // One command each.
    std::optional<std::uint8_t> language;
    std::optional<std::uint8_t> readerMode;
    std::optional<std::uint8_t> bluetoothMode;
    std::optional<QString> bluetoothName;
    std::optional<std::uint8_t> sleepTime; // sleep-time code

    // Takes every field that `other` holds.
    void merge(const ReaderSettings& other);
    bool isEmpty() const;
    bool hasAnyOutputField() const;
    bool operator==(const ReaderSettings& other) const;
    bool operator!=(const ReaderSettings& other) const { return !(*this == other); }
};

// The names of the settings in files, on the command line and in the check's
// lines, in the order files list them.
enum class SettingKey {
    Format,
    Semicolon,
    QuestionMark,
    CommaInMiddle,
    Enter,
    Buzzer,
    CustomByteEnabled,
    CustomByte,
    Prefix1,
    Prefix2,
    Prefix3,
    Prefix4,
    Suffix1,
    Suffix2,
    Suffix3,
    Suffix4,
    Language,
    ReaderMode,
    BluetoothMode,
    BluetoothName,
    SleepTime,
};

const QList<SettingKey>& allSettingKeys();
QString keyName(SettingKey key);
// The key of a name, matched without regard to case ("Language" is language).
std::optional<SettingKey> keyByName(const QString& name);
// Whether the reader reports this setting in its read-back (language and output settings).
bool readerReports(SettingKey key);
// Whether the setting is held at all.
bool holds(const ReaderSettings& settings, SettingKey key);
// Removes the setting.
void clear(ReaderSettings& settings, SettingKey key);

// The value as people write it: the format's or language's read-back name
// (blanks made single), "true"/"false", "big"/"small", two hex digits, the mode's name,
// "0.5 minute", the Bluetooth name. Empty when not held; a code without a name
// reads "code 1E".
QString valueText(const ReaderSettings& settings, SettingKey key);
// What a key takes, for help texts: "true or false", "two hex digits", or the
// names it accepts, each in double quotes, separated by ", ".
QString valueHelp(SettingKey key);
// The value for a settings file (a JSON boolean for flags, a string otherwise).
QJsonValue jsonValue(const ReaderSettings& settings, SettingKey key);
// Whether the value can be written to a file and read back (a code the tables
// do not know cannot).
bool hasNamedValue(const ReaderSettings& settings, SettingKey key);

// Sets one setting from a settings-file value. Returns empty text on success,
// otherwise what is wrong with the value (without the key's name), and leaves
// `settings` unchanged.
QString setFromJson(ReaderSettings& settings, SettingKey key, const QJsonValue& value);
// The same for a value typed on a command line: flags take true or false.
QString setFromText(ReaderSettings& settings, SettingKey key, const QString& text);

// A text as an error line shows it, in double quotes: control characters
// written as \n, \t, \r or \u001B, and more than 60 characters cut with "...".
QString quotedForError(const QString& text);

// ---------------------------------------------------------------------------
// Command texts, as the pages hand them to the framing: command byte first,
// two upper-case hex digits per byte.

// The 16 data bytes of the write-output-settings command, in order: format,
// semicolon, question mark, comma in the middle, Enter, buzzer (01 big, 00
// small), the fixed 01, custom byte (00 when not enabled), prefix 1-4, suffix
// 1-4. Empty when any of these fields is missing.
std::optional<std::array<std::uint8_t, kOutputBytes>> outputSettingsBytes(const ReaderSettings& settings);

QString outputSettingsCommand(const std::array<std::uint8_t, 16>& bytes); // "82" + 32 digits
// "82" + every byte after the format code: what the window sends when no
// format is chosen (the reader takes the fifteen bytes as they stand).
QString outputSettingsCommandWithoutFormat(const std::array<std::uint8_t, 16>& bytes);
QString languageCommand(std::uint8_t code);        // "80" + code
QString readerModeCommand(std::uint8_t code);      // "0F" + code
QString bluetoothModeCommand(std::uint8_t code);   // "22" + code
QString sleepTimeCommand(std::uint8_t code);       // "0E" + code
QString bluetoothNameCommand(const QString& name); // "88" + name bytes
inline QString readSettingsCommand() {
    return QStringLiteral("83");
}
// In the case the window's debug line has always shown them.
inline QString readVersionCommand() {
    return QStringLiteral("c0");
}
inline QString factoryResetCommand() {
    return QStringLiteral("cf");
}
inline QString clearDataCommand() {
    return QStringLiteral("0D");
}
inline QString buzzerCommand(bool on) {
    return on ? QStringLiteral("CD01") : QStringLiteral("CD00");
}

// The bytes the reader receives for a Bluetooth name: the reader's code page
// (GBK, gbk.h) on every platform, where ASCII stays one byte per character.
QByteArray bluetoothNameBytes(const QString& name);
// The code page those bytes are in, for messages: "GBK".
QString bluetoothNameCodePage();
// What is wrong with a Bluetooth name, or empty when the reader can take it as
// it is: not empty, no control characters, only characters the code page holds
// (a character it cannot hold would arrive as "?"), at most
// kMaxBluetoothNameBytes bytes (readerlimits.h).
QString bluetoothNameProblem(const QString& name);

// One command of a write of several settings, in the order they go out.
struct WriteStep {
    enum Kind { Language, OutputSettings, ReaderMode, BluetoothMode, BluetoothName, SleepTime };
    QString what;    // "keyboard language", "output settings", ... for messages
    QString command; // the command text
    Kind kind = Language;
};

// The commands that write the settings held: keyboard language, output
// settings (only when every output field is held), reader mode, Bluetooth
// mode, Bluetooth name, sleep time.
QList<WriteStep> writeSteps(const ReaderSettings& settings);

// What a write of several settings that stopped at step `stoppedAt` did:
// "Stopped at the output settings: <why>. Written: keyboard language. Not
// written: output settings, reader mode." (`steps` in the order they go out).
QString writeStoppedText(const QStringList& steps, int stoppedAt, const QString& why);

// ---------------------------------------------------------------------------
// Answers.

// Why an answer is not a success, in plain words: "the reader refused it
// (error 10: a parameter is larger than the largest allowed)", the reason in
// English (refusalReason), or "the reader's answer was damaged"; empty for a
// success and for no answer (whose cause the exchange knows). For rfidctl and
// the station; the window's log gives the reader's own words (falsereason).
QString answerProblem(const Answer& answer);

// The read-back (0x83) payload: the language code, then the 16 output bytes.
constexpr int kReadBackBytes = 1 + kOutputBytes;

// The settings a successful read-back reports: language and output settings.
// Empty when the payload is too short to hold them all.
std::optional<ReaderSettings> decodeReadBack(const std::vector<std::uint8_t>& payload);

// The output settings as the reader holds them (what the card test and the
// renderings work with); empty when `settings` lacks any output field.
std::optional<OutputSettings> outputSettingsOf(const ReaderSettings& settings);
// The output settings a settings file gives, what it does not hold taken as off
// (no separators, no prefix, suffix or custom byte, the first format code's default).
OutputSettings outputSettingsWithDefaults(const ReaderSettings& settings);

// ---------------------------------------------------------------------------
// The check.

// A setting that both hold and that differs: the key and both values as
// people write them.
struct SettingDifference {
    SettingKey key;
    QString reader;
    QString wanted;
};

// Every setting that both hold and that differs, in key order. The custom byte
// is compared as the byte the reader types ("none" when not enabled).
QList<SettingDifference> settingDifferences(const ReaderSettings& reader, const ReaderSettings& wanted);

// One line per setting that both hold and that differs, in key order:
// "<key>: reader has <X>, <owner> has <Y>". The custom byte is compared as the
// byte the reader types (none when not enabled).
QStringList compareSettings(const ReaderSettings& reader, const ReaderSettings& wanted, const QString& owner);
// The line of one difference, as compareSettings writes it.
QString differenceLine(const SettingDifference& difference, const QString& owner);

} // namespace rfid
