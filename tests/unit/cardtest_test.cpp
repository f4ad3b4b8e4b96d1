// The card test's logic: splitting keystrokes into reads, visible control keys,
// the shape check against the output settings, and the rendering model that
// the simulated reader types with.
#include "cardtest.h"
#include "layouts.h"
#include "model.h"
#include "readertables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

using namespace rfid::wedge;

namespace {

const CardNumber kCards[] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x12, 0x34, 0x0A, 0xBC, 0xDE, 0xF0, 0x07},
};

std::u32string u32(const std::string& ascii) {
    return fromUtf8(ascii);
}

// Settings variants every format is checked with.
struct Variant {
    const char* name;
    bool semicolon, question, comma, enter;
    std::uint8_t custom;
    std::array<std::uint8_t, 4> prefix, suffix;
};
const Variant kVariants[] = {
    {"plain", false, false, false, false, 0x00, {}, {}},
    {"enter", false, false, false, true, 0x00, {}, {}},
    {"prefix+suffix", false, false, false, false, 0x00, {0x41, 0x00, 0x23, 0x00}, {0x09, 0x5A, 0, 0}},
    {"all", true, true, true, true, 0x2B, {0x1B, 0x40, 0, 0}, {0x2E, 0x0D, 0, 0}},
    {"enter in prefix", false, false, false, true, 0x00, {0x0D, 0, 0, 0}, {}},
};

OutputSettings settingsFor(std::uint8_t format, const Variant& v) {
    OutputSettings s;
    s.format = format;
    s.semicolon = v.semicolon;
    s.question = v.question;
    s.comma = v.comma;
    s.enter = v.enter;
    s.custom = v.custom;
    s.prefix = v.prefix;
    s.suffix = v.suffix;
    return s;
}

std::vector<Keystroke> typeAt(const std::string& text, std::int64_t start, int intervalMs) {
    std::vector<Keystroke> keys;
    for (char c : text) {
        keys.push_back({start, char32_t(static_cast<unsigned char>(c))});
        start += intervalMs;
    }
    return keys;
}

} // namespace

TEST(CardFormatModel, EveryFormatRendersItsDigitsAndAlphabet) {
    for (const FormatModel& m : formatModels()) {
        SCOPED_TRACE(testing::Message() << "format " << int(m.code));
        EXPECT_GT(m.middle, 0);
        EXPECT_LT(m.middle, m.length());
        for (const CardNumber& card : kCards) {
            const std::string digits = renderNumber(m, card);
            ASSERT_EQ(int(digits.size()), m.length());
            std::size_t at = 0;
            for (const Segment& s : m.segments) {
                // The bytes a segment reads fit in its digits, so no card loses digits.
                if (s.alphabet == Alphabet::Hex) {
                    EXPECT_GE(s.digits, 2 * s.byteCount);
                }
                for (int i = 0; i < s.digits; ++i, ++at) {
                    const char c = digits[at];
                    if (s.alphabet == Alphabet::Decimal) {
                        EXPECT_TRUE(c >= '0' && c <= '9') << digits;
                    } else if (s.alphabet == Alphabet::Hex) {
                        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << digits;
                    }
                }
            }
        }
    }
}

