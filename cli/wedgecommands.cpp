// formats, preview, suggest-language: what the reader types for a card, and
// what a computer with a given keyboard layout shows of it.
#include "cardtest.h"
#include "commands.h"
#include "formatfinder.h"
#include "hostkeyboard.h"
#include "keymap.h"
#include "readersettings.h"
#include "readertables.h"
#include "settingsfile.h"
#include "sitecheck.h"
#include "writeflow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace rfid::cli {

namespace {

const QString kProgram = QStringLiteral("rfidctl");

QString fromStd(const std::string& s) {
    return QString::fromStdString(s);
}

QString visible(const std::u32string& text) {
    return fromStd(wedge::visibleText(text));
}

QString visible(const std::string& ascii) {
    return visible(wedge::fromUtf8(ascii));
}

QString hex(std::uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

// A format's or language's name as files and the command line write it.
QString nameOf(const char* readName) {
    return QString::fromUtf8(readName).simplified();
}

// The separators and extra bytes, as the card test lists them.
QString extrasText(const OutputSettings& s) {
    QStringList extras;
    if (s.semicolon)
        extras << QStringLiteral(";");
    if (s.question)
        extras << QStringLiteral("?");
    if (s.comma)
        extras << QStringLiteral("comma in the middle");
    if (s.enter)
        extras << QStringLiteral("Enter");
    QStringList parts{extras.isEmpty() ? QStringLiteral("no separators, no Enter") : extras.join(", ")};
    auto bytes = [](const std::array<std::uint8_t, 4>& b) {
        QStringList out;
        for (std::uint8_t x : b)
            out << hex(x);
        return out.join(QLatin1Char(' '));
    };
    const std::array<std::uint8_t, 4> none{};
    if (s.prefix != none)
        parts << QStringLiteral("prefix ") + bytes(s.prefix);
    if (s.suffix != none)
        parts << QStringLiteral("suffix ") + bytes(s.suffix);
    if (s.custom)
        parts << QStringLiteral("custom byte ") + hex(s.custom);
    return parts.join(QStringLiteral("; "));
}

// --card ID, required.
std::optional<wedge::CardNumber> cardOption(Context& c, const Arguments& a) {
    if (!a.values.contains(QStringLiteral("--card"))) {
        c.fail(kBadUsage, QStringLiteral("%1 needs --card ID (see rfidctl %1 --help)").arg(c.command));
        return std::nullopt;
    }
    std::string error;
    const auto card = wedge::parseCardId(a.value(QStringLiteral("--card")).toStdString(), &error);
    if (!card)
        c.fail(kBadUsage, fromStd(error) + QStringLiteral("; nothing was sent"));
    return card;
}

// --host-layout LAYOUT, else this computer's layout.
std::shared_ptr<const wedge::Keymap> hostOption(Context& c, const Arguments& a) {
    std::optional<wedge::KeyboardLayout> layout;
    if (a.values.contains(QStringLiteral("--host-layout"))) {
        const QString text = a.value(QStringLiteral("--host-layout"));
        if (const QString unusable = siteLayoutUnusable(text); !unusable.isEmpty()) {
            c.fail(kBadUsage,
                   QStringLiteral("--host-layout: ") + unusable + QStringLiteral("; nothing was sent"));
            return nullptr;
        }
        layout = wedge::parseLayoutName(text.toStdString());
    } else {
        layout = desktopKeyboardLayout();
        if (!layout) {
#ifdef _WIN32
            const QString asked = QStringLiteral("the layout Windows uses has no XKB equal");
#else
            const QString asked = QStringLiteral("setxkbmap -query, /etc/default/keyboard");
#endif
            c.fail(kBadUsage,
                   QStringLiteral("this computer's keyboard layout could not be found out (%1); give "
                                  "--host-layout LAYOUT")
                       .arg(asked));
            return nullptr;
        }
    }
    std::string error;
    auto keymap = wedge::Keymap::load(*layout, &error);
    if (!keymap)
        c.fail(kBadUsage,
               QStringLiteral("--host-layout: ") + fromStd(error) + QStringLiteral("; nothing was sent"));
    return keymap;
}

// --settings FILE; false (after an error) for a bad file.
bool settingsFileOption(Context& c, const Arguments& a, std::optional<ReaderSettings>& settings) {
    if (!a.values.contains(QStringLiteral("--settings")))
        return true;
    ReaderSettings s;
    QString error;
    if (!loadSettingsFile(a.value(QStringLiteral("--settings")), s, error)) {
        c.fail(kBadUsage, error + QStringLiteral("; nothing was sent"));
        return false;
    }
    settings = s;
    return true;
}

// A named setting from the command line (--format, --language); false after an error.
bool namedOption(Context& c, const Arguments& a, const QString& option, SettingKey key,
                 std::optional<std::uint8_t>& code) {
    if (!a.values.contains(option))
        return true;
    ReaderSettings s;
    const QString error = setFromText(s, key, a.value(option));
    if (!error.isEmpty()) {
        c.fail(kBadUsage, option + QStringLiteral(": ") + error + QStringLiteral("; nothing was sent"));
        return false;
    }
    code = key == SettingKey::Format ? s.format : s.language;
    return true;
}

// The reader's settings read back; nullopt with `why` when it could not be read.
std::optional<ReaderSettings> readerSettings(Context& c, QString& why, int& code) {
    const ReadBack r = readBack(c.link());
    if (!r.settings) {
        why = r.problem;
        code = exitCodeFor(r.failure());
    }
    return r.settings;
}

QString languageText(std::uint8_t code) {
    const KeyboardLanguage* l = languageByCode(code);
    return l ? nameOf(l->readName) : QStringLiteral("code ") + hex(code);
}

QString formatText(std::uint8_t code) {
    const OutputFormat* f = outputFormatByCode(code);
    return f ? nameOf(f->readName) : QStringLiteral("code ") + hex(code);
}

// --- formats -------------------------------------------------------------------

int cmdFormats(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--json")},
                 {QStringLiteral("--card"), QStringLiteral("--settings"), QStringLiteral("--expect")}, 0, 0))
        return kBadUsage;
    const auto card = cardOption(c, a);
    if (!card)
        return kBadUsage;
    const bool expecting = a.values.contains(QStringLiteral("--expect"));
    const QString expected = a.value(QStringLiteral("--expect"));
    if (expecting && wedge::normalizedNumber(expected.toStdString()).empty())
        return c.fail(kBadUsage, QStringLiteral("--expect needs the number the reader should type, not an "
                                                "empty text; nothing was sent"));
    std::optional<ReaderSettings> settings;
    if (!settingsFileOption(c, a, settings))
        return kBadUsage;
    QString from = QStringLiteral("the settings in ") + a.value(QStringLiteral("--settings"));
    if (!settings) {
        QString why;
        int code = kDone;
        settings = readerSettings(c, why, code);
        from = QStringLiteral("the reader's settings");
        if (!settings)
            c.err << kProgram << ": the reader's settings could not be read: " << why
                  << ". The numbers alone follow; --settings FILE adds separators, prefix and suffix.\n";
    }
    const std::optional<OutputSettings> output =
        settings ? std::optional(outputSettingsWithDefaults(*settings)) : std::nullopt;

