#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QTimer;

namespace vardelo {

// Lets a session's browser pages go once no link has needed them for the
// rest time, so that the engine's page processes end and give their memory
// back; the next link opens its page again.
class PageRest final : public QObject {
    Q_OBJECT
  public:
    // `inUse`: whether a link needs its page now; `release`: lets every page go.
    PageRest(std::function<bool()> inUse, std::function<void()> release, QObject* parent = nullptr);

    void setRestTime(std::chrono::milliseconds rest);
    // Whether the pages are used may have changed: looked at once the step
    // that says so is over (a link's start tells before it begins).
    void reconsider();

  private:
    void look();

    std::function<bool()> inUse_;
    std::function<void()> release_;
    QTimer* rest_;
    bool due_ = false;
};

} // namespace vardelo
