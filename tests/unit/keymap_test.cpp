// What a computer shows when the reader types for one keyboard layout and the
// computer uses another (libxkbcommon and the XKB data), and a card in every
// output format. Expected texts are literal, worked out from the layouts'
// printed key caps, so that a wrong model cannot agree with itself.
#include "cardtest.h"
#include "formatfinder.h"
#include "keymap.h"
#include "nearname.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace rfid::wedge;

namespace {

std::shared_ptr<const Keymap> layout(const char* name) {
    std::string error;
    auto k = Keymap::load(*parseLayoutName(name), &error);
    EXPECT_TRUE(k) << name << ": " << error;
    return k;
}

// What a computer with `host` shows when a reader typing for `reader` means
// `text`, control keys made visible as the card test shows them.
std::string shows(const char* reader, const char* host, const std::string& text) {
    const auto r = layout(reader);
    const auto h = layout(host);
    if (!r || !h)
        return "(no layout)";
    return visibleText(translate(fromUtf8(text), *r, *h).shown());
}

std::string wrong(const char* reader, const char* host, const std::string& text) {
    return toUtf8(translate(fromUtf8(text), *layout(reader), *layout(host)).wrong());
}

std::set<std::uint8_t> codes(const std::vector<Rendering>& renderings) {
    std::set<std::uint8_t> out;
    for (const Rendering& r : renderings)
        out.insert(r.format->code);
    return out;
}

// Where the program was built without libxkbcommon (not on Linux), there are no keymaps to test.
class Keymaps : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!Keymap::load({"us", ""}, &error) && error.find("without libxkbcommon") != std::string::npos)
            GTEST_SKIP() << error;
    }
};

} // namespace

TEST_F(Keymaps, AmericanReaderOnOtherComputers) {
    // Belgian AZERTY: the digits need Shift, and the keys without it type & é " ' ( § è ! ç à.
    EXPECT_EQ(shows("us", "be", "0013748911"), "àà&\"è'!ç&&");
    // French AZERTY: the same, but 8 is under _.
    EXPECT_EQ(shows("us", "fr", "0013748911\r"), "àà&\"è'_ç&&⏎");
    EXPECT_EQ(wrong("us", "fr", "0013748911\r"), "0137489");
    // German QWERTZ: Y and Z swapped; hex digits and Enter come through.
    EXPECT_EQ(shows("us", "de", "Z0ABCDEF007Y\r"), "Y0ABCDEF007Z⏎");
    EXPECT_EQ(shows("us", "de", ";-?"), "öß_");
    // British: @ and " swapped, # is £; digits agree.
    EXPECT_EQ(shows("us", "gb", "@\"#"), "\"@£");
    EXPECT_EQ(shows("us", "gb", "0013748911\r"), "0013748911⏎");
    EXPECT_TRUE(translate(U"0123456789\r\t", *layout("us"), *layout("gb")).right());
}

TEST_F(Keymaps, OtherReadersOnOtherComputers) {
    // A German reader on an American computer: Y and Z swapped back, ; is Shift+comma there.
    EXPECT_EQ(shows("de", "us", "Z0ABCDEF007Y;\r"), "Y0ABCDEF007Z<⏎");
    // A French reader on an American computer: Shift+the digit keys.
    EXPECT_EQ(shows("fr", "us", "0123"), ")!@#");
    // A Hungarian reader types 0 on the key left of 1.
    EXPECT_EQ(shows("hu", "us", "0123"), "`123");
    // The German reader's @ is AltGr+Q; on an American computer the right Alt is
    // Alt, and Alt+Q types nothing.
    const Translation t = translate(U"@1", *layout("de"), *layout("us"));
    ASSERT_EQ(t.chars.size(), 2u);
    EXPECT_EQ(layout("de")->describe(*t.chars[0].press), "AltGr+Q");
    EXPECT_EQ(t.chars[0].outcome, CharOutcome::Nothing);
    EXPECT_EQ(visibleText(t.shown()), "1");
    // A key that is a dead key on the computer: its accent, marked.
    const Translation dead = translate(U"`", *layout("us"), *layout("de"));
    EXPECT_EQ(dead.chars[0].outcome, CharOutcome::Dead);
    EXPECT_EQ(visibleText(dead.shown()), "^");
    // A character the reader's layout has no key for cannot be sent.
    const Translation cyrillic = translate(U"Ж1", *layout("us"), *layout("us"));
    EXPECT_EQ(cyrillic.chars[0].outcome, CharOutcome::NotTypeable);
    EXPECT_EQ(toUtf8(cyrillic.notTypeable()), "Ж");
    EXPECT_EQ(visibleText(cyrillic.shown()), "1");
    // A Russian computer: digits agree, letters become Cyrillic, @ is not there.
    EXPECT_EQ(shows("us", "ru", "@0AB"), "\"0ФИ");
}

