#include "platform/QtDialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace vardelo {
namespace {

const QString kTitle = QStringLiteral("Vardelo");

std::optional<QString> confirmed(const QString& name) {
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

} // namespace

void QtDialogs::showError(const QString& message) {
    QMessageBox::critical(parent_, kTitle, message, QMessageBox::Ok);
}

void QtDialogs::showInformation(const QString& message) {
    QMessageBox::information(parent_, kTitle, message, QMessageBox::Ok);
}

std::optional<QString> QtDialogs::askPassword(const QString& prompt) {
    // Kept by the list while it runs, so that the program can close it when
    // nobody waits for its answer any more.
    const QPointer<QInputDialog> dialog = new QInputDialog(parent_);
    dialog->setWindowTitle(kTitle);
    dialog->setLabelText(prompt);
    dialog->setTextEchoMode(QLineEdit::Password);
    passwordQuestions_.append(dialog);
    const bool ok = dialog->exec() == QDialog::Accepted;
    passwordQuestions_.removeAll(dialog);
    if (!dialog) // its window went during the question
        return std::nullopt;
    const QString password = dialog->textValue();
    delete dialog.data();
    return ok ? std::optional(password) : std::nullopt;
}

void QtDialogs::closePasswordQuestion(const QString& prompt) {
    for (const QPointer<QInputDialog>& dialog : passwordQuestions_)
        if (dialog && dialog->labelText() == prompt)
            dialog->reject();
}

std::optional<QString> QtDialogs::askText(const QString& prompt, const QString& text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent_, kTitle, prompt, QLineEdit::Normal, text, &ok);
    return ok ? std::optional(answer) : std::nullopt;
}

bool QtDialogs::askYesNo(const QString& question) {
    return QMessageBox::question(parent_, kTitle, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::openFileName() {
    // A typed name of a file that does not exist is taken as it is: opening
    // it then says why it cannot be read.
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The desktops' own open dialogs insist on an existing file.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!lastOpened_.isEmpty())
        dialog.selectFile(lastOpened_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    auto name = confirmed(dialog.selectedFiles().constFirst());
    if (name)
        lastOpened_ = *name;
    return name;
}

std::optional<QString> QtDialogs::saveFileName() {
    auto name = confirmed(QFileDialog::getSaveFileName(parent_, QString(), lastSaved_, QString(),
                                                       nullptr, QFileDialog::DontConfirmOverwrite));
    if (name)
        lastSaved_ = *name;
    return name;
}

std::optional<QString> QtDialogs::chooseFolder(const QString& prompt) {
    return confirmed(QFileDialog::getExistingDirectory(parent_, prompt));
}

} // namespace vardelo
