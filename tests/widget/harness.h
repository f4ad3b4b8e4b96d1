// A fresh main window per test, the simulated reader reset, errors recorded.
#pragma once

#include "errorhandling.h"
#include "errors.h"
#include "hex.h"
#include "messagelog.h"
#include "rfidsim.h"
#include "tform1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        rfidsim_reset();
        rfid::setErrorSink([this](const QString& text) { errors << text; });
        form = std::make_unique<TForm1>();
        form->setExitAction([] {});
        form->RichEdit1->clear();
    }
    void TearDown() override {
        form.reset();
        rfid::setErrorSink({});
        rfidsim_reset();
    }

    template <typename T = QWidget> T* find(const char* name) const {
        T* w = form->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << "no control named " << name;
        return w;
    }
    // Clicks a button (or check box) the way the operator does.
    void click(const char* name) const {
        if (auto* b = find<QAbstractButton>(name))
            b->click();
    }
    void setText(const char* name, const QString& text) const {
        if (auto* e = find<QLineEdit>(name))
            e->setText(text);
    }
    void select(const char* radioName) const {
        if (auto* r = find<QRadioButton>(radioName))
            r->setChecked(true);
    }

    // Frames the simulated reader received, as spaced upper-case hex ("AA 00 01 CF CE BB").
    static std::vector<QString> frames() {
        std::vector<QString> out;
        for (int i = 0; i < rfidsim_frame_count(); ++i) {
            unsigned char buf[512];
            const int n = rfidsim_frame(i, buf, sizeof buf);
            QStringList parts;
            for (int k = 0; k < n && k < int(sizeof buf); ++k)
                parts << QStringLiteral("%1").arg(buf[k], 2, 16, QLatin1Char('0')).toUpper();
            out.push_back(parts.join(QLatin1Char(' ')));
        }
        return out;
    }
    static QString lastFrame() {
        const auto f = frames();
        return f.empty() ? QString() : f.back();
    }
    // Queues a raw answer, given as spaced hex.
    static void scriptAnswer(const QString& hex) {
        QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        rfidsim_script_answer(reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()));
    }
    // Builds a well-formed answer frame with status and data (spaced hex).
    static QString answerFrame(const QString& statusAndData, int address = 0) {
        QByteArray body = QByteArray::fromHex(statusAndData.toLatin1());
        QByteArray frame;
        frame.append(char(0xAA)).append(char(address)).append(char(body.size())).append(body);
        unsigned char x = 0;
        for (int i = 1; i < frame.size(); ++i)
            x ^= static_cast<unsigned char>(frame[i]);
        frame.append(char(x)).append(char(0xBB));
        return QString::fromLatin1(frame.toHex(' '));
    }

    QStringList log() const { return form->RichEdit1->lines(); }
    // The log with every time stamp replaced by "T", for exact comparisons.
    QStringList logT() const {
        QStringList out;
        static const QRegularExpression stamp(QStringLiteral("\\d\\d:\\d\\d:\\d\\d (AM|PM)"));
        for (QString line : log())
            out << line.replace(stamp, QStringLiteral("T"));
        return out;
    }

    std::unique_ptr<TForm1> form;
    QStringList errors;
};