TEST_F(Keymaps, EveryLanguageLayoutCompilesAndAgreesWithItself) {
    int withLayout = 0;
    for (const rfid::KeyboardLanguage& l : rfid::keyboardLanguages()) {
        SCOPED_TRACE(l.readName);
        const auto reader = readerLayout(l.code);
        if (!l.xkbLayout) {
            EXPECT_FALSE(reader) << "a language without a layout says so";
            continue;
        }
        ++withLayout;
        std::string error;
        const auto k = Keymap::load(*reader, &error);
        ASSERT_TRUE(k) << error;
        // Every language can type what a card number needs.
        const Translation t = translate(U"0123456789ABCDEF\r\t", *k, *k);
        EXPECT_TRUE(t.right()) << toUtf8(t.wrong());
    }
    EXPECT_EQ(withLayout, 29);
    EXPECT_EQ(readerLayout(0x19), std::nullopt) << "Non Latin";
    EXPECT_EQ(ownLanguage({"be", ""})->code, 0x01);
    EXPECT_EQ(ownLanguage({"ch", "fr"})->code, 0x16);
    EXPECT_EQ(ownLanguage({"ch", ""})->code, 0x17);
    EXPECT_EQ(ownLanguage({"de", "nodeadkeys"})->code, 0x0A) << "the same layout, another variant";
    EXPECT_EQ(ownLanguage({"ru", ""}), nullptr);
}

TEST_F(Keymaps, LanguagesThatSuitAComputer) {
    const auto be = layout("be");
    const std::vector<LanguageFit> fits = fitLanguages(U"0123456789\r", *be);
    ASSERT_EQ(fits.size(), 30u);
    EXPECT_EQ(fits[0].language->code, 0x01) << "the layout's own language first";
    EXPECT_TRUE(fits[0].right());
    std::set<std::uint8_t> right;
    for (const LanguageFit& f : fits) {
        if (f.right())
            right.insert(f.language->code);
        if (f.language->code == 0x19) {
            EXPECT_FALSE(f.keymap);
            EXPECT_EQ(f.problem, "it types for no one keyboard layout");
        }
    }
    // Belgium, French, Czech and Slovak all put the digits on Shift of the same keys.
    EXPECT_EQ(right, (std::set<std::uint8_t>{0x01, 0x05, 0x06, 0x09}));

    // Nothing types @ on a Russian computer.
    const auto ru = layout("ru");
    for (const LanguageFit& f : fitLanguages(U"@0", *ru)) {
        EXPECT_FALSE(f.right()) << f.language->readName;
    }
}

TEST_F(Keymaps, LayoutNamesThatAreRefused) {
    for (const char* bad : {"", "(", "de(", "de()", "()", "de(x", "de,us", "de us", "../de", "de(../../x)",
                            "de(nodeadkeys)x", "é", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}) {
        EXPECT_FALSE(parseLayoutName(bad)) << bad;
    }
    EXPECT_EQ(parseLayoutName("de(nodeadkeys)")->name(), "de(nodeadkeys)");
    EXPECT_EQ(parseLayoutName("be")->variant, "");

    std::string error;
    EXPECT_FALSE(Keymap::load({"xx", ""}, &error));
    EXPECT_EQ(error, "the XKB keyboard data has no layout \"xx\"");
    EXPECT_FALSE(Keymap::load({"us", "nosuchvariant"}, &error));
    EXPECT_EQ(error, "the XKB keyboard data has no layout \"us(nosuchvariant)\"");
    EXPECT_FALSE(Keymap::load({"../us", ""}, &error));
    EXPECT_EQ(error, "\"../us\" is not a keyboard layout name (such as de or de(nodeadkeys))");
    // Asked again, the same answer (kept, not compiled again).
    EXPECT_EQ(Keymap::load({"be", ""}), Keymap::load({"be", ""}));
    EXPECT_FALSE(Keymap::load({"xx", ""}, &error));
}

