#include "app/Termination.h"

#include "app/Unit2.h"
#include "platform/UnixSignals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>

#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace vardelo {
namespace {

// A box's own event loop ends when it goes; the close can then run.
void closeOpenDialogs() {
    for (int left = 16; left > 0; --left) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
}

// The one whose window an exit() with the window still open closes.
Termination* atExit = nullptr;

} // namespace

Termination::Termination(UnixSignals& signals, QObject* parent) : QObject(parent) {
    connect(&signals, &UnixSignals::terminationRequested, this, &Termination::requested);
}

Termination::~Termination() {
    if (atExit == this)
        atExit = nullptr;
}

std::optional<int> Termination::windowReady(TForm1& form) {
    form_ = &form;
    if (!atExit) {
        atExit = this;
        static const bool registered = std::atexit(&Termination::exitRequested) == 0;
        Q_UNUSED(registered);
    }
    if (!pending_)
        return std::nullopt;
    return closeNow();
}

void Termination::requested() {
    closeOpenDialogs();
    if (form_)
        closeNow();
    else
        pending_ = true;
}

// exit() leaves the window, its session and the event loop as they were:
// the close saves what they hold, and nothing else of the program runs
// after it. Only the window's own thread may close it.
void Termination::exitRequested() {
    if (!atExit || !atExit->form_ || QThread::currentThread() != atExit->thread())
        return;
    Termination* termination = std::exchange(atExit, nullptr);
    std::fflush(stdout);
    std::_Exit(termination->closeNow());
}

int Termination::closeNow() {
    QString failure;
    if (form_->closeForTermination(&failure))
        return 0; // the close has ended the event loop
    std::fprintf(stderr, "Vardelo: %s\n", failure.toLocal8Bit().constData());
    QCoreApplication::exit(1);
    return 1;
}

} // namespace vardelo
