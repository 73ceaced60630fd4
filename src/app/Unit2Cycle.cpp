// The download cycle: Start and Stop.
#include "app/Unit2.h"
#include "platform/Dialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace vardelo {

void TForm1::inditasClick() {
    if (queue.isEmpty()) {
        services_.dialogs.showInformation(QStringLiteral("Üres a letöltési lista!"));
        allapot->clear();
        return;
    }
    if (downloading)
        return;
    inditas->setEnabled(false);
    PM_indit->setEnabled(false);
    Stop->setEnabled(true);
    PM_megallit->setEnabled(true);
    letoltes_utan_stop->setEnabled(true);
    PM_letoltes_utan_stop->setEnabled(true);
    downloading = true;
    Memo1.clear();
    allapot->setText(QStringLiteral("Weblap betöltése"));
    first_page = true;
}

void TForm1::StopClick() {
    downloading = false;
    allapot->clear();
    first_page = true;
    inditas->setEnabled(true);
    PM_indit->setEnabled(true);
    Stop->setEnabled(false);
    PM_megallit->setEnabled(false);
    letoltes_utan_stop->setChecked(false);
    letoltes_utan_stop->setEnabled(false);
    PM_letoltes_utan_stop->setChecked(false);
    PM_letoltes_utan_stop->setEnabled(false);
}

} // namespace vardelo
