#include "keyboard.h"

#include "model.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace rfidsim {

namespace {
constexpr std::uint8_t kBadParameter = 0x10; // parameter beyond the allowed range
constexpr std::uint8_t kBadFormat = 0x85;    // wrong parameter or command format
constexpr std::uint8_t kUndefined = 0x8F;    // command not known
} // namespace

Reply keyboardAnswer(KeyboardState& s, const Request& r) {
    const Bytes& d = r.data;
    switch (r.command) {
    case 0x80: // keyboard language
        if (d.size() != 1)
            return refuse(kBadFormat);
        if (d[0] > 0x1D)
            return refuse(kBadParameter);
        s.language = d[0];
        return ok();
    case 0x82: // output settings
        if (d.size() != 16)
            return refuse(kBadFormat);
        s.output = d;
        return ok();
    case 0x83: { // read settings: language, then the output settings
        Bytes out{s.language};
        out.insert(out.end(), s.output.begin(), s.output.end());
        return ok(out);
    }
    case 0x0F: // reader mode
        if (d.size() != 1)
            return refuse(kBadFormat);
        if (d[0] < 1 || d[0] > 3)
            return refuse(kBadParameter);
        s.readerMode = d[0];
        return ok();
    case 0x22: // Bluetooth mode
        if (d.size() != 1)
            return refuse(kBadFormat);
        if (d[0] > 2)
            return refuse(kBadParameter);
        s.bluetoothMode = d[0];
        return ok();
    case 0x88: // Bluetooth name
        if (d.empty() || d.size() > 30)
            return refuse(kBadParameter);
        s.bluetoothName.assign(d.begin(), d.end());
        return ok();
    case 0x0E: // sleep time
        if (d.size() != 1)
            return refuse(kBadFormat);
        if (d[0] > 8)
            return refuse(kBadParameter);
        s.sleepCode = d[0];
        return ok();
    case 0xCF: { // factory settings
        const std::string version = s.version;
        s = KeyboardState{};
        s.version = version;
        return ok();
    }
    case 0xC0: // version text
        return ok(Bytes(s.version.begin(), s.version.end()));
    case 0x0D: // empty stored data
        s.storedRecords = 0;
        return ok();
    case 0xCD: // buzzer on/off
        if (d.size() != 1 || d[0] > 1)
            return refuse(kBadFormat);
        s.buzzerOn = d[0] == 1;
        return ok();
    default:
        return refuse(kUndefined);
    }
}

std::optional<std::uint8_t> formatTypedAs(std::uint8_t format, const char* substitutions) {
    // Pairs "XX=YY" of two hex digits each, separated by commas; anything else ends the list.
    auto hexDigit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    const std::string list = substitutions ? substitutions : "";
    for (std::size_t at = 0; at + 5 <= list.size(); at += 6) {
        const int d[4] = {hexDigit(list[at]), hexDigit(list[at + 1]), hexDigit(list[at + 3]),
                          hexDigit(list[at + 4])};
        if (list[at + 2] != '=' || d[0] < 0 || d[1] < 0 || d[2] < 0 || d[3] < 0)
            return std::nullopt;
        if (std::uint8_t(d[0] * 16 + d[1]) == format)
            return std::uint8_t(d[2] * 16 + d[3]);
        if (at + 5 < list.size() && list[at + 5] != ',')
            return std::nullopt;
    }
    return std::nullopt;
}

std::string typedCard(const KeyboardState& state, const rfid::wedge::CardNumber& card) {
    auto settings = rfid::wedge::OutputSettings::fromBytes(state.output.data(), int(state.output.size()));
    // RFIDSIM_FORMAT_AS plays a reader that types a format otherwise than the model says.
    if (const auto other = formatTypedAs(settings.format, std::getenv("RFIDSIM_FORMAT_AS")))
        settings.format = *other;
    return rfid::wedge::typedText(settings, card);
}

void keepSetting(KeyboardState& state, const KeyboardState& before, int which) {
    if (which == 0)
        state.language = before.language;
    else if (which >= 1 && which <= 16 && state.output.size() == 16 && before.output.size() == 16)
        state.output[std::size_t(which - 1)] = before.output[std::size_t(which - 1)];
}

namespace {
std::string hexOf(const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02X", unsigned(c));
        out += two;
    }
    return out;
}

bool bytesOf(const std::string& hex, std::string& out) {
    if (hex.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        for (std::size_t j = i; j < i + 2; ++j) {
            const char c = hex[j];
            value *= 16;
            if (c >= '0' && c <= '9')
                value += unsigned(c - '0');
            else if (c >= 'A' && c <= 'F')
                value += unsigned(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f')
                value += unsigned(c - 'a' + 10);
            else
                return false;
        }
        out += char(value);
    }
    return true;
}

bool byteOf(const std::string& hex, std::uint8_t& out) {
    std::string b;
    if (hex.size() != 2 || !bytesOf(hex, b))
        return false;
    out = static_cast<std::uint8_t>(b[0]);
    return true;
}
} // namespace

std::string keyboardStateText(const KeyboardState& s) {
    std::ostringstream out;
    auto byte = [](std::uint8_t b) { return hexOf(std::string(1, char(b))); };
    out << "language=" << byte(s.language) << '\n'
        << "output=" << hexOf(std::string(s.output.begin(), s.output.end())) << '\n'
        << "reader_mode=" << byte(s.readerMode) << '\n'
        << "bluetooth_mode=" << byte(s.bluetoothMode) << '\n'
        << "bluetooth_name=" << hexOf(s.bluetoothName) << '\n'
        << "sleep=" << byte(s.sleepCode) << '\n'
        << "buzzer=" << (s.buzzerOn ? 1 : 0) << '\n'
        << "stored_records=" << s.storedRecords << '\n'
        << "version=" << hexOf(s.version) << '\n';
    return out.str();
}

bool parseKeyboardState(const std::string& text, KeyboardState& state) {
    KeyboardState s = state;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            return false;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        std::string bytes;
        bool ok = true;
        if (key == "language")
            ok = byteOf(value, s.language);
        else if (key == "output") {
            ok = bytesOf(value, bytes) && bytes.size() == 16;
            if (ok)
                s.output.assign(bytes.begin(), bytes.end());
        } else if (key == "reader_mode")
            ok = byteOf(value, s.readerMode);
        else if (key == "bluetooth_mode")
            ok = byteOf(value, s.bluetoothMode);
        else if (key == "bluetooth_name")
            ok = bytesOf(value, s.bluetoothName);
        else if (key == "sleep")
            ok = byteOf(value, s.sleepCode);
        else if (key == "buzzer") {
            ok = value == "0" || value == "1";
            s.buzzerOn = value == "1";
        } else if (key == "stored_records") {
            ok = !value.empty() && value.size() <= 9 &&
                 value.find_first_not_of("0123456789") == std::string::npos;
            if (ok)
                s.storedRecords = std::stoi(value);
        } else if (key == "version")
            ok = bytesOf(value, s.version);
        else
            ok = false;
        if (!ok)
            return false;
    }
    state = s;
    return true;
}

} // namespace rfidsim
