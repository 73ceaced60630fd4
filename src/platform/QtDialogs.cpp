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
    bool ok = false;
    const QString password =
        QInputDialog::getText(parent_, kTitle, prompt, QLineEdit::Password, QString(), &ok);
    return ok ? std::optional(password) : std::nullopt;
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
