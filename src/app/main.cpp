#include "app/Probe.h"
#include "app/Termination.h"
#include "app/Unit2.h"
#include "platform/AppPaths.h"
#include "platform/CommandLine.h"
#include "platform/Diagnostics.h"
#include "platform/HostProfileFiles.h"
#include "platform/HttpClient.h"
#include "platform/LazyBrowser.h"
#include "platform/NativeMessagingHost.h"
#include "platform/QtDialogs.h"
#include "platform/QtSettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/SkinEngine.h"
#include "platform/Translations.h"
#include "platform/UnixSignals.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include <unistd.h>

namespace {

// How long a start by the browser's host waits for the links it is sent.
constexpr std::chrono::milliseconds kAwaitLinksPatience{5000};

} // namespace

int main(int argc, char** argv) {
    // A profile author's probe: no window, queue, settings or lock, and
    // Ctrl+C ends it at once.
    if (vardelo::isProbe(argc, argv))
        return vardelo::runProbe(argc, argv);

    // The web browser's native messaging host: no window, no record files.
    if (argc > 1 && std::strcmp(argv[1], "--native-messaging") == 0)
        return vardelo::runNativeMessagingHost(argc, argv);

    // From the first moment: start-up may already show a box.
    vardelo::UnixSignals::catchTermination();

    // The embedded browser refuses to start as root unless its sandbox is off.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // Nothing is drawn with OpenGL: the window is widgets, and the
    // browser's pages are composed in software. Asked whether the screen
    // could share a context with its threads, the engine would otherwise
    // load the OpenGL driver for good (under Xvfb Mesa's llvmpipe, 49 MiB).
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vardelo"));
    QApplication::setApplicationName(QStringLiteral("Vardelo"));
    vardelo::installQtTranslations();
    // Why attempts failed, for a user who asks; the designed log stays as it is.
    const vardelo::DiagnosticsLog diagnostics(vardelo::diagnosticsFolder());

    vardelo::UnixSignals signals;
    vardelo::Termination termination(signals);

    // Host profiles decide which arguments are links, so they come first.
    const vardelo::LoadedProfiles profiles =
        vardelo::loadHostProfiles(vardelo::hostProfileFolders());
    if (!profiles.problems.isEmpty())
        std::fprintf(stderr, "Vardelo: %s\n",
                     vardelo::profileProblemsText(profiles.problems).toLocal8Bit().constData());

    // One program per record folder: a later start hands its links over and ends.
    const vardelo::HandedArguments handed =
        vardelo::readArguments(QCoreApplication::arguments().mid(1), &profiles.profiles);
    vardelo::SingleInstance instance(vardelo::recordFolder());
    using Claim = vardelo::SingleInstance::Claim;
    if (const Claim claim = instance.claim(vardelo::encodeArguments(handed));
        claim != Claim::First) {
        if (claim != Claim::HandedOver)
            return 1;
        std::fputs(
            vardelo::alreadyQueuedReport(vardelo::decodeHandedAnswer(instance.answer())).c_str(),
            stdout);
        return 0;
    }

    // Links handed over while start-up still runs (its error box is open)
    // are kept until the window can take them.
    vardelo::TForm1* ready = nullptr;
    std::vector<std::string> early;
    std::vector<vardelo::ListEntry> earlyPasswords;
    QEventLoop* awaiting = nullptr;
    instance.serve([&ready, &early, &earlyPasswords, &awaiting](const QByteArray& message) {
        std::optional<QByteArray> answer;
        const auto later = vardelo::decodeArguments(message);
        if (!later)
            return answer;
        if (!ready) {
            // Not yet compared with the queue, which is not read yet: the
            // balloon tells which were there already.
            early.insert(early.end(), later->links.begin(), later->links.end());
            earlyPasswords.insert(earlyPasswords.end(), later->passwords.begin(),
                                  later->passwords.end());
            if (awaiting)
                awaiting->quit();
            answer.emplace();
        } else if (const auto present = ready->takeHandedLinks(later->links, later->bringToFront,
                                                               later->passwords)) {
            answer = vardelo::encodeHandedAnswer(*present);
        }
        return answer;
    });
    // Started by the browser's host: its links are on their way; auto-start
    // is to find them in the queue.
    if (handed.awaitLinks) {
        QEventLoop loop;
        awaiting = &loop;
        QTimer::singleShot(kAwaitLinksPatience, &loop, &QEventLoop::quit);
        loop.exec();
        awaiting = nullptr;
    }
    std::vector<std::string> startupLinks = handed.links;
    startupLinks.insert(startupLinks.end(), early.begin(), early.end());
    early.clear();
    std::vector<vardelo::ListEntry> startupPasswords = handed.passwords;
    startupPasswords.insert(startupPasswords.end(), earlyPasswords.begin(), earlyPasswords.end());
    earlyPasswords.clear();

    vardelo::QtSettingsStore settings;
    vardelo::QtDialogs dialogs;
    vardelo::LazyBrowser browser;
    vardelo::HttpClient http;
    vardelo::SkinEngine skins(vardelo::dataFolder());
    // The start's own links are queued before auto-start looks at the queue.
    vardelo::TForm1 form(
        {settings, dialogs, browser, http, skins, vardelo::recordFolder(),
         vardelo::defaultTargetFolder(), &profiles.profiles, profiles.problems,
         std::move(startupLinks), std::move(startupPasswords),
         QFileInfo(settings.fileName()).dir().filePath(QStringLiteral("Vardelo.passwords"))});
    dialogs.setParent(&form);
    // Taken before a close that a signal during start-up asked for, so it keeps them.
    form.takeHandedLinks(early, false, earlyPasswords);
    ready = &form;
    if (const auto status = termination.windowReady(form))
        return *status;

    form.show();
    return QApplication::exec();
}
