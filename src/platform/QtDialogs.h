#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QPointer>

class QInputDialog;
class QWidget;

namespace vardelo {

class QtDialogs final : public Dialogs {
  public:
    void setParent(QWidget* parent) { parent_ = parent; }

    void showError(const QString& message) override;
    void showInformation(const QString& message) override;
    bool askYesNo(const QString& question) override;
    std::optional<QString> askPassword(const QString& prompt) override;
    void closePasswordQuestion(const QString& prompt) override;
    std::optional<QString> askText(const QString& prompt, const QString& text) override;
    std::optional<QString> openFileName() override;
    std::optional<QString> saveFileName() override;
    std::optional<QString> chooseFolder(const QString& prompt) override;

  private:
    QWidget* parent_ = nullptr;
    // Each dialog starts where it was last confirmed during this run.
    QString lastOpened_;
    QString lastSaved_;
    QList<QPointer<QInputDialog>> passwordQuestions_; // open now, the innermost last
};

} // namespace vardelo
