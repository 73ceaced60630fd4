// The speed limit and the download hours: the settings page's controls tell
// the HTTP client and the cycle's gate at once, also during a transfer.
#include "app/Unit2.h"
#include "platform/HttpClient.h"
#include "session/DownloadHoursGate.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTimeEdit>

namespace vardelo {
namespace {

int minuteOfDay(const QTimeEdit* edit) {
    return edit->time().hour() * 60 + edit->time().minute();
}

} // namespace

void TForm1::buildLimits() {
    hoursGate_ = new DownloadHoursGate(this);
    hoursGate_->setObjectName(QStringLiteral("hoursGate"));
    session_->setHoursGate(hoursGate_);

    const auto changed = [this] { guarded([this] { limitsChanged(); }); };
    connect(Sebesseg_korlat, &QSpinBox::valueChanged, this, changed);
    connect(Idoablak, &QCheckBox::toggled, this, changed);
    connect(Idoablak_kezdete, &QTimeEdit::timeChanged, this, changed);
    connect(Idoablak_vege, &QTimeEdit::timeChanged, this, changed);
    limitsChanged();

    // The new controls follow the designed ones of the page.
    setTabOrder(elhalt, Egyszerre);
    setTabOrder(Egyszerre, Sebesseg_korlat);
    setTabOrder(Sebesseg_korlat, Idoablak);
    setTabOrder(Idoablak, Idoablak_kezdete);
    setTabOrder(Idoablak_kezdete, Idoablak_vege);
    setTabOrder(Idoablak_vege, Captcha_ido);
    setTabOrder(Captcha_ido, Captcha_eseten);
}

void TForm1::limitsChanged() {
    services_.http.setReceiveLimit(std::int64_t{Sebesseg_korlat->value()} * 1024);
    hoursGate_->setHours(
        {Idoablak->isChecked(), minuteOfDay(Idoablak_kezdete), minuteOfDay(Idoablak_vege)});
}

} // namespace vardelo
