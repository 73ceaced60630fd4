#pragma once

#include <QString>

#include <optional>

namespace vardelo {

// The modal conversations of the program: message boxes and file dialogs.
// The window gets one; tests hand it a fake with prepared answers.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // The application's standard error box: title "Vardelo", error icon, OK.
    virtual void showError(const QString& message) = 0;
    virtual void showInformation(const QString& message) = 0;
    // Question icon, Yes and No; true for Yes.
    virtual bool askYesNo(const QString& question) = 0;

    // A password typed unseen; nothing when cancelled.
    virtual std::optional<QString> askPassword(const QString& prompt) = 0;
    // The open password question with this prompt closes as if cancelled;
    // nothing happens when none is open.
    virtual void closePasswordQuestion(const QString& prompt) = 0;
    // A line of text, `text` offered; nothing when cancelled.
    virtual std::optional<QString> askText(const QString& prompt, const QString& text) = 0;

    virtual std::optional<QString> openFileName() = 0;
    virtual std::optional<QString> saveFileName() = 0;
    virtual std::optional<QString> chooseFolder(const QString& prompt) = 0;
};

} // namespace vardelo