TEST(CardFormats, KnownAnswersForAnEmCard) {
    std::string error;
    const auto card = parseCardId("5D00452C14", &error);
    ASSERT_TRUE(card) << error;
    EXPECT_EQ(*card, (CardNumber{0, 0, 0x5D, 0x00, 0x45, 0x2C, 0x14}));
    EXPECT_EQ(cardIdText(*card), "5D00452C14");
    EXPECT_EQ(*parseCardId("5d00452c14"), *card) << "either case";
    for (const char* printed : {"5D 00 45 2C 14", "5D:00:45:2C:14", "5d-00-45-2c-14", "5D00 452C14"})
        EXPECT_EQ(parseCardId(printed), card) << printed;

    std::vector<std::string> all;
    for (const Rendering& r : renderAll(*card))
        all.push_back(r.number);
    // In code order: 00 01 02 03 05 06 07 08 09 0A 0B 0C 0D 0E 0F.
    EXPECT_EQ(all, (std::vector<std::string>{"0000692C0020", "00005D00452C14", "142C45005D0000", "142C4500",
                                             "0399436491796", "000000399436491796", "5D00452C14", "11284",
                                             "04533268", "0338445568", "04533268", "00452C14", "0004533268",
                                             "06911284", "0004533268"}));

    // The last four bytes in ten digits: "10 no.in D", and "00+8 no. in D" alike,
    // since byte 3 is zero; this card cannot tell them apart.
    EXPECT_EQ(codes(formatsTyping(*card, "0004533268")), (std::set<std::uint8_t>{0x0D, 0x0F}));
    EXPECT_EQ(codes(formatsTyping(*card, "04533268")), (std::set<std::uint8_t>{0x09, 0x0B}));
    EXPECT_EQ(codes(formatsTyping(*card, "069 11284")), (std::set<std::uint8_t>{0x0E}));
    EXPECT_EQ(codes(formatsTyping(*card, "5d00452c14")), (std::set<std::uint8_t>{0x07}));
    EXPECT_TRUE(formatsTyping(*card, "4533268").empty()) << "a digit short";
    EXPECT_TRUE(formatsTyping(*card, "").empty());
    EXPECT_TRUE(formatsTyping(*card, " \t").empty());

    // A seven-byte card fills all seven bytes.
    const auto seven = parseCardId("04A1B2C3D4E5F6");
    ASSERT_TRUE(seven);
    EXPECT_EQ(cardIdText(*seven), "04A1B2C3D4E5F6");
    EXPECT_EQ(renderNumber(*formatModel(0x01), *seven), "04A1B2C3D4E5F6");
    EXPECT_EQ(renderNumber(*formatModel(0x02), *seven), "F6E5D4C3B2A104");
}

// What users paste or type as the number they expect, held against card 5D00452C14.
TEST(CardFormats, ExpectedNumbersAsPeopleWriteThem) {
    const CardNumber card = *parseCardId("5D00452C14");
    rfid::OutputSettings s;
    s.prefix = {'@', 0, 0, 0};
    s.suffix = {'/', 0, 0, 0};
    s.semicolon = s.question = s.enter = true;
    const struct {
        const char* expected;
        bool withSettings;
        const char* exact; // codes of the formats that type it, with how it was read
        const char* near;  // when none does: the near misses
    } cases[] = {
        {"00452C14", false, "0C", ""},
        {"@;00452C14?/", true, "0C what the reader types", ""},
        {" @;00452C14?/\r", true, "0C what the reader types", ""},
        {"@;00452C14?/", false, "0C the number amid other signs", ""},
        {"069,11284", false, "0E facility,card", ""},
        {"69:11284", false, "0E facility,card", ""},
        {"4533268", false, "",
         "09 your number with leading zeros; 0B your number with leading zeros; "
         "0D your number with leading zeros; 0F your number with leading zeros"},
        {"0000452C14", false, "", "0C your number with fewer leading zeros"},
        {"070,11284", false, "", ""},
        {"999,11284", false, "", ""},
        {"12345", false, "", ""},
        {"", false, "", ""},
    };
    auto list = [](const std::vector<ExpectMatch>& matches) {
        std::string out;
        for (const ExpectMatch& m : matches) {
            static const char digits[] = "0123456789ABCDEF";
            out += std::string(out.empty() ? "" : "; ") + digits[m.rendering.format->code >> 4] +
                   digits[m.rendering.format->code & 15] + (m.how.empty() ? "" : " " + m.how);
        }
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const ExpectResult r = findExpected(card, c.expected, c.withSettings ? &s : nullptr);
        EXPECT_EQ(list(r.exact), c.exact);
        EXPECT_EQ(list(r.near), c.near);
    }
}