TEST(CardFormatModel, NumbersByteOrderAndPadding) {
    const CardNumber card = kCards[1]; // ... 01 23 45 67 89
    // The four-byte number 0x23456789 = 591751049.
    EXPECT_EQ(renderNumber(*formatModel(0x0F), card), "0591751049");
    EXPECT_EQ(renderNumber(*formatModel(0x0C), card), "23456789");
    // Reversed formats read the bytes the other way round.
    const CardNumber reversed = {0x89, 0x67, 0x45, 0x23, 0x01, 0x00, 0x00};
    const CardNumber reversedFour = {0, 0, 0, 0x89, 0x67, 0x45, 0x23};
    EXPECT_EQ(renderNumber(*formatModel(0x03), card), renderNumber(*formatModel(0x0C), reversedFour));
    EXPECT_EQ(renderNumber(*formatModel(0x0A), card), renderNumber(*formatModel(0x0F), reversedFour));
    EXPECT_EQ(renderNumber(*formatModel(0x02), card), renderNumber(*formatModel(0x01), reversed));
    // Everything is zero-padded; "00+8" keeps its two zeros in front.
    EXPECT_EQ(renderNumber(*formatModel(0x0D), card), "00" + renderNumber(*formatModel(0x0B), card));
    EXPECT_EQ(renderNumber(*formatModel(0x0F), kCards[0]), "0000000000");
    // 0xFFFFFFFF has 10 decimal digits; the 8-digit format keeps the last 8.
    EXPECT_EQ(renderNumber(*formatModel(0x0F), kCards[2]), "4294967295");
    EXPECT_EQ(renderNumber(*formatModel(0x09), kCards[2]), "94967295");
    // Hex is typed in upper case.
    EXPECT_EQ(renderNumber(*formatModel(0x07), kCards[3]), "0ABCDEF007");
    EXPECT_EQ(formatModel(0x04), nullptr);
    EXPECT_EQ(formatModel(0x10), nullptr);
}

TEST(CardFormatModel, TypedTextOrderAndBytes) {
    OutputSettings s = settingsFor(0x0C, kVariants[3]);
    // prefix (Esc @), ;, number with the comma, ?, custom (+), suffix (. Enter), Enter.
    EXPECT_EQ(typedText(s, kCards[1]), "\x1b@;2345,6789?+.\r\r");
    // Bytes without a key are not typed; 0x00 means no byte.
    s.prefix = {0x01, 0x80, 0xFF, 0x00};
    s.suffix = {};
    s.custom = 0x00;
    s.semicolon = s.question = s.comma = s.enter = false;
    EXPECT_EQ(typedText(s, kCards[1]), "23456789");
    s.format = 0x04;
    EXPECT_EQ(typedText(s, kCards[1]), "");
    // The 16 bytes of the write-output-settings command, in their order.
    const std::uint8_t bytes[16] = {0x05, 1, 0, 1, 1, 0, 1, 0x2B, 0x41, 0, 0, 0, 0x42, 0, 0, 0x43};
    const OutputSettings d = OutputSettings::fromBytes(bytes, 16);
    EXPECT_EQ(d.format, 0x05);
    EXPECT_TRUE(d.semicolon && d.comma && d.enter);
    EXPECT_FALSE(d.question || d.bigBuzzer);
    EXPECT_EQ(d.custom, 0x2B);
    EXPECT_EQ(d.prefix[0], 0x41);
    EXPECT_EQ(d.suffix[0], 0x42);
    EXPECT_EQ(d.suffix[3], 0x43);
    const OutputSettings shortRead = OutputSettings::fromBytes(bytes, 1);
    EXPECT_EQ(shortRead.format, 0x05);
    EXPECT_FALSE(shortRead.enter);
    EXPECT_EQ(OutputSettings::fromBytes(nullptr, 16).format, OutputSettings{}.format);
}

// Every format, with and without prefix, suffix, separators and Enter: what
// the model types is split into one read per card and matches its settings.
TEST(CardShapeCheck, WhatTheModelTypesMatchesForEveryFormatAndVariant) {
    for (const FormatModel& m : formatModels()) {
        for (const Variant& v : kVariants) {
            SCOPED_TRACE(testing::Message() << "format " << int(m.code) << ", " << v.name);
            const OutputSettings s = settingsFor(m.code, v);
            std::vector<Keystroke> keys;
            std::int64_t t = 1000;
            for (const CardNumber& card : kCards) {
                const std::vector<Keystroke> k = typeAt(typedText(s, card), t, 8);
                keys.insert(keys.end(), k.begin(), k.end());
                t = keys.back().ms + (v.enter ? 20 : 150); // with Enter on, reads may follow closely
            }
            const std::vector<Read> reads = splitReads(keys, {100, entersPerRead(s)});
            ASSERT_EQ(reads.size(), std::size(kCards));
            for (std::size_t i = 0; i < reads.size(); ++i) {
                EXPECT_EQ(toUtf8(reads[i].text()), typedText(s, kCards[i]));
                const ShapeCheck c = checkShape(reads[i].text(), s);
                EXPECT_TRUE(c.matches) << c.reason;
                EXPECT_EQ(c.reason, "");
                EXPECT_EQ(originOf(reads[i]), Origin::Reader);
            }
        }
    }
}