    std::vector<wedge::Rendering> rows;
    QStringList readAs; // how --expect's text was read, where not as the bare number
    if (expecting) {
        const wedge::ExpectResult found =
            wedge::findExpected(*card, expected.toStdString(), output ? &*output : nullptr);
        for (const wedge::ExpectMatch& m : found.exact) {
            rows.push_back(m.rendering);
            if (!m.how.empty() && !readAs.contains(fromStd(m.how)))
                readAs << fromStd(m.how);
        }
        if (rows.empty()) {
            // Formats that type the same near miss named together: "0D, 0F type 0004533268: ...".
            QStringList nearest;
            QStringList codes;
            for (std::size_t i = 0; i < found.near.size(); ++i) {
                const wedge::ExpectMatch& m = found.near[i];
                codes << hex(m.rendering.format->code);
                const bool last = i + 1 == found.near.size() ||
                                  found.near[i + 1].rendering.number != m.rendering.number ||
                                  found.near[i + 1].how != m.how;
                if (!last)
                    continue;
                nearest << QStringLiteral("%1 %2 %3: %4")
                               .arg(codes.join(QStringLiteral(", ")),
                                    codes.size() > 1 ? QStringLiteral("type") : QStringLiteral("types"),
                                    fromStd(m.rendering.number), fromStd(m.how));
                codes.clear();
            }
            return c.fail(
                kDifferent,
                QStringLiteral("no output format types card %1 as %2")
                        .arg(fromStd(wedge::cardIdText(*card)), quotedForError(expected)) +
                    (nearest.isEmpty() ? QString() : QStringLiteral("; nearest: ") + nearest.join("; ")));
        }
    } else {
        rows = wedge::renderAll(*card);
    }
    const QString id = fromStd(wedge::cardIdText(*card));
    auto typed = [&](const wedge::Rendering& r) {
        OutputSettings s = *output;
        s.format = r.format->code;
        return wedge::typedText(s, *card);
    };