TEST(CardFormats, NamesMeantByATypingSlip) {
    const std::vector<std::string> names{"--check", "--json", "--no-verify", "Belgium", "be"};
    const struct {
        const char* text;
        const char* meant;
    } cases[] = {{"--chek", "--check"},
                 {"--JSON", "--json"},
                 {"--noverify", "--no-verify"},
                 {"Belgian", "Belgium"},
                 {"bx", "be"},
                 {"--card", ""},
                 {"", ""},
                 {"x", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(closestName(c.text, names), c.meant) << c.text;
    EXPECT_EQ(closestName(std::string(100000, 'a'), names), "") << "long text: no answer, no long wait";
}

TEST(CardFormats, CardIdsThatAreRefused) {
    std::string error;
    EXPECT_FALSE(parseCardId("5D00452C1", &error));
    EXPECT_EQ(error, "card ID \"5D00452C1\" has 9 hex digits; a card ID is 10 hex digits (the 5 bytes of a "
                     "125 kHz card) or 14 (a 7-byte card)");
    EXPECT_FALSE(parseCardId("5D00452C1G", &error));
    EXPECT_EQ(error, "card ID \"5D00452C1G\" holds \"G\" at place 10, which is not a hex digit (0-9, A-F)");
    std::string withNul = "5D00452C14";
    withNul[4] = '\0';
    const std::vector<std::string> bad{
        "",      "0x5D00452C",  "5D 0 045 2C 14",        "5D00452C14 ", "5D00452C1400", "5D00452C14000000",
        withNul, "５D00452C14", std::string(100000, 'A')};
    for (const std::string& text : bad) {
        EXPECT_FALSE(parseCardId(text, &error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_LT(error.size(), 200u) << "long input is cut, not echoed";
    }
}

// For random cards every format's rendering leads back to that format, except
// where the model makes formats type a card alike: with byte 3 zero the last
// three bytes are the whole four-byte number ("8 no. in D" and "8 no. in D
// (last 3bytes)"; "10 no.in D" and "00+8 no. in D"); with byte 4 zero the 3 + 5
// digits are the last three bytes' 8 ("8 no. in D (last 3bytes)" and "8 no. in
// D (The card last 3bytes)").
TEST(CardFormats, EveryRenderingLeadsBackToItsFormat) {
    std::mt19937 random(20240611);
    for (int i = 0; i < 400; ++i) {
        CardNumber card{};
        const bool sevenBytes = i % 2 == 1;
        for (std::size_t b = sevenBytes ? 0 : 2; b < card.size(); ++b)
            card[b] = std::uint8_t(random() & 0xFF);
        if (i % 8 == 0)
            card[3] = 0;
        if (i % 12 == 0)
            card[4] = 0;
        SCOPED_TRACE(cardIdText(card));
        const std::vector<std::pair<bool, std::set<std::uint8_t>>> alike{
            {card[3] == 0, {0x09, 0x0B}}, {card[3] == 0, {0x0D, 0x0F}}, {card[4] == 0, {0x0B, 0x0E}}};
        for (const Rendering& r : renderAll(card)) {
            std::set<std::uint8_t> expected{r.format->code};
            for (int pass = 0; pass < 2; ++pass) {
                for (const auto& [applies, group] : alike) {
                    bool meets = false;
                    for (std::uint8_t c : group)
                        meets = meets || expected.count(c) > 0;
                    if (applies && meets)
                        expected.insert(group.begin(), group.end());
                }
            }
            EXPECT_EQ(codes(formatsTyping(card, r.number)), expected) << r.number;
        }
    }
}

TEST(CardFormats, CharactersTheSettingsType) {
    rfid::OutputSettings s;
    s.format = 0x0F;
    EXPECT_EQ(toUtf8(charactersTyped(s)), "0123456789");
    s.format = 0x07;
    s.prefix = {'@', 0, 0, 0};
    s.semicolon = s.question = s.comma = s.enter = true;
    s.custom = 0x09;
    EXPECT_EQ(toUtf8(charactersTyped(s)), "@;0123456789ABCDEF,?\t\r");
}

// A reader's firmware presses only keys of the alphanumeric block: the keypad's
// parentheses and comma and KEY_DOLLAR give the same character on every layout
// and would make any layout look right.
TEST_F(Keymaps, OnlyKeysAFirmwarePresses) {
    // Card 5D00452C14 in "8 no. in HEX" with ;, ?, Enter and prefix bytes 24 28 29 2E,
    // from an American style reader on a German computer.
    rfid::OutputSettings s;
    s.format = 0x0C;
    s.semicolon = s.question = s.enter = true;
    s.prefix = {0x24, 0x28, 0x29, 0x2E};
    const std::string typed = typedText(s, *parseCardId("5D00452C14"));
    EXPECT_EQ(typed, "$().;00452C14?\r");
    EXPECT_EQ(shows("us", "de", typed), "$)=.ö00452C14_⏎");

    const struct {
        const char* layout;
        const char* ch;
        const char* press; // "" for no key at all
    } cases[] = {
        {"us", "(", "Shift+9"},
        {"us", ")", "Shift+0"},
        {"us", "$", "Shift+4"},
        {"fr", ".", "Shift+;"},
        {"be", ".", "Shift+;"},
        {"us", "<", "Shift+,"}, // not the ISO key on ANSI
        {"es", "<", "<"},
        {"se", ">", "Shift+<"},
        {"ch", "<", "<"}, // the ISO key where it is printed
        {"it", "@", "AltGr+ò"},
        {"it", "#", "AltGr+à"},
        {"de", "@", "AltGr+Q"}, // signs printed beside a
                                // letter
        {"de", "\r", "Enter"},
        {"ru", "@", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + c.ch);
        const auto k = layout(c.layout);
        const auto press = k->keyFor(fromUtf8(c.ch).front());
        EXPECT_EQ(press ? k->describe(*press) : "", c.press);
    }
}

TEST_F(Keymaps, ParenthesesAroundTheNumberSuitFewLanguages) {
    std::set<std::string> right;
    for (const LanguageFit& f : fitLanguages(U"(0123456789)\r", *layout("us"))) {
        if (f.right())
            right.insert(f.language->caption);
    }
    // Where ( and ) are Shift+9 and Shift+0 as on American keys (the Polish and Romanian
    // layouts are programmers' layouts on American keys); most layouts have them on 8 and 9.
    EXPECT_EQ(right,
              (std::set<std::string>{"American style", "Brazil", "Canada", "England", "Romania", "poland"}));
}

TEST_F(Keymaps, TheRightCardThroughTheWrongLayout) {
    rfid::OutputSettings s;
    s.format = 0x0F;
    s.semicolon = s.enter = true;
    const CardNumber card = *parseCardId("5D00452C14");
    const auto us = layout("us");
    const auto be = layout("be");
    const std::u32string garbled = translate(fromUtf8(typedText(s, card)), *us, *be).shown();
    EXPECT_EQ(visibleText(garbled), "mààà'(\"\"é§!⏎");
    EXPECT_EQ(numberTypedForOtherLayout(garbled, s, *us, *be), "0004533268");
    // Not a garbled card: what arrived right, another text, or a layout pair that says nothing.
    EXPECT_EQ(numberTypedForOtherLayout(fromUtf8(typedText(s, card)), s, *us, *be), "");
    EXPECT_EQ(numberTypedForOtherLayout(U"mààà'(\"\"é§⏎", s, *us, *be), "") << "a digit short";
    EXPECT_EQ(numberTypedForOtherLayout(fromUtf8(typedText(s, card)), s, *us, *us), "");
}

TEST_F(Keymaps, LayoutNamesAsPeopleWriteThem) {
    EXPECT_EQ(parseLayoutName("BE")->name(), "be");
    EXPECT_EQ(parseLayoutName("De(nodeadkeys)")->name(), "de(nodeadkeys)");
    const struct {
        const char* text;
        const char* meant;
    } cases[] = {{"Belgium", "be"}, {"belgian", "be"}, {"Switzerland-French", "ch(fr)"},
                 {"bw", "be"},      {"Klingon", ""},   {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(layoutMeant(c.text), c.meant) << c.text;
}