// Every format, with and without the extras: a number one digit short, one
// digit long, or with a character outside its alphabet does not match, and the
// reason names the expected digits and what came.
TEST(CardShapeCheck, DamagedNumbersFailWithAReasonForEveryFormat) {
    for (const FormatModel& m : formatModels()) {
        for (const Variant& v : {kVariants[0], kVariants[3]}) {
            SCOPED_TRACE(testing::Message() << "format " << int(m.code) << ", " << v.name);
            OutputSettings s = settingsFor(m.code, v);
            s.comma = false; // the number's digits stay contiguous for the edits below
            const std::string good = typedText(s, kCards[3]);
            const std::size_t at = good.find(renderNumber(m, kCards[3]));
            ASSERT_NE(at, std::string::npos);
            std::string shorter = good;
            shorter.erase(at + 1, 1);
            std::string longer = good;
            longer.insert(at + 1, "7");
            std::string alien = good;
            alien[at + std::size_t(m.length()) - 1] = 'G';
            for (const std::string& bad : {shorter, longer, alien}) {
                const ShapeCheck c = checkShape(u32(bad), s);
                EXPECT_FALSE(c.matches) << bad;
                EXPECT_NE(c.reason.find("expected "), std::string::npos) << c.reason;
                EXPECT_NE(c.reason.find(", got "), std::string::npos) << c.reason;
            }
            EXPECT_NE(checkShape(u32(shorter), s).reason.find(std::to_string(m.length() - 1)),
                      std::string::npos);
        }
    }
}

TEST(CardShapeCheck, ReasonsNameWhatIsWrong) {
    OutputSettings tenDecimal;
    tenDecimal.format = 0x0F;
    EXPECT_EQ(checkShape(U"0ABCDEF0", tenDecimal).reason, "expected 10 decimal digits, got 8 hex digits");
    EXPECT_EQ(checkShape(U"12345678", tenDecimal).reason, "expected 10 decimal digits, got 8 decimal digits");
    EXPECT_EQ(checkShape(U"", tenDecimal).reason, "expected 10 decimal digits, got nothing");
    EXPECT_EQ(checkShape(U"12345x7890", tenDecimal).reason,
              "expected 10 decimal digits, got 10 characters \"12345x7890\"");
    EXPECT_EQ(checkShape(U"1234567890\r", tenDecimal).reason, "Enter at the end, but Enter is off");
    EXPECT_EQ(checkShape(U";1234567890?", tenDecimal).reason,
              "; before the number, but ; is off; ? after the number, but ? is off");
    EXPECT_EQ(checkShape(U"12345,67890", tenDecimal).reason, "a comma in the number, but the comma is off");

    OutputSettings all = tenDecimal;
    all.enter = all.comma = all.semicolon = all.question = true;
    all.prefix = {0x41, 0x42, 0, 0};
    all.suffix = {0x09, 0, 0, 0};
    EXPECT_TRUE(checkShape(U"AB;12345,67890?\t\r", all).matches);
    EXPECT_EQ(checkShape(U"AB;12345,67890?\t", all).reason, "expected Enter at the end");
    EXPECT_EQ(checkShape(U"A;12345,67890?\t\r", all).reason,
              "expected prefix \"AB\", got \"A;\"; expected ; before the number; expected the comma after 5 "
              "digits, got it after 7; expected 10 decimal digits, got 12 characters \"A;1234567890\"");
    EXPECT_EQ(checkShape(U"AB;1234,567890?\t\r", all).reason,
              "expected the comma after 5 digits, got it after 4");
    EXPECT_EQ(checkShape(U"AB;1234567890?\t\r", all).reason, "expected a comma after 5 digits, got none");
    EXPECT_EQ(checkShape(U"AB;12345,67890?\r", all).reason, "expected suffix \"⇥\", got \"?\"");
    EXPECT_EQ(checkShape(U"AB12345,67890\t\r", all).reason,
              "expected ; before the number; expected ? after the number");

    OutputSettings twoParts;
    twoParts.format = 0x00;
    EXPECT_EQ(checkShape(U"AB12CD345678", twoParts).reason,
              "expected 2 hex digits + 4 decimal digits + 2 hex digits + 4 decimal digits, got 12 hex digits")
        << "hex digits in the wrong place";
    EXPECT_TRUE(checkShape(U"AB0012cd0255", twoParts).matches) << "hex in either case";
    OutputSettings zeros;
    zeros.format = 0x0D;
    EXPECT_EQ(checkShape(U"1112345678", zeros).reason,
              "expected 00 + 8 decimal digits, got 10 decimal digits");

    OutputSettings unknown;
    unknown.format = 0x04;
    EXPECT_EQ(checkShape(U"1234", unknown).reason, "output format 0x04 is not one the reader has");
}

