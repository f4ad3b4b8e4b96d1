// Errors that end a handler and reach the application's general error handling.
#pragma once

#include <QString>
#include <stdexcept>

namespace rfid {

// Base of every error the program raises on purpose; its text is shown as is.
class RfidError : public std::runtime_error {
public:
    explicit RfidError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// A text that should be a number is not one.
class EConvertError : public RfidError {
public:
    using RfidError::RfidError;
};

// A file could not be created, read or written.
class EFileError : public RfidError {
public:
    using RfidError::RfidError;
};

// Reads a decimal whole number (32-bit, optional sign, surrounding blanks allowed,
// or "$" followed by hex digits). Throws EConvertError for anything else.
int StrToInt(const QString& text);

} // namespace rfid
