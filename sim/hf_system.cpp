#include "hf_system.h"

#include "hf_state.h"
#include "model.h"

#include <algorithm>

namespace rfidsim {

namespace {
constexpr std::uint8_t kBadFormat = 0x85;

Reply setSignal(SignalSetting& setting, const Bytes& data) {
    if (data.size() != 2)
        return refuse(kBadFormat);
    setting = {data[0], data[1]};
    return ok();
}
} // namespace

std::optional<Reply> systemAnswer(HfState& state, const Request& request) {
    SystemState& s = state.system;
    const Bytes& d = request.data;
    switch (request.command) {
    case 0x80: // set address
        if (d.size() != 1)
            return refuse(kBadFormat);
        s.address = d[0];
        return ok();
    case 0x81: // set baud rate
        if (d.size() != 1 || d[0] > 0x04)
            return refuse(kBadFormat);
        s.baudCode = d[0];
        return ok();
    case 0x82: // set serial number
        if (d.size() != s.serial.size())
            return refuse(kBadFormat);
        std::copy(d.begin(), d.end(), s.serial.begin());
        return ok();
    case 0x83: { // read address and serial number
        if (!d.empty())
            return refuse(kBadFormat);
        Bytes out{s.address};
        out.insert(out.end(), s.serial.begin(), s.serial.end());
        return ok(out);
    }
    case 0x87:
        return setSignal(s.ledR, d);
    case 0x88:
        return setSignal(s.led, d);
    case 0x89:
        return setSignal(s.buzzer, d);
    case 0x0F: // active (01) or passive (02) reading
        if (d.size() != 1 || (d[0] != 0x01 && d[0] != 0x02))
            return refuse(kBadFormat);
        s.activeReading = d[0] == 0x01;
        return ok();
    default:
        return std::nullopt;
    }
}

} // namespace rfidsim
