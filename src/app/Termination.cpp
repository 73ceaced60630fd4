#include "app/Termination.h"

#include "app/Unit2.h"
#include "platform/UnixSignals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>

#include <cstdio>

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

} // namespace

Termination::Termination(UnixSignals& signals, QObject* parent) : QObject(parent) {
    connect(&signals, &UnixSignals::terminationRequested, this, &Termination::requested);
}

std::optional<int> Termination::windowReady(TForm1& form) {
    form_ = &form;
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

int Termination::closeNow() {
    QString failure;
    if (form_->closeForTermination(&failure))
        return 0; // the close has ended the event loop
    std::fprintf(stderr, "Vardelo: %s\n", failure.toLocal8Bit().constData());
    QCoreApplication::exit(1);
    return 1;
}

} // namespace vardelo
