// The serial receive path and the card-detection report on any blocks.
//
// Input: byte 0 holds flags (bit 0: the debugging state "USB数据调试状态",
// bit 1: the card-detection state "自动检测卡状态"; both can be on at once
// here), then blocks, each a length byte and that many bytes (255: the rest, at most 2048), handed to
// Comm1ReceiveData one after the other as the serial component would.
#include "check.h"
#include "hex.h"
#include "window.h"

#include <QRadioButton>
#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzwin::start();
    TForm1* form = fuzzwin::window().form;
    // The two states are exclusive in the window; here each is switched alone.
    form->RadioButton4->setAutoExclusive(false);
    form->RadioButton19->setAutoExclusive(false);
    form->RadioButton3->setAutoExclusive(false);
    form->RadioButton3->setChecked(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    fuzzwin::Window& w = fuzzwin::window();
    fuzzwin::trimLog(256);
    TForm1* form = w.form;
    const bool debug = data[0] & 1;
    const bool detect = data[0] & 2;
    form->RadioButton4->setChecked(debug);
    form->RadioButton19->setChecked(detect);
    form->prepareLink(); // no answer held
    w.errors.clear();

    std::size_t at = 1;
    while (at < size) {
        // A length byte of 255 takes the rest, up to one whole read of the port.
        const std::size_t left = size - at - 1;
        const std::size_t n =
            data[at] == 0xFF ? std::min<std::size_t>(left, 2048) : std::min<std::size_t>(data[at], left);
        const std::uint8_t* block = data + at + 1;
        at += 1 + n;

        const QString before = form->lastResponse;
        const int logBefore = fuzzwin::logSize();
        form->Comm1ReceiveData(block, int(n));

        // Every byte is appended as two digits, unless a card report took the
        // text away.
        const QString grown = before + rfid::toHex(block, int(n));
        const QString type = grown.mid(2, 2);
        const bool card = type.size() == 2 && type >= QLatin1String("01") && type <= QLatin1String("05");
        const QString& now = form->lastResponse;
        FUZZ_CHECK(isUpperHexBytes(now), QStringLiteral("last response ") + now);
        if (detect && card)
            FUZZ_CHECK(now.isEmpty() && fuzzwin::logSize() > logBefore,
                       QStringLiteral("card type ") + type + QStringLiteral(" not reported: ") + now);
        else
            FUZZ_CHECK(now == grown,
                       QStringLiteral("received bytes lost: ") + now + QStringLiteral(" expected ") + grown);
        if (debug && n > 0)
            FUZZ_CHECK(fuzzwin::logSize() > logBefore, "the debugging state shows every block");
    }
    FUZZ_CHECK(w.errors.isEmpty(), QStringLiteral("raised: ") + w.errors.join('|'));
    return 0;
}
