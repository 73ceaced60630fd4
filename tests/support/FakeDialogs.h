#pragma once

#include "platform/Dialogs.h"

#include <QStringList>

#include <deque>

namespace vardelo {

// Prepared answers for the window's dialogs, and a record of what it showed.
class FakeDialogs final : public Dialogs {
  public:
    void showError(const QString& message) override { errors.push_back(message); }
    void showInformation(const QString& message) override { informations.push_back(message); }
    bool askYesNo(const QString& question) override {
        questions.push_back(question);
        return nextAnswer;
    }
    std::optional<QString> askText(const QString& prompt, const QString&) override {
        textPrompts.push_back(prompt);
        return next(textAnswers);
    }
    std::optional<QString> askPassword(const QString& prompt) override {
        passwordPrompts.push_back(prompt);
        return next(passwordAnswers);
    }
    std::optional<QString> openFileName() override { return next(openAnswers); }
    std::optional<QString> saveFileName() override { return next(saveAnswers); }
    std::optional<QString> chooseFolder(const QString& prompt) override {
        prompts.push_back(prompt);
        return next(folderAnswers);
    }

    QStringList errors;
    QStringList informations;
    QStringList questions;
    QStringList prompts;
    QStringList passwordPrompts;
    QStringList textPrompts;
    std::deque<std::optional<QString>> textAnswers;
    std::deque<std::optional<QString>> passwordAnswers;
    bool nextAnswer = true;
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<std::optional<QString>> folderAnswers;

  private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace vardelo

// Readable QString values in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
