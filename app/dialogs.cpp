#include "dialogs.h"

#include "errors.h"

#include <QFile>
#include <QFileDialog>
#include <QSaveFile>

namespace rfid {

namespace {
FileQuestion& saveAnswer() {
    static FileQuestion f;
    return f;
}
FileQuestion& openAnswer() {
    static FileQuestion f;
    return f;
}
} // namespace

void setFileDialogAnswers(FileQuestion save, FileQuestion open) {
    saveAnswer() = std::move(save);
    openAnswer() = std::move(open);
}

QString askSaveFileName(QWidget* parent, const QString& title, const QString& filter) {
    if (saveAnswer())
        return saveAnswer()(title, filter);
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The name is used as chosen: no extension is added, and an existing file
    // of that name is replaced without a question.
    dialog.setDefaultSuffix(QString());
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The filter list shows each filter by its name alone ("文本文件(.txt)"),
    // not followed by its patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString askOpenFileName(QWidget* parent, const QString& title, const QString& filter) {
    if (openAnswer())
        return openAnswer()(title, filter);
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

void writeWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EFileError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    return file.readAll();
}

} // namespace rfid
