#pragma once

#include "platform/Dialogs.h"

#include <QEventLoop>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTimer>

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
        const int asked = static_cast<int>(passwordPrompts.size());
        passwordPrompts.push_back(prompt);
        if (passwordQuestionsLeftOpen.contains(asked))
            return openUntilClosed(prompt);
        return next(passwordAnswers);
    }
    void closePasswordQuestion(const QString& prompt) override {
        if (QEventLoop* open = openQuestions_.value(prompt)) {
            closedPasswordQuestions.push_back(prompt);
            open->quit();
        }
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
    // The password questions nobody answers, by their order from 0: each
    // stays open, running its own loop as a modal dialog does, until the
    // program closes it; closed, it answers as cancelled.
    QSet<int> passwordQuestionsLeftOpen;
    QStringList closedPasswordQuestions;
    bool nextAnswer = true;
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<std::optional<QString>> folderAnswers;

  private:
    std::optional<QString> openUntilClosed(const QString& prompt) {
        QEventLoop loop;
        openQuestions_.insert(prompt, &loop);
        // A program that never closes it fails its test instead of holding it.
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        openQuestions_.remove(prompt);
        return std::nullopt;
    }

    QHash<QString, QEventLoop*> openQuestions_;

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
