// The real main window for the fuzz targets that drive it: one offscreen
// application and one window for the whole run, errors recorded instead of
// shown in message boxes.
#pragma once

#include "errorhandling.h"
#include "messagelog.h"
#include "tform1.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>
#include <QTextDocument>
#include <cstdlib>

namespace fuzzwin {

struct Window {
    TForm1* form = nullptr;
    QStringList errors;
    int inputs = 0;
};

inline Window& window() {
    static Window w;
    return w;
}

// Builds the application and the window; call from LLVMFuzzerInitialize.
inline void start() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt keeps references to its arguments; libFuzzer's own stay libFuzzer's.
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static rfid::RfidApplication app(argc, argv);
    Window& w = window();
    rfid::setErrorSink([](const QString& text) { window().errors << text; });
    w.form = new TForm1;
    w.form->setExitAction([] {});
}

// Call at the start of every input. No event loop runs between inputs, so the
// events the last input posted (layout and update requests, queued signals,
// deferred deletions) are delivered here instead of piling up; and the log is
// emptied every `every` inputs so that a long run keeps it small.
inline void trimLog(int every) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Window& w = window();
    if (++w.inputs % every == 0)
        w.form->RichEdit1->clear();
}

// A measure of the log's content that grows with every line added.
inline int logSize() {
    return window().form->RichEdit1->document()->characterCount();
}

} // namespace fuzzwin
