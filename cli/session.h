// A windowless exchange with the reader: one command text in, the parsed answer
// out, through the USB library loaded by file name as the window loads it.
#pragma once

#include "readersettings.h"
#include "usblink.h"

#include <QString>

namespace rfid {

class ReaderSession {
public:
    explicit ReaderSession(const QString& libraryFile = UsbLibrary::defaultFileName());

    // Frames `command` (address 00), exchanges it and parses the answer. For
    // no answer, `lastProblem()` says why in plain words.
    Answer send(const QString& command);
    QString lastProblem() const { return m_problem; }
    QString libraryFile() const { return m_libraryFile; }
    UsbLibrary& library() { return m_library; }

private:
    QString m_libraryFile;
    UsbLibrary m_library;
    QString m_problem;
};

// The simulated reader's library: installed beside the program, else the one
// of the build tree. Empty when neither exists.
QString simulatedReaderLibrary(const QString& programDir);

} // namespace rfid
