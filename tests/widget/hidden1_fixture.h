// The main window talking to the simulated 13.56 MHz reader, with helpers for
// the card pages' report outcomes and for watching continuous loops.
#pragma once

#include "harness.h"
#include "model.h"
#include "s50page.h"
#include "systempage.h"
#include "tform1.h"
#include "ultralightpage.h"

#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <vector>

class HfWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        rfidsim_set_family(RFIDSIM_HF);
    }

    SystemPage* systemPage() const { return form->systemPage(); }
    S50Page* s50() const { return form->s50Page(); }
    UltralightPage* ultralight() const { return form->ultralightPage(); }
    static rfidsim::HfState& hf() { return rfidsim::reader().hf; }

    void setWait(const QString& ms) const { systemPage()->Edit22->setText(ms); }

    // The command byte of every frame received so far, as two hex digits.
    static QStringList commands() {
        QStringList out;
        for (const QString& f : frames())
            out << f.mid(9, 2);
        return out;
    }
};

// Polls the simulated reader's received frames every millisecond while a
// continuous loop runs (the loops' waits handle timer events), noting when each
// frame was first seen and calling `onFrames(count)` whenever the count grows.
class FrameWatch {
public:
    explicit FrameWatch(std::function<void(int)> onFrames) : m_onFrames(std::move(onFrames)) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_clock.start();
        m_timer.start();
    }

    // Milliseconds since the watch started at which frame 1, 2, ... was seen.
    std::vector<qint64> seen;
    qint64 now() const { return m_clock.elapsed(); }

private:
    void poll() {
        const int count = rfidsim_frame_count();
        if (count <= int(seen.size()))
            return;
        while (int(seen.size()) < count)
            seen.push_back(m_clock.elapsed());
        if (m_onFrames)
            m_onFrames(count);
    }

    std::function<void(int)> m_onFrames;
    QTimer m_timer;
    QElapsedTimer m_clock;
};
