// The queue's "Állapot" column: what the running link is doing, and until
// when a waiting host holds its links back.
#include "app/GridModel.h"
#include "app/Unit2.h"
#include "core/RowState.h"
#include "platform/QtText.h"

#include <QLocale>

#include <algorithm>

namespace vardelo {
namespace {

RowState::Kind runningKind(const DownloadCycle& cycle) {
    if (cycle.asksForCaptcha())
        return RowState::Kind::Captcha;
    switch (cycle.state()) {
    case CycleState::Countdown:
        return RowState::Kind::Countdown;
    case CycleState::Transfer:
        return RowState::Kind::Transfer;
    default:
        return RowState::Kind::Page;
    }
}

} // namespace

void TForm1::addRowStateColumn() {
    linkekModel->addViewColumn(
        {QStringLiteral("Állapot"), [this](int row) { return rowStateText(row); }});
}

QString TForm1::rowStateText(int row) const {
    RowState state;
    const DownloadCycle& cycle = session_->cycle();
    const auto several =
        session_->runsSeveral() ? session_->runningState(queue().url(row)) : std::nullopt;
    if (several) {
        state = *several;
    } else if (row == 1 && cycle.downloading() && !session_->runsSeveral()) {
        state.kind = runningKind(cycle);
        state.secondsLeft = cycle.secondsToTransfer();
        state.received = std::max<std::int64_t>(rateBytes_, 0);
        state.expected = rateExpected_;
        state.bytesPerSecond = rate_.bytesPerSecond();
    } else if (const QString until = session_->hostWaitUntil(queue().url(row)); !until.isEmpty()) {
        state.kind = RowState::Kind::HostWait;
        state.until = toStd(until);
    }
    return toQt(vardelo::rowStateText(state, toStd(QLocale().decimalPoint())));
}

void TForm1::showRowStates() {
    linkekModel->viewColumnsChanged();
}

} // namespace vardelo
