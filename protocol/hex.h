// Hex-text helpers and reader framing.
//
// Commands and answers travel inside the program as hex text: two digits per
// byte, high digit first. The program writes upper case and accepts either.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace rfid {

bool isHexDigit(QChar c);

// Keeps the hex digits of `text`, in order and case kept; drops everything else.
QString hexDigits(const QString& text);

// The hex digits of `text`, cut to an even count (a last single digit is dropped).
QString checkdata(const QString& text);

// The bytes of `hex` in reverse order, each pair followed by one blank.
// With an odd length the first character is left out.
QString cdate(const QString& hex);

// Reads the text four digits at a time and gives two characters per group
// (one per byte, Latin-1). Left-over digits (one to three) are ignored.
// Throws EConvertError when a used group holds something other than hex digits.
QByteArray Getchr(const QString& hex);

// Appends the two-digit upper-case hex code of every byte of `bytes` to `result`.
void GetAscii(const QByteArray& bytes, QString& result);

// Upper-case hex of `count` bytes, no separators.
QString toHex(const std::uint8_t* bytes, int count);

// Converts whole digit pairs of `hex` (hex digits only) into bytes.
std::vector<std::uint8_t> hexToBytes(const QString& hex);

// The largest command-and-data field a frame can carry: the exchange's transmit
// buffer holds 255 bytes and the frame adds five around the field.
constexpr int kMaxCommandBytes = 250;
constexpr int kMaxFrameBytes = 255;

enum class FrameError { None, OddDigits, TooLong };

// A frame ready to go out: its bytes, and the hex text it was given as (the
// debug line shows the frame as it was typed, case kept).
struct Frame {
    std::vector<std::uint8_t> bytes;
    QString text;
};

struct FrameResult {
    FrameError error = FrameError::None;
    Frame frame; // empty when error != None
};

// Frames a command-and-data hex text for the device address `address` (two hex
// digits) with protocol::commandFrame; its text is "AA" + address + length +
// command/data as given + XOR + "BB". Separators in `command` are dropped. An
// odd number of digits or a field of more than 250 bytes is reported instead
// of producing a frame the reader would get corrupted.
FrameResult buildFrame(const QString& address, const QString& command);

// A whole frame typed as hex text: its digits, in order (anything else is
// dropped). An odd number of digits or more than 255 bytes is reported.
FrameResult typedFrame(const QString& text);

// One English sentence telling the operator why a frame was not sent.
QString frameErrorText(FrameError error);

} // namespace rfid
