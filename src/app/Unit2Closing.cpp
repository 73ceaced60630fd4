// Ending the program in order. The close box, the tray's "Kilépés" and the
// termination signals all come here, so they save alike and all end the run:
// a window hidden in the tray would not end Qt's event loop by closing.
#include "app/Unit2.h"
#include "platform/Dialogs.h"
#include "platform/TrayIcon.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace vardelo {

bool TForm1::closeProgram(QString* failure) {
    if (closedInOrder_)
        return true;
    if (!FormClose(failure))
        return false;
    closedInOrder_ = true;
    CTI->setIconVisible(false);
    hide();
    // exit(), not quit(): another window could refuse quit()'s close. Outside
    // any loop (start-up, tests) exit() would end the next loop before it ran.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
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