    if (a.has(QStringLiteral("--json"))) {
        QJsonArray list;
        for (const wedge::Rendering& r : rows) {
            QJsonObject o{{"code", hex(r.format->code)},
                          {"format", nameOf(r.format->readName)},
                          {"number", fromStd(r.number)}};
            if (output)
                o.insert("typed", fromStd(typed(r)));
            list.append(o);
        }
        c.out << QJsonDocument(list).toJson(QJsonDocument::Indented);
        return kDone;
    }

    if (output)
        c.out << "Typed with " << from << ": " << extrasText(*output) << ".\n";
    constexpr int kNameWidth = 34;
    int numberWidth = 6;
    for (const wedge::Rendering& r : rows)
        numberWidth = std::max(numberWidth, int(r.number.size()));
    QString head = QStringLiteral("code  ") + QStringLiteral("format").leftJustified(kNameWidth) +
                   QLatin1Char(' ') + QStringLiteral("number");
    if (output)
        head = head.leftJustified(6 + kNameWidth + 1 + numberWidth) + QStringLiteral("  typed");
    c.out << head << '\n';
    for (const wedge::Rendering& r : rows) {
        QString line = hex(r.format->code) + QStringLiteral("    ") +
                       nameOf(r.format->readName).leftJustified(kNameWidth) + QLatin1Char(' ') +
                       fromStd(r.number).leftJustified(numberWidth);
        if (output)
            line += QStringLiteral("  ") + visible(typed(r));
        c.out << line.trimmed() << '\n';
    }
    if (!readAs.isEmpty())
        c.out << "Your text read as " << readAs.join(QStringLiteral(", ")) << ".\n";
    if (expecting && rows.size() > 1)
        c.out << "Card " << id << " cannot tell these " << rows.size()
              << " formats apart: they type it alike. A card whose other bytes differ can.\n";
    return kDone;
}

// --- preview and suggest-language ----------------------------------------------

// One line per character that does not come out right.
QStringList wrongLines(const wedge::Translation& t, const wedge::Keymap& reader, const wedge::Keymap& host) {
    QStringList lines;
    std::u32string seen;
    const QString hostName = fromStd(host.layout().name());
    for (const wedge::TypedChar& ch : t.chars) {
        if (ch.outcome == wedge::CharOutcome::Right || seen.find(ch.meant) != std::u32string::npos)
            continue;
        seen += ch.meant;
        const QString meant = visible(std::u32string(1, ch.meant));
        switch (ch.outcome) {
        case wedge::CharOutcome::Other:
            lines << QStringLiteral("  %1 appears as %2").arg(meant, visible(std::u32string(1, ch.shown)));
            break;
        case wedge::CharOutcome::Dead:
            lines << QStringLiteral("  %1 appears as %2, a dead key on %3 that changes the next character")
                         .arg(meant, visible(std::u32string(1, ch.shown)), hostName);
            break;
        case wedge::CharOutcome::Nothing:
            lines << QStringLiteral("  %1 does not appear: %2 types no character on %3")
                         .arg(meant, fromStd(reader.describe(*ch.press)), hostName);
            break;
        case wedge::CharOutcome::NotTypeable:
            lines << QStringLiteral("  %1 is not sent: no key of %2 types it")
                         .arg(meant, fromStd(reader.layout().name()));
            break;
        case wedge::CharOutcome::Right:
            break;
        }
    }
    return lines;
}

// The languages under which `chars` come out right on `host`, the layout's own first.
QStringList rightLanguages(const std::vector<wedge::LanguageFit>& fits) {
    QStringList out;
    for (const wedge::LanguageFit& f : fits) {
        if (f.right())
            out << nameOf(f.language->readName);
    }
    return out;
}

