// Shared by the tests of the ISO14443B and ISO15693 pages: the 13.56 MHz
// reader, readable log comparisons, and actions run from inside a loop.
#pragma once

#include "harness.h"

#include <QTimer>

#include <functional>
#include <string>

class HfPageTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        rfidsim_set_family(RFIDSIM_HF);
    }

    // Runs `action` once, from inside a running loop, as soon as the reader has
    // received `count` frames.
    void whenFrames(int count, std::function<void()> action) {
        auto* timer = new QTimer(form.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, form.get(), [timer, count, action] {
            if (rfidsim_frame_count() >= count) {
                timer->stop();
                action();
            }
        });
        timer->start();
    }

    // The log with time stamps as "T", one text, so that a difference shows readably.
    std::string logText() const { return logT().join(QLatin1Char('\n')).toStdString(); }
    static std::string lines(const QStringList& expected) {
        return expected.join(QLatin1Char('\n')).toStdString();
    }

    // The frame the reader receives for a command with address 00.
    static QString frameOf(const QString& command) { return answerFrame(command).toUpper(); }
};
