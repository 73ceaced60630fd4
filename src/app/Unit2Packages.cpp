// The queue's "Csomag" column, the packages' commands in the queue's menu,
// and what the window shows when a package is done.
#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QMenu>

namespace vardelo {

void TForm1::buildPackages() {
    linkekModel->addViewColumn({QStringLiteral("Csomag"), [this](int row) {
                                    return toQt(session_->packageOf(queue().url(row)));
                                }});
    PMSG->addSeparator();
    csomag_torlese = PMSG->addAction(QStringLiteral("Csomag törlése"));
    csomag_torlese->setObjectName(QStringLiteral("csomag_torlese"));
    connect(csomag_torlese, &QAction::triggered, this, guard(&TForm1::csomag_torleseClick));
    // Only a row in a package has one to act on.
    connect(PMSG, &QMenu::aboutToShow, this, [this] {
        csomag_torlese->setEnabled(
            !session_->packageOf(queue().url(Linkek->selectedRow())).empty());
    });
    connect(session_, &DownloadSession::packageReady, this, guard(&TForm1::packageReady));
}

// What the package waits for or is doing: its missing parts, its unpacking.
QString TForm1::packageTip(int row) const {
    return session_->packageStateOf(queue().url(row));
}

void TForm1::csomag_torleseClick() {
    session_->deletePackage(session_->packageOf(queue().url(Linkek->selectedRow())));
}

void TForm1::packageReady(const QString& package) {
    CTI->showBalloon(QStringLiteral("Csomag kész: ") + package, QString(), 10);
    balloon_hide->setEnabled(true);
}

} // namespace vardelo