int cmdPreview(Context& c) {
    Arguments a;
    if (!c.parse(a, {},
                 {QStringLiteral("--card"), QStringLiteral("--format"), QStringLiteral("--language"),
                  QStringLiteral("--host-layout"), QStringLiteral("--settings")},
                 0, 0))
        return kBadUsage;
    const auto card = cardOption(c, a);
    if (!card)
        return kBadUsage;
    std::optional<std::uint8_t> format;
    std::optional<std::uint8_t> language;
    if (!namedOption(c, a, QStringLiteral("--format"), SettingKey::Format, format) ||
        !namedOption(c, a, QStringLiteral("--language"), SettingKey::Language, language))
        return kBadUsage;
    const auto host = hostOption(c, a);
    if (!host)
        return kBadUsage;
    std::optional<ReaderSettings> settings;
    if (!settingsFileOption(c, a, settings))
        return kBadUsage;
    if (!settings) {
        QString why;
        int code = kDone;
        settings = readerSettings(c, why, code);
        if (!settings) {
            if (!format || !language)
                return c.fail(code,
                              QStringLiteral("could not read the reader's settings: %1 (give --settings "
                                             "FILE, or --format and --language)")
                                  .arg(why));
            // Planning at a desk with --format and --language needs no reader:
            // only a reader that is there and cannot be read is worth a word.
            if (code != kNoReader)
                c.err << kProgram << ": the reader's settings could not be read: " << why
                      << ". The number alone follows.\n";
            settings = ReaderSettings{};
        }
    }
    OutputSettings output = outputSettingsWithDefaults(*settings);
    if (format)
        output.format = *format;
    if (!language)
        language = settings->language.value_or(0x00);
    const std::string typed = wedge::typedText(output, *card);
    if (typed.empty())
        return c.fail(kBadUsage,
                      QStringLiteral("output format %1 is not one the reader has").arg(hex(output.format)));

    const QString hostName = fromStd(host->layout().name());
    const auto readerLayout = wedge::readerLayout(*language);
    c.out << "The reader types (" << formatText(output.format) << ", " << languageText(*language)
          << "): " << visible(typed) << '\n';
    if (!readerLayout) {
        c.out << "What a computer shows cannot be told: " << languageText(*language)
              << " types for no one keyboard layout.\n";
        return kDifferent;
    }
    std::string error;
    const auto reader = wedge::Keymap::load(*readerLayout, &error);
    if (!reader)
        return c.fail(kNoReader, fromStd(error));
    const wedge::Translation t = wedge::translate(wedge::fromUtf8(typed), *reader, *host);
    c.out << "On " << hostName << " the card appears as: " << visible(t.shown()) << '\n';
    if (t.right()) {
        c.out << "Right: the card appears as the reader types it.\n";
        return kDone;
    }
    c.out << "Wrong:\n" << wrongLines(t, *reader, *host).join('\n') << '\n';
    const QStringList right = rightLanguages(wedge::fitLanguages(wedge::charactersTyped(output), *host));
    if (right.isEmpty())
        c.out << "No reader language brings these settings out right on " << hostName << ".\n";
    else
        c.out << "Set the reader's language to " << right.front() << " for the card to appear right on "
              << hostName
              << (right.size() > 1
                      ? QStringLiteral(" (also right: ") + right.mid(1).join(", ") + QLatin1Char(')')
                      : QString())
              << ".\n";
    return kDifferent;
}

int cmdSuggestLanguage(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {QStringLiteral("--host-layout"), QStringLiteral("--settings")}, 0, 0))
        return kBadUsage;
    const auto host = hostOption(c, a);
    if (!host)
        return kBadUsage;
    std::optional<ReaderSettings> settings;
    if (!settingsFileOption(c, a, settings))
        return kBadUsage;
    const bool fromReader = !settings;
    if (!settings) {
        QString why;
        int code = kDone;
        settings = readerSettings(c, why, code);
        if (!settings)
            return c.fail(code,
                          QStringLiteral("could not read the reader's settings: %1 (or give --settings FILE)")
                              .arg(why));
    }
    const OutputSettings output = outputSettingsWithDefaults(*settings);
    const std::u32string chars = wedge::charactersTyped(output);
    const QString hostName = fromStd(host->layout().name());
    c.out << "The settings type: " << visible(chars) << '\n';
    const std::vector<wedge::LanguageFit> fits = wedge::fitLanguages(chars, *host);
    const KeyboardLanguage* own = wedge::ownLanguage(host->layout());
    QStringList right;
    for (const wedge::LanguageFit& f : fits) {
        if (!f.right())
            continue;
        QString line = QStringLiteral("  ") + nameOf(f.language->readName);
        QStringList notes;
        if (f.language == own)
            notes << QStringLiteral("the layout's own language");
        if (fromReader && settings->language == f.language->code)
            notes << QStringLiteral("the reader's language now");
        if (!notes.isEmpty())
            line += QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + QLatin1Char(')');
        right << line;
    }
    if (!right.isEmpty()) {
        c.out << "Reader languages under which they come out right on " << hostName << ":\n"
              << right.join('\n') << '\n';
        return kDone;
    }
    c.out << "No reader language brings them out right on " << hostName << ".\n";
    // The characters every language gets wrong, and the language closest to right.
    std::u32string always = chars;
    const wedge::LanguageFit* closest = nullptr;
    for (const wedge::LanguageFit& f : fits) {
        if (!f.keymap)
            continue;
        const std::u32string wrong = f.translation.wrong();
        std::u32string kept;
        for (char32_t ch : always) {
            if (wrong.find(ch) != std::u32string::npos)
                kept += ch;
        }
        always = kept;
        if (!closest || wrong.size() < closest->translation.wrong().size())
            closest = &f;
    }
    if (!always.empty())
        c.out << "No reader language makes these appear on " << hostName << ": " << visible(always) << '\n';
    if (closest) {
        c.out << "Closest: " << nameOf(closest->language->readName) << ", which gets these wrong:\n"
              << wrongLines(closest->translation, *closest->keymap, *host).join('\n') << '\n';
    }
    return kDifferent;
}

} // namespace

