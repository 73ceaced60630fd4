#include "platform/LazyBrowser.h"

#include "platform/Diagnostics.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLibrary>
#include <QVBoxLayout>
#include <QWidget>

#ifndef VARDELO_ENGINE_FROM_BINDIR
#define VARDELO_ENGINE_FROM_BINDIR "../lib/vardelo"
#endif

namespace vardelo {
namespace {

const char* const kModuleName = "vardelo_webengine";

// The engine's complaints while it is loaded late (it would have liked to
// come up before the application) go to the diagnostics log, not to the
// terminal.
QtMessageHandler outerHandler = nullptr;

void intoDiagnostics(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const QMessageLogContext browser(context.file, context.line, context.function,
                                     lcBrowser().categoryName());
    if (outerHandler)
        outerHandler(type == QtFatalMsg ? type : QtInfoMsg, browser, text);
}

} // namespace

LazyBrowser::LazyBrowser(Factory factory, QObject* parent)
    : Browser(parent), factory_(std::move(factory)), holder_(new QWidget) {
    holder_->setLayout(new QVBoxLayout);
    holder_->layout()->setContentsMargins(0, 0, 0, 0);
    holder_->setFocusPolicy(Qt::StrongFocus); // as the engine's view will take focus
    holder_->installEventFilter(this);
}

LazyBrowser::~LazyBrowser() {
    if (holder_ && !holder_->parent())
        delete holder_;
}

QWidget* LazyBrowser::widget() {
    return holder_;
}

bool LazyBrowser::eventFilter(QObject* watched, QEvent* event) {
    // Looked at, not merely passed: the first activation flips through the
    // pages, and a page shown and hidden in one go needs no engine.
    if (watched == holder_ && event->type() == QEvent::Show && !engine_)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (holder_ && holder_->isVisible())
                    engine();
            },
            Qt::QueuedConnection);
    return Browser::eventFilter(watched, event);
}

Browser* LazyBrowser::engine() {
    if (engine_ || failed_ || !holder_)
        return engine_;
    QString failure;
    QElapsedTimer clock;
    clock.start();
    outerHandler = qInstallMessageHandler(&intoDiagnostics);
    engine_ = factory_(this, &failure);
    qInstallMessageHandler(outerHandler);
    qCInfo(lcBrowser) << "browser module loaded in" << clock.elapsed() << "ms";
    if (!engine_) {
        failed_ = true;
        qCWarning(lcBrowser).noquote() << "the browser cannot start:" << failure;
        return nullptr;
    }
    holder_->layout()->addWidget(engine_->widget());
    holder_->setFocusProxy(engine_->widget());
    connect(engine_, &Browser::documentComplete, this, &Browser::documentComplete);
    connect(engine_, &Browser::elementSubmitted, this, &Browser::elementSubmitted);
    connect(engine_, &Browser::bodyMarkupRead, this, &Browser::bodyMarkupRead);
    connect(engine_, &Browser::elementRead, this, &Browser::elementRead);
    connect(engine_, &Browser::downloadRequested, this, &Browser::downloadRequested);
    return engine_;
}

void LazyBrowser::navigate(const QString& url) {
    if (Browser* browser = engine())
        return browser->navigate(url);
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT documentComplete(false); }, Qt::QueuedConnection);
}

void LazyBrowser::submitElement(quint64 ticket, const QString& id) {
    if (Browser* browser = engine())
        return browser->submitElement(ticket, id);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT elementSubmitted(ticket, false); }, Qt::QueuedConnection);
}

void LazyBrowser::readBodyMarkup(quint64 ticket) {
    if (Browser* browser = engine())
        return browser->readBodyMarkup(ticket);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT bodyMarkupRead(ticket, false, QString()); },
        Qt::QueuedConnection);
}

void LazyBrowser::activateElement(quint64 ticket, const QString& selector) {
    if (Browser* browser = engine())
        return browser->activateElement(ticket, selector);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT elementSubmitted(ticket, false); }, Qt::QueuedConnection);
}

void LazyBrowser::readElement(quint64 ticket, const QString& selector, const QString& attribute) {
    if (Browser* browser = engine())
        return browser->readElement(ticket, selector, attribute);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT elementRead(ticket, false, QString()); },
        Qt::QueuedConnection);
}

QString LazyBrowser::pageAddress() const {
    return engine_ ? engine_->pageAddress() : QString();
}

HttpSession LazyBrowser::session() const {
    return engine_ ? engine_->session() : HttpSession{};
}

void LazyBrowser::presetCookies(const QString& url, const CookiePairs& cookies) {
    if (Browser* browser = engine())
        browser->presetCookies(url, cookies);
}

void LazyBrowser::abandonPage() {
    if (engine_)
        engine_->abandonPage(); // no engine, no page to end
}

Browser* LazyBrowser::loadEngineModule(QObject* parent, QString* failure) {
    using Create = Browser* (*)(QObject*);
    const QString programFolder = QCoreApplication::applicationDirPath();
    QStringList tried;
    for (const QString& folder :
         {programFolder, QDir::cleanPath(programFolder + QLatin1Char('/') +
                                         QStringLiteral(VARDELO_ENGINE_FROM_BINDIR))}) {
        QLibrary module(folder + QLatin1Char('/') + QLatin1String(kModuleName));
        if (!module.load()) {
            tried << module.errorString();
            continue;
        }
        if (auto create = reinterpret_cast<Create>(module.resolve("vardelo_create_browser")))
            return create(parent);
        tried << module.errorString();
    }
    *failure = tried.join(QStringLiteral("; "));
    return nullptr;
}

} // namespace vardelo
