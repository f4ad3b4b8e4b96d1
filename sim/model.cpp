#include "model.h"

#include <algorithm>

namespace rfidsim {

Bytes encodeFrame(std::uint8_t address, const Reply& reply) {
    const std::size_t n = 1 + reply.data.size();
    Bytes out{0xAA, address, static_cast<std::uint8_t>(n), reply.status};
    out.reserve(n + 5); // also keeps g++ 12 -O2 from a false -Warray-bounds on the insert below
    out.insert(out.end(), reply.data.begin(), reply.data.end());
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < out.size(); ++i)
        x ^= out[i];
    out.push_back(x);
    out.push_back(0xBB);
    return out;
}

std::optional<Request> parseFrame(const std::uint8_t* frame, int count) {
    if (!frame || count < 5 || frame[0] != 0xAA || frame[count - 1] != 0xBB)
        return std::nullopt;
    const int n = frame[2];
    if (n < 1 || n + 5 != count)
        return std::nullopt;
    std::uint8_t x = 0;
    for (int i = 1; i <= 2 + n; ++i)
        x ^= frame[i];
    if (x != frame[3 + n])
        return std::nullopt;
    Request r;
    r.address = frame[1];
    r.command = frame[3];
    r.data.assign(frame + 4, frame + 3 + n);
    return r;
}

Reply hfAnswer(HfState& state, const Request& request) {
    using Group = std::optional<Reply> (*)(HfState&, const Request&);
    static const Group groups[] = {systemAnswer, mifareAnswer, ultralightAnswer, typeBAnswer, iso15693Answer};
    for (Group g : groups) {
        if (std::optional<Reply> reply = g(state, request))
            return *reply;
    }
    return refuse(0x8F);
}

Reader::Reader() = default;

void Reader::reset() {
    *this = Reader();
}

Reply Reader::answer(const Request& request) {
    if (family == Family::Keyboard)
        return keyboardAnswer(keyboard, request);
    return hfAnswer(hf, request);
}

bool Reader::write(const std::uint8_t* frame, int count) {
    m_pending.clear();
    if (count < 0 || (count > 0 && !frame))
        return false;
    frames.emplace_back(frame, frame + count);
    if (fault == Fault::WriteFail)
        return false;
    if (!scripted.empty()) {
        m_pending = scripted.front();
        scripted.pop_front();
        return true;
    }
    const std::optional<Request> request = parseFrame(frame, count);
    if (!request || fault == Fault::Silent)
        return true; // a reader ignores what it cannot parse
    const KeyboardState before = keyboard;
    Reply reply = answer(*request);
    if (fault == Fault::IgnoreSetting)
        keepSetting(keyboard, before, faultArg);
    if (fault == Fault::Refuse)
        reply = refuse(static_cast<std::uint8_t>(faultArg));
    else if (fault == Fault::Damaged)
        reply.status = static_cast<std::uint8_t>(faultArg);
    m_pending = encodeFrame(request->address, reply);
    if (fault == Fault::Short)
        m_pending.resize(std::min<std::size_t>(m_pending.size(), std::size_t(std::max(faultArg, 0))));
    else if (fault == Fault::Overlong) {
        m_pending.resize(245, 0x5A);
        m_pending[2] = 0xFF;
    }
    return true;
}

int Reader::read(std::uint8_t* buffer, int capacity) {
    if (!buffer || capacity <= 0 || m_pending.empty())
        return 0;
    const int n = std::min<int>(capacity, int(m_pending.size()));
    std::copy_n(m_pending.begin(), n, buffer);
    m_pending.clear();
    return n;
}

namespace {
Reader* currentReader = nullptr;
}

Reader& reader() {
    static Reader first;
    return currentReader ? *currentReader : first;
}

void setCurrentReader(Reader* current) {
    currentReader = current;
}

} // namespace rfidsim
