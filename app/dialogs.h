// File dialogs, replaceable so that tests can answer them.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace rfid {

// The chosen file name, or empty text when the operator cancelled.
QString askSaveFileName(QWidget* parent, const QString& title, const QString& filter);
QString askOpenFileName(QWidget* parent, const QString& title, const QString& filter);

using FileQuestion = std::function<QString(const QString& title, const QString& filter)>;
// Installs answers in place of the dialogs; pass {} to restore the dialogs.
void setFileDialogAnswers(FileQuestion save, FileQuestion open);

// Writes `bytes` to `path`, replacing it; throws EFileError when that fails.
void writeWholeFile(const QString& path, const QByteArray& bytes);
// Reads the whole of `path`; throws EFileError when that fails.
QByteArray readWholeFile(const QString& path);

} // namespace rfid
