// The main window as the pages' host: each call goes to the window's own
// member of that name, or to the part of the window that holds the value.
//
// An object of its own rather than a base class of TForm1: the window's last
// answer is the data member `lastResponse`, which the window's own code, the
// settings menu and the tests use as it is, and a class cannot have a data
// member and an overriding function of one name. The adapter also keeps what
// a page can reach down to this list, rather than all of TForm1's public face.
#pragma once

#include "pagehost.h"

class TForm1;

class FormPageHost final : public PageHost {
public:
    explicit FormPageHost(TForm1& form) : m_form(form) {}

    void Send(const QString& command) override;
    void SendHex(const QString& frame) override;
    void Delay(int ms) override;
    void Delayy(int ms) override;
    void report(const rfid::CycleTexts& texts, const std::function<QStringList()>& successEntries) override;
    void cycle(const QString& command, int waitMs, const rfid::CycleTexts& texts,
               const std::function<QStringList()>& successEntries) override;
    rfid::Answer answer() const override;
    QString lastResponse() const override;

    void addLine(const QString& text) override;
    bool keepLooping(const QCheckBox* box) const override;
    void onClick(QAbstractButton* button, std::function<void()> handler) override;
    void runGuarded(const std::function<void()>& handler) override;

    void setAddress(int address) override;
    int pauseTime(int offset) const override;
    QStringList prefixSuffixTexts() const override;

private:
    TForm1& m_form;
};
