#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QTimer;

namespace vardelo {

// How long the pages stay open once nothing needs them.
inline constexpr std::chrono::seconds kPageRestTime{60};

// Lets a session's browser pages go once nothing has needed them for the
// rest time, so that the engine's page processes end and give their memory
// back; the next link opens its page again.
class PageRest final : public QObject {
    Q_OBJECT
  public:
    // `needed`: whether anything needs the pages now; `release`: lets every page go.
    PageRest(std::function<bool()> needed, std::function<void()> release,
             QObject* parent = nullptr);

    void setRestTime(std::chrono::milliseconds rest);
    // Whether the pages are needed may have changed: a need counts at once;
    // its end is looked at once the step that says so is over (a link's
    // start tells before it begins).
    void reconsider();

  private:
    enum class State {
        Needed,  // a link runs (its captcha with it), or a link check
        Resting, // nothing needs them: the rest time counts
        LetGo,   // closed, until the next need opens one
    };

    void look();
    void restEnded();

    std::function<bool()> needed_;
    std::function<void()> release_;
    QTimer* rest_;
    // No page is open before the first need.
    State state_ = State::LetGo;
    bool lookDue_ = false;
};

} // namespace vardelo