int checkSiteLayout(Context& c, const ReaderSettings& wanted, const QString& file, bool anyway,
                    QString& note) {
    // A layout that cannot be used is a slip on the command line, not a mismatch to go past.
    if (const QString unusable = siteLayoutUnusable(c.siteLayout); !unusable.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("--host-layout: ") + unusable +
                                     QStringLiteral("; no reader was touched"));
    const QString problem = siteLayoutProblem(wanted, c.siteLayout, file);
    if (problem.isEmpty())
        return kDone;
    if (!anyway)
        return c.fail(kBadUsage,
                      problem +
                          QStringLiteral("; no reader was touched (--anyway sets readers up all the same)"));
    const QString layout = fromStd(wedge::parseLayoutName(c.siteLayout.toStdString())->name());
    note = QStringLiteral("layout check for %1 failed, set up with --anyway").arg(layout);
    c.err << kProgram << ": " << problem << "; going on (--anyway), each reader's row says so\n";
    return kDone;
}

QList<Subcommand> wedgeCommands() {
    return {
        {QStringLiteral("formats"), QStringLiteral("--card ID [--settings FILE] [--expect TEXT] [--json]"),
         QStringLiteral("what the reader types for a card in each format"),
         QStringLiteral("Lists the 15 output formats with the number the reader types for card ID in each:\n"
                        "ID is the card's 5 bytes as 10 hex digits (a 125 kHz card) or 7 bytes as 14.\n"
                        "With --settings FILE, or else with the settings read back from the reader, each\n"
                        "row also shows everything typed: prefix, separators, suffix, Enter (⏎). Without\n"
                        "either the numbers stand alone. --expect TEXT keeps the formats that type TEXT:\n"
                        "the number (blanks ignored, letters in either case), everything the reader\n"
                        "typed with the settings (prefix, separators, suffix), the number amid other\n"
                        "signs, or facility,card (069,11284). Exit status 1 when none does, naming the\n"
                        "nearest (the number with leading zeros). ID may be written in groups (5D 00 45\n"
                        "2C 14, 5D:00:...). Some formats type some cards alike; the list then says the\n"
                        "card cannot tell them apart. --json prints a JSON array. Nothing is written.\n"),
         cmdFormats},
        {QStringLiteral("preview"),
         QStringLiteral(
             "--card ID [--format NAME] [--language NAME] [--host-layout LAYOUT] [--settings FILE]"),
         QStringLiteral("what a computer shows when the reader types a card"),
         QStringLiteral("Shows what the reader types for card ID and what a computer with keyboard\n"
                        "layout LAYOUT (an XKB name such as be or de(nodeadkeys)) shows of it: the reader\n"
                        "presses the keys of its language's layout, the computer reads them with its own.\n"
                        "Defaults: the reader's settings (or --settings FILE), this computer's layout.\n"
                        "--format and --language (names as in a settings file, in any case, or codes\n"
                        "as formats prints them, such as 0F) replace the reader's; with both, no reader\n"
                        "is needed.\n"
                        "When the card appears wrong, lists each character that differs and the reader\n"
                        "languages that would bring it out right; exit status 1. Nothing is written.\n"),
         cmdPreview},
        {QStringLiteral("suggest-language"), QStringLiteral("[--host-layout LAYOUT] [--settings FILE]"),
         QStringLiteral("reader languages that type right on a computer"),
         QStringLiteral("Lists the reader languages under which every character the settings can type\n"
                        "(the format's digits, separators, prefix, suffix, custom byte, Enter) appears\n"
                        "right on a computer with keyboard layout LAYOUT (default: this computer's), the\n"
                        "layout's own language first. Settings: FILE, or the reader's. When none does,\n"
                        "says which characters no language brings out and which the closest language\n"
                        "gets wrong; exit status 1. Nothing is written.\n"),
         cmdSuggestLanguage},
    };
}

} // namespace rfid::cli
