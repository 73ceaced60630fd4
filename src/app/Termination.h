#pragma once

#include <QObject>

#include <optional>

namespace vardelo {

class TForm1;
class UnixSignals;

// Ends the program in order on a termination signal: open boxes go away, the
// window's close sequence runs and the event loop ends with status 0, or 1
// with the reason on standard error when saving failed. A signal that comes
// while the window is still being built (its start-up may show an error box)
// waits until the window exists. When the desktop goes away, Qt ends the
// program with exit() on its display connection; the close runs then too,
// and the program ends as at a signal.
class Termination final : public QObject {
  public:
    explicit Termination(UnixSignals& signals, QObject* parent = nullptr);
    ~Termination() override;

    // The window is built. The program's status when a signal already asked
    // for the end (the close has run), nothing otherwise.
    std::optional<int> windowReady(TForm1& form);

  private:
    void requested();
    int closeNow();
    static void exitRequested();

    TForm1* form_ = nullptr;
    bool pending_ = false;
};

} // namespace vardelo
