#include "app/Unit2.h"
#include "platform/AppPaths.h"
#include "platform/HttpClient.h"
#include "platform/QtDialogs.h"
#include "platform/QtSettingsStore.h"
#include "platform/SkinEngine.h"
#include "platform/Translations.h"
#include "platform/UnixSignals.h"
#include "platform/WebEngineBrowser.h"

#include <QApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    // The embedded browser refuses to start as root unless its sandbox is off.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // The browser engine shares its GL contexts; say so before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vardelo"));
    QApplication::setApplicationName(QStringLiteral("Vardelo"));
    vardelo::installQtTranslations();

    vardelo::QtSettingsStore settings;
    vardelo::QtDialogs dialogs;
    vardelo::WebEngineBrowser browser;
    vardelo::HttpClient http;
    vardelo::SkinEngine skins(QCoreApplication::applicationDirPath());
    vardelo::TForm1 form({settings, dialogs, browser, http, skins, vardelo::recordFolder(),
                          vardelo::defaultTargetFolder()});
    dialogs.setParent(&form);

    vardelo::UnixSignals signals;
    QObject::connect(&signals, &vardelo::UnixSignals::terminationRequested, &form, [&](int) {
        QString failure;
        if (form.closeForTermination(&failure)) {
            QCoreApplication::exit(0);
            return;
        }
        std::fprintf(stderr, "Vardelo: %s\n", failure.toLocal8Bit().constData());
        // exit(), not quit(): quitting would ask the window to close again.
        QCoreApplication::exit(1);
    });

    form.show();
    return QApplication::exec();
}
