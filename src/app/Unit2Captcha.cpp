// A page's captcha: the window comes forward on the "Weblap" page for the
// user to solve it, and goes back to the user's page afterwards.
#include "app/Unit2.h"
#include "core/ClipboardLinks.h"
#include "platform/Browser.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QTabWidget>

namespace vardelo {

void TForm1::askForCaptcha(const std::string& link) {
    if (Lapok->currentWidget() != Weblap)
        beforeCaptcha_ = Lapok->currentWidget();
    if (!isVisible() || isMinimized())
        CTIClick(); // back from the tray
    raise();
    activateWindow();
    QApplication::alert(this);
    Lapok->setCurrentWidget(Weblap);
    showPageOf(link); // the page that asks
    Browser* page = session_->pageOf(link);
    (page ? page : &services_.browser)->widget()->setFocus(Qt::OtherFocusReason);
    CTI->showBalloon(QStringLiteral("Captcha vár megoldásra"), toQt(balloonBody({link})), 10);
    balloon_hide->setEnabled(true);
    showRowStates();
}

void TForm1::captchaOver() {
    if (beforeCaptcha_ && Lapok->currentWidget() == Weblap)
        Lapok->setCurrentWidget(beforeCaptcha_);
    beforeCaptcha_.clear();
    showRowStates();
}

} // namespace vardelo
