#include "formpagehost.h"

#include "errorhandling.h"
#include "languagepage.h"
#include "systempage.h"
#include "tform1.h"

#include <QComboBox>

void FormPageHost::Send(const QString& command) {
    m_form.Send(command);
}

void FormPageHost::SendHex(const QString& frame) {
    m_form.SendHex(frame);
}

void FormPageHost::Delay(int ms) {
    m_form.Delay(ms);
}

void FormPageHost::Delayy(int ms) {
    m_form.Delayy(ms);
}

void FormPageHost::report(const rfid::CycleTexts& texts, const std::function<QStringList()>& successEntries) {
    m_form.report(texts, successEntries);
}

void FormPageHost::cycle(const QString& command, int waitMs, const rfid::CycleTexts& texts,
                         const std::function<QStringList()>& successEntries) {
    m_form.cycle(command, waitMs, texts, successEntries);
}

rfid::Answer FormPageHost::answer() const {
    return m_form.answer();
}

QString FormPageHost::lastResponse() const {
    return m_form.lastResponse;
}

void FormPageHost::addLine(const QString& text) {
    m_form.addLine(text);
}

bool FormPageHost::keepLooping(const QCheckBox* box) const {
    return m_form.keepLooping(box);
}

void FormPageHost::onClick(QAbstractButton* button, std::function<void()> handler) {
    m_form.onClick(button, std::move(handler));
}

void FormPageHost::runGuarded(const std::function<void()>& handler) {
    rfid::runGuarded(handler);
}

// The address list holds 00 to 20 in order, so an address is its own index.
void FormPageHost::setAddress(int address) {
    m_form.setadd->setCurrentIndex(address);
}

int FormPageHost::pauseTime(int offset) const {
    return m_form.systemPage()->pauseTime(offset);
}

QStringList FormPageHost::prefixSuffixTexts() const {
    return m_form.languagePage()->prefixSuffixTexts();
}
