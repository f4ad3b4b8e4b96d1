#include "keyboard.h"

#include "model.h"

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

std::string typedCard(const KeyboardState& state, const rfid::wedge::CardNumber& card) {
    const auto settings =
        rfid::wedge::OutputSettings::fromBytes(state.output.data(), int(state.output.size()));
    return rfid::wedge::typedText(settings, card);
}

} // namespace rfidsim
