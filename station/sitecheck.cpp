#include "sitecheck.h"

#include "cardtest.h"
#include "formatfinder.h"
#include "keymap.h"

#include <QStringList>

namespace rfid {

namespace {
QString nameOf(const char* readName) {
    return QString::fromUtf8(readName).simplified();
}
QString visible(const std::u32string& text) {
    return QString::fromStdString(wedge::visibleText(text));
}
} // namespace

QString siteLayoutUnusable(const QString& layoutName) {
    const std::optional<wedge::KeyboardLayout> layout = wedge::parseLayoutName(layoutName.toStdString());
    std::string error;
    if (layout && wedge::Keymap::load(*layout, &error))
        return {};
    QString why = QString::fromStdString(error);
    if (!layout)
        why = QStringLiteral("%1 is not a keyboard layout name (such as de or de(nodeadkeys))")
                  .arg(quotedForError(layoutName));
    else if (error == "the XKB keyboard data has no layout \"" + layout->name() + "\"")
        why = QStringLiteral("the XKB keyboard data has no layout %1").arg(quotedForError(layoutName));
    const std::string meant = wedge::layoutMeant(layoutName.toStdString());
    return meant.empty() ? why
                         : why + QStringLiteral(" (did you mean %1?)").arg(QString::fromStdString(meant));
}

QString siteLayoutProblem(const ReaderSettings& wanted, const QString& layoutName, const QString& file) {
    if (const QString unusable = siteLayoutUnusable(layoutName); !unusable.isEmpty())
        return unusable;
    const auto host = wedge::Keymap::load(*wedge::parseLayoutName(layoutName.toStdString()));
    const QString hostName = QString::fromStdString(host->layout().name());
    if (!wanted.language)
        return QStringLiteral(
                   "%1 sets no keyboard language, so what the readers type on %2 cannot be told; add "
                   "\"language\" to the file")
            .arg(file, hostName);
    const std::u32string chars = wedge::charactersTyped(outputSettingsWithDefaults(wanted));
    const std::vector<wedge::LanguageFit> fits = wedge::fitLanguages(chars, *host);
    const wedge::LanguageFit* fit = nullptr;
    QStringList right;
    for (const wedge::LanguageFit& f : fits) {
        if (f.language->code == *wanted.language)
            fit = &f;
        if (f.right())
            right << nameOf(f.language->readName);
    }
    if (fit && fit->right())
        return {};
    const QString language = fit ? nameOf(fit->language->readName)
                                 : QStringLiteral("code %1").arg(*wanted.language, 2, 16, QLatin1Char('0'));
    const QString why =
        !fit || !fit->keymap
            ? QStringLiteral("the reader language %1 has no keyboard layout to check against").arg(language)
            : QStringLiteral(
                  "with the reader language %1 the readers would type %2 where %3 is meant (wrong: %4)")
                  .arg(language, visible(fit->translation.shown()), visible(chars),
                       visible(fit->translation.wrong()));
    const QString advice =
        right.isEmpty() ? QStringLiteral("; no reader language brings them out right there")
                        : QStringLiteral("; right there: ") + right.mid(0, 4).join(QStringLiteral(", "));
    return QStringLiteral("%1 does not come out right on a computer with the layout %2: ")
               .arg(file, hostName) +
           why + advice;
}

} // namespace rfid
