// What an attempt's outcome changes in the queue, the log and the
// statistics; the cycle decides how it goes on (see planOutcome).
#include "app/DownloadCycle.h"
#include "app/Unit2.h"
#include "core/Saturating.h"
#include "platform/QtText.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>

namespace vardelo {

OutcomePlan TForm1::recordOutcome(const AttemptResult& result, std::int64_t contentLength) {
    const QueueRewrite rewrite(list_idle);
    OutcomeFacts facts;
    facts.kind = result.outcome;
    facts.headUrl = queue.url(1);
    runFailures_.record(facts.headUrl, result);
    facts.headAttemptsCell = queue.attempts(1);
    facts.queueRowCount = queue.rowCount();
    facts.secondRowHasLink = queue.rowCount() > 2 && !queue.url(2).empty();
    facts.retries = ujra->value();
    facts.deadWaitSeconds = elhalt->value();
    facts.stopAfterChecked = letoltes_utan_stop->isChecked();
    facts.contentLength = contentLength;
    facts.decimalSeparator = toStd(QLocale().decimalPoint());
    const OutcomePlan plan = planOutcome(facts);

    if (plan.queueChange == QueueChange::RotateHead)
        queue.rotateHead(plan.rotatedAttempts);
    else
        queue.removeHead();
    if (plan.logEntry)
        log.append(*plan.logEntry);
    // Counters stop at their limit instead of wrapping round.
    for (auto* counter : {&jelenlegi_letoltott_db, &osszes_letoltott_db})
        *counter = saturatingAdd(*counter, plan.downloadedFiles);
    for (auto* counter : {&jelenlegi_letoltott_meret, &osszes_letoltott_meret})
        *counter = saturatingAdd(*counter, plan.downloadedBytes);
    for (auto* counter : {&jelenlegi_kihagyott_db, &osszes_kihagyott_db})
        *counter = saturatingAdd(*counter, plan.skippedFiles);
    showCurrentCounters();
    showAllTimeCounters();
    return plan;
}

} // namespace vardelo