TEST(CardShapeCheck, HostileText) {
    OutputSettings s;
    s.enter = true;
    s.prefix = {0x0D, 0, 0, 0};
    for (const std::u32string& t : {std::u32string(), std::u32string(U"\r"), std::u32string(U"\r\r"),
                                    std::u32string(100000, U'9'), std::u32string(U"\U0010FFFF\0\uFFFF", 3)}) {
        const ShapeCheck c = checkShape(t, s);
        EXPECT_FALSE(c.matches);
        EXPECT_FALSE(c.reason.empty());
        EXPECT_LT(c.reason.size(), 400u) << "long input is summarised, not echoed";
    }
    EXPECT_TRUE(checkShape(U"\r0123456789\r", s).matches);
}

TEST(CardReads, PausesAndEnterEndReads) {
    // Two cards 50 ms apart are one read without Enter, two with it.
    std::vector<Keystroke> keys = typeAt("123\r", 0, 10);
    const std::vector<Keystroke> second = typeAt("456\r", 80, 10);
    keys.insert(keys.end(), second.begin(), second.end());
    EXPECT_EQ(splitReads(keys, {100, 0}).size(), 1u);
    const std::vector<Read> withEnter = splitReads(keys, {100, 1});
    ASSERT_EQ(withEnter.size(), 2u);
    EXPECT_EQ(withEnter[1].text(), U"456\r");
    EXPECT_EQ(withEnter[1].durationMs(), 30);
    // A prefix Enter does not end the read when Enter is counted twice.
    EXPECT_EQ(splitReads(keys, {100, 2}).size(), 1u);

    // A pause of exactly the limit keeps the read together; one more ms splits it.
    EXPECT_EQ(splitReads({{0, U'1'}, {100, U'2'}}, {100, 0}).size(), 1u);
    EXPECT_EQ(splitReads({{0, U'1'}, {101, U'2'}}, {100, 0}).size(), 2u);
    // A clock that goes back starts a new read.
    EXPECT_EQ(splitReads({{500, U'1'}, {20, U'2'}}, {100, 0}).size(), 2u);

    // Live: the splitter holds the read until told that a pause has passed.
    ReadSplitter live({100, 0});
    EXPECT_TRUE(live.add({0, U'7'}).empty());
    EXPECT_TRUE(live.pending());
    const std::optional<Read> done = live.finish();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->text(), U"7");
    EXPECT_FALSE(live.pending());
    EXPECT_FALSE(live.finish());

    // A paste ends what was being typed and is a read of its own.
    ReadSplitter paste({100, 1});
    paste.add({0, U'1'});
    const std::vector<Read> out = paste.addPaste(U"0123456789\r", 5);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].text(), U"1");
    EXPECT_TRUE(out[1].pasted);
    EXPECT_EQ(out[1].text(), U"0123456789\r");
    EXPECT_FALSE(paste.pending());
}

