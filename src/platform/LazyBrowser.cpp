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

const char* const kModuleName = "vardelo_webengine.so";

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
    if (watched == holder_ && event->type() == QEvent::Show && !engine_ && !failed_)
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
    QElapsedTimer clock;
    clock.start();
    outerHandler = qInstallMessageHandler(&intoDiagnostics);
    engine_ = factory_(this, &failure_);
    qInstallMessageHandler(outerHandler);
    if (!engine_) {
        failed_ = true;
        qCWarning(lcBrowser).noquote()
            << "the browser cannot start after" << clock.elapsed() << "ms:" << failure_;
        return nullptr;
    }
    qCInfo(lcBrowser) << "browser module loaded in" << clock.elapsed() << "ms";
    holder_->layout()->addWidget(engine_->widget());
    holder_->setFocusProxy(engine_->widget());
    // A screen reader stops at the engine's widget: it goes by the holder's name.
    engine_->widget()->setAccessibleName(holder_->accessibleName());
    engine_->widget()->setAccessibleDescription(holder_->accessibleDescription());
    connect(engine_, &Browser::documentComplete, this, &Browser::documentComplete);
    connect(engine_, &Browser::elementSubmitted, this, &Browser::elementSubmitted);
    connect(engine_, &Browser::bodyMarkupRead, this, &Browser::bodyMarkupRead);
    connect(engine_, &Browser::elementRead, this, &Browser::elementRead);
    connect(engine_, &Browser::entriesRead, this, &Browser::entriesRead);
    connect(engine_, &Browser::downloadRequested, this, &Browser::downloadRequested);
    connect(engine_, &Browser::navigationHeld, this, &Browser::navigationHeld);
    connect(engine_, &Browser::pageLost, this, &Browser::pageLost);
    return engine_;
}

// Only a request tells that the engine cannot start; a look at the page
// does not, as no run is there to stop.
Browser* LazyBrowser::engineForRequest() {
    Browser* browser = engine();
    // Told before the request's failed answer, which follows it in the queue:
    // a run stops on the telling, and the answer finds no attempt.
    if (!browser)
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT cannotStart(failure_); }, Qt::QueuedConnection);
    return browser;
}

void LazyBrowser::navigate(const QString& url) {
    const auto cookies = std::exchange(pendingCookies_, {});
    if (Browser* browser = engineForRequest()) {
        for (const auto& [page, pairs] : cookies)
            browser->presetCookies(page, pairs);
        return browser->navigate(url);
    }
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT documentComplete(false); }, Qt::QueuedConnection);
}

void LazyBrowser::submitElement(quint64 ticket, const QString& id) {
    if (Browser* browser = engineForRequest())
        return browser->submitElement(ticket, id);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT elementSubmitted(ticket, false); }, Qt::QueuedConnection);
}

void LazyBrowser::readBodyMarkup(quint64 ticket) {
    if (Browser* browser = engineForRequest())
        return browser->readBodyMarkup(ticket);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT bodyMarkupRead(ticket, false, QString()); },
        Qt::QueuedConnection);
}

void LazyBrowser::activateElement(quint64 ticket, const QString& selector) {
    if (Browser* browser = engineForRequest())
        return browser->activateElement(ticket, selector);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT elementSubmitted(ticket, false); }, Qt::QueuedConnection);
}

void LazyBrowser::readElement(quint64 ticket, const QString& selector, const QString& attribute) {
    if (Browser* browser = engineForRequest())
        return browser->readElement(ticket, selector, attribute);
    QMetaObject::invokeMethod(
        this, [this, ticket] { Q_EMIT elementRead(ticket, false, QString()); },
        Qt::QueuedConnection);
}

bool LazyBrowser::isLoading() const {
    return engine_ && engine_->isLoading();
}

void LazyBrowser::readEntries(quint64 ticket, const EntryQuery& query) {
    if (Browser* browser = engineForRequest())
        return browser->readEntries(ticket, query);
    Browser::readEntries(ticket, query); // answered as failed
}

void LazyBrowser::fillField(quint64 ticket, const QString& selector, const QString& value) {
    if (Browser* browser = engineForRequest())
        return browser->fillField(ticket, selector, value);
    Browser::fillField(ticket, selector, value); // answered as failed
}

QString LazyBrowser::pageAddress() const {
    return engine_ ? engine_->pageAddress() : QString();
}

HttpSession LazyBrowser::session() const {
    return engine_ ? engine_->session() : HttpSession{};
}

// Not a reason to start the engine: the navigation that follows starts it,
// and says so once if it cannot.
void LazyBrowser::presetCookies(const QString& url, const CookiePairs& cookies) {
    if (engine_)
        engine_->presetCookies(url, cookies);
    else if (!failed_)
        pendingCookies_.emplace_back(url, cookies);
}

void LazyBrowser::abandonPage() {
    if (engine_)
        engine_->abandonPage(); // no engine, no page to end
}

void LazyBrowser::releasePage() {
    if (engine_)
        engine_->releasePage();
}

void LazyBrowser::holdNavigation(NavigationHold hold) {
    if (engine_)
        engine_->holdNavigation(hold); // no engine, no page to move
}

Browser* LazyBrowser::makeHiddenPage(QObject* parent) {
    // An engine that cannot start was told of already, or will be at the
    // cycle's first page; the check goes on without pages.
    Browser* started = engine();
    return started ? started->makeHiddenPage(parent) : nullptr;
}

Browser* LazyBrowser::loadEngineModule(QObject* parent, QString* failure) {
    const QString programFolder = QCoreApplication::applicationDirPath();
    return loadEngineModuleFrom(
        {programFolder, QDir::cleanPath(programFolder + QLatin1Char('/') +
                                        QStringLiteral(VARDELO_ENGINE_FROM_BINDIR))},
        parent, failure);
}

Browser* LazyBrowser::loadEngineModuleFrom(const QStringList& folders, QObject* parent,
                                           QString* failure) {
    using Create = Browser* (*)(QObject*);
    QStringList tried;
    for (const QString& folder : folders) {
        const QString file = folder + QLatin1Char('/') + QLatin1String(kModuleName);
        QLibrary module(file);
        if (module.load()) {
            if (auto create = reinterpret_cast<Create>(module.resolve("vardelo_create_browser")))
                return create(parent);
        }
        tried << file + QStringLiteral(": ") + module.errorString();
    }
    *failure = tried.join(QLatin1Char('\n'));
    return nullptr;
}

} // namespace vardelo
