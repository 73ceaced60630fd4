// naplozas: what an attempt's outcome means for the queue, the log and the
// statistics, and how the cycle goes on.
#include "app/TTimer.h"
#include "app/Unit2.h"
#include "core/Saturating.h"
#include "platform/QtText.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>

namespace vardelo {

void TForm1::naplozas(OutcomeKind kind) {
    const QueueRewrite rewrite(list_idle);

    if (kind == OutcomeKind::Success) {
        log.append(successEntry(queue.url(1), sizeTextOf(content_length)));
        queue.removeHead();
        countSuccess(content_length);
    } else {
        if (queue.attempts(1).empty())
            queue.setAttempts(1, "0");
        const int attempts = attemptsFromCell(queue.attempts(1));
        if (shouldRequeue(queue.rowCount(), attempts, ujra->value())) {
            queue.rotateHead(std::to_string(attempts + 1));
        } else {
            log.append(givenUpEntry(queue.url(1), kind, ujra->value()));
            queue.removeHead();
            countSkipped();
        }
    }
    queueChanged();
    logChanged();

    // A new attempt begins: nothing of the old one may act any more.
    ++attempt_;
    awaitingSubmit_ = false;
    completedWhileSubmitting_.reset();
    pageWatchdog_->stop();
    Timer3->setEnabled(false);
    Timer4->setEnabled(false);
    transferring_ = false;

    downloading = false;
    first_page = true;
    if (!queue.hasHead() || letoltes_utan_stop->isChecked()) {
        elhalt_kijelzo->setEnabled(false);
        showRunState(RunState::Idle);
        return;
    }
    letoltve->clear();
    if (kind == OutcomeKind::Success) {
        inditasClick();
        return;
    }
    setGaugeMaximum(elhalt->value());
    dead_wait_left = static_cast<unsigned char>(elhalt->value());
    elhalt_kijelzo->setEnabled(true);
}

void TForm1::countSuccess(std::int64_t bytes) {
    jelenlegi_letoltott_db = saturatingAdd(jelenlegi_letoltott_db, 1);
    osszes_letoltott_db = saturatingAdd(osszes_letoltott_db, 1);
    jelenlegi_letoltott_meret = saturatingAdd(jelenlegi_letoltott_meret, bytes);
    osszes_letoltott_meret = saturatingAdd(osszes_letoltott_meret, bytes);
    showCurrentCounters();
    showAllTimeCounters();
}

void TForm1::countSkipped() {
    jelenlegi_kihagyott_db = saturatingAdd(jelenlegi_kihagyott_db, 1);
    osszes_kihagyott_db = saturatingAdd(osszes_kihagyott_db, 1);
    showCurrentCounters();
    showAllTimeCounters();
}

} // namespace vardelo
