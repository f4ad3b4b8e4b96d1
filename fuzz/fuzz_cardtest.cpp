// The card test's logic on any keystrokes and settings: splitting into reads,
// the shape check, visible text, and the keyboard-layout parsers.
//
// Input: bytes 0-15 are the 16 output-setting bytes, bytes 16-22 a card
// number; the rest is read as UTF-8 keystrokes, each key coming after the
// previous one by its code point modulo 150 ms, as a layout query answer, as a
// card ID, as an expected number and as a name that may be a typing slip.
#include "cardtest.h"
#include "check.h"
#include "formatfinder.h"
#include "layouts.h"
#include "nearname.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

using namespace rfid::wedge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 23)
        return 0;
    const OutputSettings settings = OutputSettings::fromBytes(data, 16);
    CardNumber card{};
    for (std::size_t i = 0; i < card.size(); ++i)
        card[i] = data[16 + i];
    const std::string rest(reinterpret_cast<const char*>(data) + 23, size - 23);

    const std::u32string text = fromUtf8(rest);
    std::vector<Keystroke> keys;
    std::int64_t t = 0;
    for (char32_t c : text) {
        t += std::int64_t(c % 150);
        keys.push_back({t, c});
    }
    const SplitOptions options{100, entersPerRead(settings)};
    const std::vector<Read> reads = splitReads(keys, options);
    std::u32string joined;
    for (const Read& r : reads) {
        FUZZ_CHECK(!r.keys.empty(), QStringLiteral("an empty read"));
        const std::u32string rt = r.text();
        if (options.entersPerRead > 0) {
            FUZZ_CHECK(std::count(rt.begin(), rt.end(), U'\r') <= options.entersPerRead,
                       QStringLiteral("a read runs past its last Enter"));
        }
        joined += rt;
        const ShapeCheck c = checkShape(rt, settings);
        FUZZ_CHECK(c.matches == c.reason.empty(), QString::fromStdString(c.reason));
        const std::u32string shown = fromUtf8(visibleText(rt));
        for (char32_t ch : shown)
            FUZZ_CHECK(ch >= 0x20 && ch != 0x7F && (ch < 0x80 || ch >= 0xA0),
                       QStringLiteral("a control key left bare"));
        (void)originNote(r);
    }
    FUZZ_CHECK(joined == text, QStringLiteral("splitting lost or moved a key"));
    FUZZ_CHECK(fromUtf8(toUtf8(text)) == text, QStringLiteral("UTF-8 round trip"));

    // What the model types for this card is one read that matches.
    const std::string typed = typedText(settings, card);
    if (!typed.empty()) {
        std::vector<Keystroke> typedKeys;
        std::int64_t at = 0;
        for (char c : typed)
            typedKeys.push_back({at += 8, char32_t(static_cast<unsigned char>(c))});
        const std::vector<Read> one = splitReads(typedKeys, options);
        FUZZ_CHECK(one.size() == 1, QStringLiteral("the model's text is split"));
        const ShapeCheck c = checkShape(one[0].text(), settings);
        FUZZ_CHECK(c.matches, QString::fromStdString(typed + " : " + c.reason));
    }

    // A card ID as people write it reads back as itself.
    if (const auto id = parseCardId(rest))
        FUZZ_CHECK(parseCardId(cardIdText(*id)) == id, QStringLiteral("a card ID does not read back"));
    // An expected number: near misses only when nothing types it, and every
    // format's own number found exactly.
    const ExpectResult expected = findExpected(card, rest, &settings);
    FUZZ_CHECK(expected.exact.empty() || expected.near.empty(), QStringLiteral("near misses beside a match"));
    for (const Rendering& r : renderAll(card)) {
        bool found = false;
        for (const ExpectMatch& m : findExpected(card, r.number, &settings).exact)
            found = found || m.rendering.format == r.format;
        FUZZ_CHECK(found, QString::fromStdString(r.number));
    }
    const std::vector<std::string> names{"--check", "Belgium", "be", ""};
    const std::string meant = closestName(rest, names);
    FUZZ_CHECK(meant.empty() || std::find(names.begin(), names.end(), meant) != names.end(),
               QStringLiteral("a name that is not one of the names"));

    if (const auto l = parseSetxkbmapQuery(rest))
        FUZZ_CHECK(!l->layout.empty(), QStringLiteral("an empty layout"));
    if (const auto l = parseDefaultKeyboard(rest))
        FUZZ_CHECK(!l->layout.empty(), QStringLiteral("an empty layout"));
    return 0;
}
