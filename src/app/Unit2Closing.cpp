// Ending the program in order. The close box, the tray's "Kilépés" and the
// termination signals all come here, so they save alike and all end the run:
// a window hidden in the tray would not end Qt's event loop by closing.
#include "app/Unit2.h"
#include "platform/Dialogs.h"
#include "platform/TrayIcon.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>

namespace vardelo {

bool TForm1::closeProgram(QString* failure) {
    if (closedInOrder_)
        return true;
    if (!FormClose(failure))
        return false;
    closedInOrder_ = true;
    recordSaveTimer_->stop();
    CTI->setIconVisible(false);
    hide();
    // quit(), not exit(): outside the application's own loop (start-up, tests)
    // it does nothing, where exit() would end every later loop at once.
    QCoreApplication::quit();
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    QString failure;
    if (closeProgram(&failure)) {
        event->accept();
        return;
    }
    services_.dialogs.showError(failure);
    event->ignore();
}

bool TForm1::closeForTermination(QString* failure) {
    return closeProgram(failure);
}

} // namespace vardelo
