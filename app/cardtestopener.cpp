// Opens the card test from the main window and hands it the choices it may
// make on the window's pages: the language page's language and the output
// format page's format (the pages' own Set or Settings > Write all writes them).
#include "cardtestdialog.h"
#include "languagepage.h"
#include "outputformatpage.h"
#include "readersettings.h"
#include "tform1.h"

#include <QPointer>

namespace rfid {

namespace {
CardTestChoices choicesOf(TForm1* form) {
    CardTestChoices choices;
    if (!form)
        return choices;
    QPointer<TForm1> window(form);
    choices.chooseLanguage = [window](std::uint8_t code) {
        if (!window || !window->languagePage())
            return;
        ReaderSettings only;
        only.language = code;
        window->languagePage()->showSettings(only);
    };
    choices.chooseFormat = [window](std::uint8_t code) {
        if (!window || !window->outputFormatPage())
            return;
        ReaderSettings only;
        only.format = code;
        window->outputFormatPage()->showSettings(only);
    };
    return choices;
}
} // namespace

CardTestDialog* showCardTest(UsbLibrary& usb, QWidget* parent) {
    auto* dialog =
        parent ? parent->findChild<CardTestDialog*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!dialog) {
        dialog = new CardTestDialog(usb, parent);
        auto* form = qobject_cast<TForm1*>(parent);
        dialog->setChoices(choicesOf(form));
        if (form)
            dialog->setReaderNotice(form->readerNotice());
        dialog->readSettingsFromReader();
    }
    // The desktop's layout may have changed since the card test was last open.
    dialog->setDesktopLayout(desktopKeyboardLayout());
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->inputArea()->setFocus();
    return dialog;
}

} // namespace rfid
