// What an attempt's outcome changes in the queue, the log and the
// statistics; the cycle decides how it goes on (see planOutcome).
#include "app/Unit2.h"
#include "platform/QtText.h"
#include "session/DownloadCycle.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>

namespace vardelo {

OutcomePlan TForm1::recordOutcome(const AttemptResult& result, std::int64_t contentLength) {
    const QueueRewrite rewrite(list_idle);
    OutcomeFacts facts;
    facts.kind = result.outcome;
    facts.headUrl = queue_.url(1);
    runFailures_.record(facts.headUrl, result);
    facts.headAttemptsCell = queue_.attempts(1);
    facts.queueRowCount = queue_.rowCount();
    facts.secondRowHasLink = queue_.rowCount() > 2 && !queue_.url(2).empty();
    facts.retries = ujra->value();
    facts.deadWaitSeconds = elhalt->value();
    facts.stopAfterChecked = letoltes_utan_stop->isChecked();
    facts.contentLength = contentLength;
    facts.decimalSeparator = toStd(QLocale().decimalPoint());
    const OutcomePlan plan = planOutcome(facts);

    if (plan.queueChange == QueueChange::RotateHead)
        queue_.rotateHead(plan.rotatedAttempts);
    else
        queue_.removeHead();
    if (plan.logEntry)
        log_.append(*plan.logEntry);
    statistics_.count(plan);
    showCurrentCounters();
    showAllTimeCounters();
    return plan;
}

} // namespace vardelo
