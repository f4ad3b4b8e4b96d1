// rfidctl formats, preview and suggest-language as a user runs them: a separate
// process, --sim, the simulated reader's settings kept in a file between runs
// and every frame it took logged. Expected lines are literal.
#include "rfidctl_harness.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
    bool outHas(const std::string& text) const { return out.find(text) != std::string::npos; }
    // Lines `from` to `to` of the output, each with its line feed.
    std::string lines(int from, int to) const {
        return QString::fromStdString(out).section('\n', from, to).toStdString() + "\n";
    }
};

class RfidctlWedge : public RfidctlHarness {
protected:
    Result run(const QStringList& args) {
        const RfidctlRun r = RfidctlHarness::run(args);
        return {r.code, r.out.toStdString(), r.err.toStdString()};
    }
    QStringList frames() const { return framesTaken(); }
};

} // namespace

TEST_F(RfidctlWedge, FormatsOfACardWithTheReadersSettings) {
    ASSERT_EQ(run({"--sim", "set", "add_enter=true", "prefix_1=3B"}).code, 0);
    Result r = run({"--sim", "formats", "--card", "5D00452C14"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Typed with the reader's settings: Enter; prefix 3B 00 00 00.\n"
                     "code  format                             number              typed\n"
                     "00    2H4D + 2H4D                        0000692C0020        ;0000692C0020⏎\n"
                     "01    14 no. in HEX (7 byte)             00005D00452C14      ;00005D00452C14⏎\n"
                     "02    14 no. in HEX reverse (7 byte)     142C45005D0000      ;142C45005D0000⏎\n"
                     "03    8 no. in HEX reverse               142C4500            ;142C4500⏎\n"
                     "05    13 no. in D                        0399436491796       ;0399436491796⏎\n"
                     "06    18 no. in D                        000000399436491796  ;000000399436491796⏎\n"
                     "07    10 no. in HEX                      5D00452C14          ;5D00452C14⏎\n"
                     "08    5 no. in D                         11284               ;11284⏎\n"
                     "09    8 no. in D                         04533268            ;04533268⏎\n"
                     "0A    10 no. in D reverse                0338445568          ;0338445568⏎\n"
                     "0B    8 no. in D (last 3bytes)           04533268            ;04533268⏎\n"
                     "0C    8 no. in HEX                       00452C14            ;00452C14⏎\n"
                     "0D    00+8 no. in D (last 3 bytes)       0004533268          ;0004533268⏎\n"
                     "0E    8 no. in D (The card last 3bytes)  06911284            ;06911284⏎\n"
                     "0F    10 no.in D                         0004533268          ;0004533268⏎\n");
    // Only the read-back went to the reader.
    EXPECT_EQ(frames().last(), "> AA 00 01 83 82 BB");

    // The expected number: the formats that type it, and when the card cannot tell them apart.
    r = run({"--sim", "formats", "--card", "5d00452c14", "--expect", "0004533268"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Typed with the reader's settings: Enter; prefix 3B 00 00 00.\n"
                     "code  format                             number      typed\n"
                     "0D    00+8 no. in D (last 3 bytes)       0004533268  ;0004533268⏎\n"
                     "0F    10 no.in D                         0004533268  ;0004533268⏎\n"
                     "Card 5D00452C14 cannot tell these 2 formats apart: they type it alike. A card whose "
                     "other bytes differ can.\n");
    r = run({"--sim", "formats", "--card", "5D00452C14", "--expect", "069 11284", "--json"});
    EXPECT_EQ(r.code, 0);
    const QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(list.size(), 1) << r.out;
    EXPECT_EQ(list[0].toObject()["code"].toString(), "0E");
    EXPECT_EQ(list[0].toObject()["format"].toString(), "8 no. in D (The card last 3bytes)");
    EXPECT_EQ(list[0].toObject()["typed"].toString(), ";06911284\r");
    r = run({"--sim", "formats", "--card", "5D00452C14", "--expect", "4533268"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "rfidctl: no output format types card 5D00452C14 as \"4533268\"; nearest: 09, 0B type "
                     "04533268: your number with leading zeros; 0D, 0F type 0004533268: your number with "
                     "leading zeros\n");
}

TEST_F(RfidctlWedge, FormatsWithASettingsFileOrTheNumbersAlone) {
    const QString settings = file(
        "s.json", R"({"version": 1, "add_semicolon": true, "add_question_mark": true, "suffix_1": "09"})");
    Result r =
        run({"formats", "--card", "04A1B2C3D4E5F6", "--settings", settings, "--expect", "04a1b2c3d4e5f6"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Typed with the settings in " + settings.toStdString() +
                         ": ;, ?; suffix 09 00 00 00.\n"
                         "code  format                             number          typed\n"
                         "01    14 no. in HEX (7 byte)             04A1B2C3D4E5F6  ;04A1B2C3D4E5F6?⇥\n");
    // No reader and no file: the numbers alone, and a note why.
    r = run({"formats", "--card", "5D00452C14", "--expect", "11284"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "code  format                             number\n"
                     "08    5 no. in D                         11284\n");
    EXPECT_EQ(r.err.rfind("rfidctl: the reader's settings could not be read: ", 0), 0u) << r.err;
    const std::string tail =
        " The numbers alone follow; --settings FILE adds separators, prefix and suffix.\n";
    EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), tail.size())), tail);
}

// With --format and --language the reader is not needed: none attached is no news.
TEST_F(RfidctlWedge, PreviewAtADeskWithoutAReader) {
    const Result r = run({"preview", "--card", "5D:00:45:2C:14", "--format", "0F", "--language", "belgium",
                          "--host-layout", "BE"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.lines(0, 0), "The reader types (10 no.in D, Belgium): 0004533268\n");
}

TEST_F(RfidctlWedge, PreviewOnOtherComputers) {
    ASSERT_EQ(run({"--sim", "set", "add_enter=true", "prefix_1=3B"}).code, 0);
    // The Belgian computer: AZERTY digits.
    Result r = run({"--sim", "preview", "--card", "0000D1CAAF", "--host-layout", "be"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out, "The reader types (10 no.in D, American style): ;0013748911⏎\n"
                     "On be the card appears as: màà&\"è'!ç&&⏎\n"
                     "Wrong:\n"
                     "  ; appears as m\n"
                     "  0 appears as à\n"
                     "  1 appears as &\n"
                     "  3 appears as \"\n"
                     "  7 appears as è\n"
                     "  4 appears as '\n"
                     "  8 appears as !\n"
                     "  9 appears as ç\n"
                     "Set the reader's language to Belgium for the card to appear right on be (also right: "
                     "French).\n");
    // The French computer, with the format and language given.
    r = run({"--sim", "preview", "--card", "0000D1CAAF", "--host-layout", "fr", "--format", "10 no.in D",
             "--language", "French"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "The reader types (10 no.in D, French): ;0013748911⏎\n"
                     "On fr the card appears as: ;0013748911⏎\n"
                     "Right: the card appears as the reader types it.\n");
    // A British computer: digits agree; an American reader's @ comes out as ".
    r = run({"--sim", "preview", "--card", "0000D1CAAF", "--host-layout", "gb"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines(1, 1), "On gb the card appears as: ;0013748911⏎\n");
    ASSERT_EQ(run({"--sim", "set", "prefix_1=40"}).code, 0);
    r = run({"--sim", "preview", "--card", "0000D1CAAF", "--host-layout", "gb"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "The reader types (10 no.in D, American style): @0013748911⏎\n"
                     "On gb the card appears as: \"0013748911⏎\n"
                     "Wrong:\n"
                     "  @ appears as \"\n"
                     "Set the reader's language to England for the card to appear right on gb (also right: "
                     "German, turkey-F, turkey-Q).\n");
    // A German computer: Y and Z change places; the hex digits come through.
    r = run({"--sim", "preview", "--card", "0ABCDEF007", "--host-layout", "de", "--format", "10 no. in HEX"});
    EXPECT_EQ(r.lines(0, 1), "The reader types (10 no. in HEX, American style): @0ABCDEF007⏎\n"
                             "On de the card appears as: \"0ABCDEF007⏎\n");
    // A reader language without one layout.
    r = run({"--sim", "preview", "--card", "0000D1CAAF", "--host-layout", "us", "--language", "Non Latin"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.lines(1, 1),
              "What a computer shows cannot be told: Non Latin types for no one keyboard layout.\n");
}

TEST_F(RfidctlWedge, SuggestLanguage) {
    ASSERT_EQ(run({"--sim", "set", "add_enter=true"}).code, 0);
    Result r = run({"--sim", "suggest-language", "--host-layout", "be"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "The settings type: 0123456789⏎\n"
                     "Reader languages under which they come out right on be:\n"
                     "  Belgium (the layout's own language)\n"
                     "  Czech Republic\n"
                     "  Slovakia\n"
                     "  French\n");
    r = run({"--sim", "suggest-language", "--host-layout", "gb"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(
        r.outHas("  England (the layout's own language)\n  American style (the reader's language now)\n"))
        << r.out;
    // A prefix "@" on a Russian computer: no language brings it out.
    const QString settings = file("at.json", R"({"version": 1, "prefix_1": "40", "add_enter": true})");
    r = run({"suggest-language", "--host-layout", "ru", "--settings", settings});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "The settings type: @0123456789⏎\n"
                     "No reader language brings them out right on ru.\n"
                     "No reader language makes these appear on ru: @\n"
                     "Closest: American style, which gets these wrong:\n"
                     "  @ appears as \"\n");
}

TEST_F(RfidctlWedge, BadInputSendsNothing) {
    const QString bad = file("bad.json", "{\"version\": 1, \"format\": \"11 no.\"}");
    const struct {
        QStringList args;
        QString err;
    } cases[] = {
        {{"formats"}, "rfidctl: formats needs --card ID (see rfidctl formats --help)\n"},
        {{"formats", "--card", "5D00452C1"},
         "rfidctl: card ID \"5D00452C1\" has 9 hex digits; a card ID is 10 hex digits (the 5 bytes of a 125 "
         "kHz "
         "card) or 14 (a 7-byte card); nothing was sent\n"},
        {{"formats", "--card", "5D00452CXX"},
         "rfidctl: card ID \"5D00452CXX\" holds \"X\" at place 9, which is not a hex digit (0-9, A-F); "
         "nothing "
         "was sent\n"},
        {{"formats", "--card", "5D00452C14", "--expect", " "},
         "rfidctl: --expect needs the number the reader should type, not an empty text; nothing was sent\n"},
        {{"formats", "--card", "5D00452C14", "--expect"},
         "rfidctl: --expect needs a value (see rfidctl formats --help)\n"},
        {{"formats", "--card", "5D00452C14", "--settings", bad},
         "rfidctl: " + bad +
             ": \"format\": \"11 no.\" is not an output format (rfidctl set --help lists the 15 "
             "format names); nothing was sent\n"},
        {{"preview", "--card", "5D00452C14", "--host-layout", "xx"},
         "rfidctl: --host-layout: the XKB keyboard data has no layout \"xx\"; nothing was sent\n"},
        {{"preview", "--card", "5D00452C14", "--host-layout", "de(nodeadkeys"},
         "rfidctl: --host-layout: \"de(nodeadkeys\" is not a keyboard layout name (such as de or "
         "de(nodeadkeys)); nothing was sent\n"},
        {{"preview", "--card", "5D00452C14", "--host-layout", "us", "--language", "Klingon"},
         "rfidctl: --language: \"Klingon\" is not a keyboard language (rfidctl set --help lists the 30 "
         "language names); "
         "nothing was sent\n"},
        {{"preview", "--card", "5D00452C14", "--host-layout", "us", "--format", ""},
         "rfidctl: --format: \"\" is not an output format (rfidctl set --help lists the 15 format names); "
         "nothing "
         "was "
         "sent\n"},
        // Names as printed elsewhere, with the one most likely meant.
        {{"preview", "--card", "5D00452C14", "--host-layout", "us", "--language", "Belgian"},
         "rfidctl: --language: \"Belgian\" is not a keyboard language (did you mean \"Belgium\"?); nothing "
         "was sent\n"},
        {{"preview", "--card", "5D00452C14", "--host-layout", "Belgium"},
         "rfidctl: --host-layout: the XKB keyboard data has no layout \"Belgium\" (did you mean be?); "
         "nothing "
         "was sent\n"},
        {{"apply"}, "rfidctl: too few arguments: rfidctl apply needs FILE (see rfidctl apply --help)\n"},
        {{"station"},
         "rfidctl: too few arguments: rfidctl station needs FILE (see rfidctl station --help)\n"},
        {{"apply", "--chek", bad},
         "rfidctl: unknown option --chek; did you mean --check? (see rfidctl apply --help)\n"},
        {{"station", bad, "--anyway"},
         "rfidctl: --anyway goes past the check of --host-layout LAYOUT, which was not given (see rfidctl "
         "station --help)\n"},
        {{"suggest-language", "--host-layout", "../../etc/passwd"},
         "rfidctl: --host-layout: \"../../etc/passwd\" is not a keyboard layout name (such as de or "
         "de(nodeadkeys)); nothing was sent\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        clearFrames();
        const Result r = run(QStringList{"--sim"} + c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, c.err.toStdString());
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(frames().isEmpty()) << frames().join('\n').toStdString();
    }
    // Without a display, this computer's layout comes from /etc/default/keyboard.
    // (Windows always names the layout in use.)
#ifndef _WIN32
    if (!QFile::exists("/etc/default/keyboard")) {
        const Result r = run({"--sim", "preview", "--card", "5D00452C14"});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "rfidctl: this computer's keyboard layout could not be found out (setxkbmap -query, "
                         "/etc/default/keyboard); give --host-layout LAYOUT\n");
    }
#endif
}

TEST_F(RfidctlWedge, TheStationChecksForTheSitesLayoutBeforeAnyReader) {
    const QString us =
        file("us.json", R"({"version": 1, "language": "American style", "format": "10 no.in D"})");
    // Digits typed for an American keyboard come out as AZERTY's shifted row.
    Result r = run({"--sim", "station", us, "--host-layout", "be", "--count", "1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "rfidctl: " + dir.filePath("us.json").toStdString() +
                  " does not come out right on a computer with the layout be: with the reader language "
                  "American style the readers would type à&é\"'(§è!ç where 0123456789 is meant (wrong: "
                  "0123456789); right there: Belgium, Czech Republic, Slovakia, French; no reader was "
                  "touched (--anyway sets readers up all the same)\n");
    EXPECT_TRUE(frames().isEmpty());
    // A file without a language cannot be judged.
    r = run({"--sim", "station", file("nolang.json", R"({"version": 1, "add_enter": true})"), "--host-layout",
             "be"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("sets no keyboard language"), std::string::npos) << r.err;
    // Right on a UK computer; and --anyway goes on where it is wrong.
    EXPECT_EQ(run({"--sim", "station", us, "--host-layout", "gb", "--count", "1"}).code, 0);
    r = run({"--sim", "station", us, "--host-layout", "be", "--anyway", "--count", "1"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(frames().isEmpty());
    // Each row set up past the check says so, in the differences column; a layout
    // that names none is refused all the same.
    const QString csv = dir.filePath("r.csv");
    r = run({"--sim", "station", us, "--host-layout", "BE", "--anyway", "--count", "1", "--log", csv});
    EXPECT_EQ(r.code, 0) << r.err;
    QFile log(csv);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().trimmed().endsWith(",ok,\"layout check for be failed, set up with --anyway\""));
    clearFrames();
    r = run({"--sim", "station", us, "--host-layout", "Belgium", "--anyway", "--count", "1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("(did you mean be?); no reader was touched"), std::string::npos) << r.err;
    EXPECT_TRUE(frames().isEmpty());
}
