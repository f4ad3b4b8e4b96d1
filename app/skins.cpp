#include "skins.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace rfid {

namespace {
struct Skin {
    const char* name;
    QRgb window, base, alternate, text, button, highlight, highlightedText;
};

// Light schemes keep dark text; the fifth is a dark scheme with light text.
const Skin kSkins[kSkinCount] = {
    {"skin1", 0xECE9D8, 0xFFFFFF, 0xF4F2E8, 0x000000, 0xECE9D8, 0x316AC5, 0xFFFFFF},
    {"skin2", 0xDCE6F4, 0xFFFFFF, 0xEEF3FA, 0x10243E, 0xC9D8EE, 0x3D6FB5, 0xFFFFFF},
    {"skin3", 0xD6DEE6, 0xFAFCFE, 0xE8EDF2, 0x1A1A1A, 0xC4D0DC, 0x4A7AA8, 0xFFFFFF},
    {"skin4", 0xDDEBDD, 0xFFFFFF, 0xEEF5EE, 0x132B13, 0xC6DEC6, 0x3E8E41, 0xFFFFFF},
    {"Skin5", 0x3A3F44, 0x2B2F33, 0x353A3F, 0xE8E8E8, 0x4A5056, 0x5E9CD6, 0x000000},
    {"Skin6", 0xF1E6D2, 0xFFFDF8, 0xF7F0E3, 0x3B2A14, 0xE4D3B4, 0xB5762C, 0xFFFFFF},
};

int& current() {
    static int c = -1;
    return c;
}
} // namespace

QString skinName(int index) {
    if (index < 0 || index >= kSkinCount)
        return {};
    return QLatin1String(kSkins[index].name);
}

bool applySkin(int index) {
    if (index < 0 || index >= kSkinCount || !qApp)
        return false;
    static bool styled = false;
    if (!styled) {
        // One style everywhere, so that a palette looks the same on every platform.
        if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
            QApplication::setStyle(fusion);
        styled = true;
    }
    const Skin& s = kSkins[index];
    QPalette p;
    p.setColor(QPalette::Window, QColor(s.window));
    p.setColor(QPalette::WindowText, QColor(s.text));
    p.setColor(QPalette::Base, QColor(s.base));
    p.setColor(QPalette::AlternateBase, QColor(s.alternate));
    p.setColor(QPalette::Text, QColor(s.text));
    p.setColor(QPalette::Button, QColor(s.button));
    p.setColor(QPalette::ButtonText, QColor(s.text));
    p.setColor(QPalette::ToolTipBase, QColor(s.base));
    p.setColor(QPalette::ToolTipText, QColor(s.text));
    p.setColor(QPalette::PlaceholderText, QColor(s.text).lighter(150));
    p.setColor(QPalette::Highlight, QColor(s.highlight));
    p.setColor(QPalette::HighlightedText, QColor(s.highlightedText));
    // The log keeps its selection visible when it loses the focus.
    p.setColor(QPalette::Inactive, QPalette::Highlight, QColor(s.highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, QColor(s.highlightedText));
    const QColor disabled = QColor(s.text).lighter(index == 4 ? 60 : 250);
    p.setColor(QPalette::Disabled, QPalette::Text, disabled);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    QApplication::setPalette(p);
    current() = index;
    return true;
}

int currentSkin() {
    return current();
}

} // namespace rfid