TEST(CardReads, EntersPerReadCountsPrefixSuffixAndCustom) {
    OutputSettings s;
    EXPECT_EQ(entersPerRead(s), 0);
    s.prefix = {0x0D, 0, 0, 0};
    EXPECT_EQ(entersPerRead(s), 0) << "Enter off: only pauses end reads";
    s.enter = true;
    s.custom = 0x0D;
    s.suffix = {0x0D, 0x41, 0, 0};
    EXPECT_EQ(entersPerRead(s), 4);
}

TEST(CardReads, TimingThatNoReaderHas) {
    Read r;
    r.keys = typeAt("0123456789\r", 0, 0);
    EXPECT_EQ(originOf(r), Origin::TooFast);
    EXPECT_EQ(originNote(r), "11 keys in 0 ms: faster than a reader types, not from a reader");
    r.keys = typeAt("0123456789\r", 0, 2);
    EXPECT_EQ(originOf(r), Origin::Reader);
    EXPECT_EQ(originNote(r), "");
    r.keys = typeAt("7", 0, 0);
    EXPECT_EQ(originOf(r), Origin::Reader) << "one key has no timing";
    r.pasted = true;
    EXPECT_EQ(originOf(r), Origin::Pasted);
    EXPECT_EQ(originNote(r), "pasted, not from a reader");
}

TEST(CardReads, ControlKeysAreVisible) {
    EXPECT_EQ(visibleText(U"12\r"), "12⏎");
    EXPECT_EQ(visibleText(U"\t\x08\x1b\x7f a"), "⇥⌫⎋⌦␣a");
    EXPECT_EQ(visibleText(std::u32string(U"\0\x01\n", 3)), "␀␁␊");
    EXPECT_EQ(visibleText(U"\x85ü"), "\uFFFDü");
    EXPECT_EQ(toUtf8(fromUtf8("ä€\xF0\x9F\x98\x80")), "ä€\xF0\x9F\x98\x80");
    // Broken UTF-8 becomes U+FFFD, never a crash or a lost character count.
    EXPECT_EQ(fromUtf8("\xC3"), U"\uFFFD");
    EXPECT_EQ(fromUtf8("\xE2\x82"), U"\uFFFD\uFFFD");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), U"\uFFFD\uFFFD") << "over-long form";
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD") << "surrogate";
}

TEST(KeyboardLayouts, ReaderLanguageAgainstDesktop) {
    EXPECT_EQ(readerLayout(0x00)->name(), "us");
    EXPECT_EQ(readerLayout(0x0A)->name(), "de");
    EXPECT_EQ(readerLayout(0x16)->name(), "ch(fr)");
    EXPECT_FALSE(readerLayout(0x19)) << "Non Latin has no one layout";
    EXPECT_FALSE(readerLayout(0x1E));
    EXPECT_FALSE(readerLayout(0xFF));
    for (int code = 0; code < 0x1E; ++code) {
        if (const auto l = readerLayout(std::uint8_t(code))) {
            EXPECT_TRUE(sameLayout(*l, *l));
        }
    }

    const auto desk = parseSetxkbmapQuery("rules:      evdev\nmodel:      pc105\nlayout:     de,us\n"
                                          "variant:    nodeadkeys,\noptions:    grp:alt_shift_toggle\n");
    ASSERT_TRUE(desk);
    EXPECT_EQ(desk->name(), "de(nodeadkeys)");
    EXPECT_TRUE(sameLayout(*readerLayout(0x0A), *desk));
    EXPECT_FALSE(sameLayout(*readerLayout(0x00), *desk));
    EXPECT_FALSE(sameLayout(*readerLayout(0x16), {"ch", ""})) << "the French Swiss variant differs";
    EXPECT_TRUE(sameLayout(*readerLayout(0x17), {"ch", "fr"})) << "no variant named: the layout decides";

    const auto file =
        parseDefaultKeyboard("# comment\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\nXKBVARIANT=\"\"\n");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name(), "fr");
    EXPECT_EQ(parseDefaultKeyboard("XKBLAYOUT='tr'\nXKBVARIANT='f'")->name(), "tr(f)");

    // Nothing usable: no answer rather than a guess.
    for (const char* bad : {"", "layout:", "layout: ,us", "layout: us; rm -rf", "XKBLAYOUT=us", "\xff\xfe",
                            "layout: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"})
        EXPECT_FALSE(parseSetxkbmapQuery(bad)) << bad;
    EXPECT_FALSE(parseDefaultKeyboard("XKBLAYOUT=\"\"\n"));
    EXPECT_FALSE(parseDefaultKeyboard("layout: us\n"));
}

TEST(CardFormatModel, SimulatedReaderTypesWithTheSettingsItWasSent) {
    rfidsim::Reader r;
    // Write-output-settings: 8 hex digits, Enter, prefix "#".
    rfidsim::Bytes frame{0xAA, 0x00, 0x11, 0x82, 0x0C, 0, 0, 0, 1, 1, 1, 0, 0x23, 0, 0, 0, 0, 0, 0, 0};
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        x ^= frame[i];
    frame.push_back(x);
    frame.push_back(0xBB);
    ASSERT_TRUE(r.write(frame.data(), int(frame.size())));
    std::uint8_t answer[64] = {};
    ASSERT_GT(r.read(answer, 64), 4);
    ASSERT_EQ(answer[3], 0x00);
    EXPECT_EQ(rfidsim::typedCard(r.keyboard, kCards[1]), "#23456789\r");
    r.keyboard.output[0] = 0x04; // a code without a format
    EXPECT_EQ(rfidsim::typedCard(r.keyboard, kCards[1]), "");
}

// The model is read from the formats' names: every format the reader has is
// modelled, with the digit count and alphabet its read-back name gives
// ("10 no. in HEX", "00+8 no. in D", "2H4D + 2H4D").
TEST(CardFormatModel, FollowsTheFormatNames) {
    const std::regex counted(R"(^\s*(00\+)?(\d+) no\.\s*in\s*(HEX|D)\b)");
    const std::regex parts(R"((\d+)([HD]))");
    ASSERT_EQ(formatModels().size(), rfid::outputFormats().size());
    for (const rfid::OutputFormat& f : rfid::outputFormats()) {
        SCOPED_TRACE(f.readName);
        const FormatModel* m = formatModel(f.code);
        ASSERT_NE(m, nullptr);
        std::vector<Segment> expected;
        std::smatch match;
        const std::string name = f.readName;
        if (std::regex_search(name, match, counted)) {
            if (match[1].matched)
                expected.push_back({Alphabet::Literal, 0, 0, false, 2, "00"});
            expected.push_back({match[3] == "HEX" ? Alphabet::Hex : Alphabet::Decimal, 0, 0, false,
                                std::stoi(match[2]), ""});
        } else {
            for (auto it = std::sregex_iterator(name.begin(), name.end(), parts);
                 it != std::sregex_iterator(); ++it)
                expected.push_back({(*it)[2] == "H" ? Alphabet::Hex : Alphabet::Decimal, 0, 0, false,
                                    std::stoi((*it)[1]), ""});
        }
        ASSERT_FALSE(expected.empty());
        // Adjacent runs of one alphabet count together (3 + 5 decimal digits are 8).
        std::vector<std::pair<Alphabet, int>> got;
        for (const Segment& s : m->segments) {
            if (!got.empty() && got.back().first == s.alphabet && s.alphabet != Alphabet::Literal)
                got.back().second += s.digits;
            else
                got.emplace_back(s.alphabet, s.digits);
        }
        std::vector<std::pair<Alphabet, int>> want;
        for (const Segment& s : expected)
            want.emplace_back(s.alphabet, s.digits);
        EXPECT_EQ(got, want);
    }
}
