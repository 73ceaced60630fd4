#include "platform/WebEngineBrowser.h"

#include "platform/Diagnostics.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <functional>

#include <memory>
#include <utility>

#include <signal.h>

namespace vardelo {
namespace {

// The script finds the element and submits it as a form, even when a field
// named "submit" hides the form's own method. Anything else is no form.
QString submitScript(const QString& id) {
    return QStringLiteral(
               "(function () {"
               "  var element = document.getElementById('%1');"
               "  if (!element) return false;"
               "  if (element instanceof HTMLFormElement) {"
               "    HTMLFormElement.prototype.submit.call(element); return true; }"
               "  if (typeof element.submit === 'function') { element.submit(); return true; }"
               "  return false;"
               "})()")
        .arg(id);
}

// The pages run unattended: their script dialogs would stop the queue until
// somebody answered, and their console chatter is nobody's business.
class QuietPage final : public QWebEnginePage {
  public:
    using Gate = std::function<bool(const QUrl&, NavigationType, bool)>;
    QuietPage(QObject* parent, Gate gate) : QWebEnginePage(parent), gate_(std::move(gate)) {}

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool mainFrame) override {
        return gate_(url, type, mainFrame);
    }
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
    // Only the page's errors are kept, in the diagnostics log.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override {
        if (level == ErrorMessageLevel)
            qCWarning(lcBrowser).noquote() << "script error:" << message << "at" << source << line;
    }

  private:
    Gate gate_;
};

// Host profiles' scripts are fixed; what a profile gives reaches them as a
// JSON value, so no selector can become script.
QString withData(const char* script, const QJsonObject& data) {
    return QString::fromLatin1(script).arg(
        QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact)));
}

constexpr const char* kActivateScript =
    "(function (data) {"
    "  var element = null;"
    "  try { element = document.querySelector(data.selector); } catch (e) { return false; }"
    "  if (!element) return false;"
    "  if (element instanceof HTMLFormElement) {"
    "    HTMLFormElement.prototype.submit.call(element); return true; }"
    "  if (typeof element.click === 'function') { element.click(); return true; }"
    "  return false;"
    "})(%1)";

// How activating the element submits a form: "get" (its address then says
// all the request says, and the transfer can make it instead), "post" when
// the transfer can send it as the page would (its fields as text, in UTF-8,
// url-encoded or multipart), else nothing. Run in the program's own world,
// where the page cannot reach: for a "post" it notes the form and begins to
// watch the entry lists the page builds as it sends a form.
constexpr const char* kPressedFormScript =
    "(function (data) {"
    "  var element = null;"
    "  try { element = document.querySelector(data.selector); } catch (e) { return ''; }"
    "  if (!element) return '';"
    "  var form = element instanceof HTMLFormElement ? element : null;"
    "  var submitter = !form && element.form && element.type === 'submit' ? element : null;"
    "  form = form || (submitter && submitter.form);"
    "  if (!form) return '';"
    "  function own(attribute, value) {"
    "    return submitter && submitter.hasAttribute('form' + attribute)"
    "        ? submitter['form' + attribute.charAt(0).toUpperCase() + attribute.slice(1)] : value; "
    "}"
    "  var method = String(own('method', form.method)).toLowerCase();"
    "  if (method === 'get') return 'get';"
    "  var enctype = own('enctype', form.enctype);"
    "  if (method !== 'post' || (enctype !== 'application/x-www-form-urlencoded' &&"
    "      enctype !== 'multipart/form-data')) return '';"
    "  var charset = form.acceptCharset.trim().split(/[\\s,]+/)[0] || document.characterSet;"
    "  var utf8 = /^utf-?8$/i.test(charset);"
    "  for (var i = 0; i < form.elements.length; ++i) {"
    "    var field = form.elements[i];"
    "    if (field.type === 'file') return '';"
    "    if (!utf8 && /[^\\x00-\\x7f]/.test(String(field.name) + String(field.value)))"
    "      return ''; }"
    "  window.vardeloPressed = {form: form, submitter: submitter, enctype: enctype, utf8: utf8};"
    "  if (!window.vardeloWatchesForms) {"
    "    window.vardeloWatchesForms = true;"
    // Caught first, on the way down, and read once the page is done: what
    // the page's own listeners add to the list is in it then.
    "    window.addEventListener('formdata', function (event) {"
    "      window.vardeloSubmitted = {form: event.target, data: event.formData}; }, true); }"
    "  return 'post';"
    "})(%1)";

// The entry list of the form the page sent, once its navigation is held:
// {multipart, fields: [[name, value], ...]}, {get: true} for another form
// sent by GET, or null when it cannot be sent as the page would have. The
// engine's list as the page sees it leaves the pressed button out: its name
// and value go after the other fields, as a form whose button comes last
// sends them.
constexpr const char* kHeldFormScript =
    "(function () {"
    "  var held = window.vardeloSubmitted, pressed = window.vardeloPressed;"
    "  window.vardeloSubmitted = null;"
    "  if (!held) return null;"
    "  if (!pressed || pressed.form !== held.form)"
    "    return String(held.form.method).toLowerCase() === 'get' ? {get: true} : null;"
    "  var fields = [], readable = true;"
    "  held.data.forEach(function (value, name) {"
    "    if (typeof value !== 'string' ||"
    "        (!pressed.utf8 && /[^\\x00-\\x7f]/.test(name + value))) readable = false;"
    "    else fields.push([name, value]); });"
    "  var button = pressed.submitter;"
    "  if (button && button.name && !button.disabled) {"
    "    var last = fields[fields.length - 1];"
    "    if (!last || last[0] !== button.name || last[1] !== button.value)"
    "      fields.push([button.name, button.value]); }"
    "  return readable ? {multipart: pressed.enctype === 'multipart/form-data', fields: fields}"
    "                  : null;"
    "})()";

constexpr const char* kReadScript =
    "(function (data) {"
    "  var element = null;"
    "  try { element = document.querySelector(data.selector); } catch (e) { return null; }"
    "  if (!element) return null;"
    "  if (!data.attribute) return element.textContent;"
    // The live property where the element has one (a field's value as typed
    // or set by script, a link's resolved href), else the attribute.
    "  var live = element[data.attribute];"
    "  if (typeof live === 'string' || typeof live === 'number') return String(live);"
    "  var value = element.getAttribute(data.attribute);"
    "  return value === null ? null : String(value);"
    "})(%1)";

constexpr const char* kFillScript =
    "(function (data) {"
    "  var element = null;"
    "  try { element = document.querySelector(data.selector); } catch (e) { return false; }"
    "  if (!element || !('value' in element)) return false;"
    "  element.value = data.value;"
    "  element.dispatchEvent(new Event('input', {bubbles: true}));"
    "  element.dispatchEvent(new Event('change', {bubbles: true}));"
    "  return true;"
    "})(%1)";

constexpr const char* kEntriesScript =
    "(function (data) {"
    "  var found = null;"
    "  try { found = document.querySelectorAll(data.selector); } catch (e) { return null; }"
    "  function inside(element, selector) {"
    "    try { return element.matches(selector) ? element : element.querySelector(selector); }"
    "    catch (e) { return null; } }"
    "  function valueOf(element, attribute) {"
    "    if (!element) return '';"
    "    if (!attribute) return element.textContent || '';"
    "    var live = element[attribute];"
    "    if (typeof live === 'string' || typeof live === 'number') return String(live);"
    "    var value = element.getAttribute(attribute);"
    "    return value === null ? '' : String(value); }"
    // The address as written, not as the engine resolved it: what it
    // carries is checked as the add box checks a link.
    "  function writtenOf(element) {"
    "    if (!element) return '';"
    "    if (!data.attribute) return element.textContent || '';"
    "    var value = element.getAttribute(data.attribute);"
    "    return value === null ? '' : value; }"
    "  function addressOf(element) {"
    "    if (!data.attribute || element.hasAttribute(data.attribute)) return writtenOf(element);"
    "    var inner = null;"
    "    try { inner = element.querySelector('[' + CSS.escape(data.attribute) + ']'); }"
    "    catch (e) { return ''; }"
    "    return writtenOf(inner); }"
    "  var entries = [];"
    "  for (var i = 0; i < found.length && i < data.limit; ++i) {"
    "    var element = found[i];"
    "    entries.push([addressOf(element),"
    "      data.name ? valueOf(inside(element, data.name), data.nameAttribute) : '',"
    "      data.size ? valueOf(inside(element, data.size), data.sizeAttribute) : '']); }"
    "  return {entries: entries, more: found.length > data.limit};"
    "})(%1)";

// The engine reads its flags when it first starts. Error pages and
// Accept-Language follow the program's language, whatever the user's
// locale. A page runs as in a browser's front tab though its view is not
// shown (another page of the window, the window in the tray): a hidden
// page's timers would wake only on whole seconds, a chain of one-second
// timeouts ticking every two, and a host's countdown would outlast the
// cycle's.
//
// The engine's helper processes stay as long as the program, pages or no
// pages, so only those the pages need come up. No zygote for processes
// without a sandbox: the GPU and network services it would start run
// inside the program here. Without any sandbox (root) no zygote at all:
// the pages' processes are started from the program itself.
void setEngineFlags() {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto add = [&flags](const char* flag, const char* present) {
        if (flags.contains(present))
            return;
        if (!flags.isEmpty())
            flags += ' ';
        flags += flag;
    };
    add("--lang=hu", "--lang=");
    add("--disable-background-timer-throttling", "--disable-background-timer-throttling");
    add("--no-unsandboxed-zygote", "--no-unsandboxed-zygote");
    if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") || flags.contains("--no-sandbox"))
        add("--no-zygote", "--no-zygote");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

const QString kBodyScript =
    QStringLiteral("(function () { return document.body ? document.body.innerHTML : null; })()");

} // namespace

WebEngineBrowser::WebEngineBrowser(QObject* parent)
    : Browser(parent), holder_(new QWidget), pageScripts_(new QObject(this)) {
    // The engine, its profile and its helper processes come up at the first
    // need: a page to load, or the "Weblap" page looked at.
    holder_->setLayout(new QVBoxLayout);
    holder_->layout()->setContentsMargins(0, 0, 0, 0);
    holder_->setFocusPolicy(Qt::StrongFocus); // as the view will take focus
    holder_->installEventFilter(this);
}

WebEngineBrowser::~WebEngineBrowser() {
    if (holder_ && !holder_->parent())
        delete holder_;
}

Browser* WebEngineBrowser::makeHiddenPage(QObject* parent) {
    // Its holder is never shown; the page loads and answers scripts all the
    // same. The default profile is shared, and with it the cookies.
    auto* hidden = new WebEngineBrowser(parent);
    hidden->setScriptTimeout(scriptTimeout_);
    return hidden;
}

QWidget* WebEngineBrowser::widget() {
    return holder_;
}

bool WebEngineBrowser::started() const {
    return profile_ != nullptr;
}

bool WebEngineBrowser::hasPage() const {
    return view_ != nullptr;
}

bool WebEngineBrowser::eventFilter(QObject* watched, QEvent* event) {
    // Looked at, not merely passed: the first activation flips through the
    // pages, and a page shown and hidden in one go needs no engine. A page
    // let go is opened again by the next request, not by a look.
    if (watched == holder_ && event->type() == QEvent::Show && !started())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (holder_ && holder_->isVisible() && !started())
                    view();
            },
            Qt::QueuedConnection);
    return Browser::eventFilter(watched, event);
}

QWebEngineView* WebEngineBrowser::view() {
    if (!view_ && holder_)
        createView();
    return view_;
}

QWebEnginePage* WebEngineBrowser::page() {
    return view()->page();
}

void WebEngineBrowser::createView() {
    QElapsedTimer clock;
    clock.start();
    setEngineFlags();
    // The view draws into an image, not into an OpenGL texture: a texture
    // child makes Qt destroy and remake the window's native surface, which
    // blacks the whole window out for a moment and takes the keyboard focus
    // from it, so Esc and F5 went nowhere once the engine had started. The
    // engine then composes the page in software, as it already does without
    // a GPU.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    view_ = new QWebEngineView(holder_);
    auto* quiet = new QuietPage(
        view_, [this](const QUrl& url, QWebEnginePage::NavigationType type, bool mainFrame) {
            return allowNavigation(url, type, mainFrame);
        });
    quiet->profile()->setHttpAcceptLanguage(QStringLiteral("hu-HU,hu;q=0.9"));
    view_->setPage(quiet);
    if (!profile_) {
        profile_ = quiet->profile();
        watchCookies(profile_);
    }
    // The engine's own menu is English and offers what the cycle's page has
    // no use for (saving, its source, going back).
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &WebEngineBrowser::showPageMenu);
    holder_->layout()->addWidget(view_);
    holder_->setFocusProxy(view_);
    connect(quiet, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(quiet, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                const bool lost =
                    status != QWebEnginePage::NormalTerminationStatus && !rendererEnding_;
                if (lost)
                    qCWarning(lcBrowser)
                        << "the page's process ended:" << status << "exit code" << exitCode;
                rendererEnded();
                if (lost)
                    Q_EMIT pageLost(true);
            });
    // The engine closes nothing itself; the page it asked to close is gone
    // for its caller all the same.
    connect(quiet, &QWebEnginePage::windowCloseRequested, this, [this] {
        qCInfo(lcBrowser) << "the page closed its window";
        Q_EMIT pageLost(false);
    });
    qCInfo(lcBrowser) << "browser started in" << clock.elapsed() << "ms";
}

void WebEngineBrowser::showPageMenu(const QPoint& position) {
    const QWebEngineContextMenuRequest* request = view_->lastContextMenuRequest();
    // Not run in a loop of its own: the page and the cycle go on under it,
    // and it goes with the view.
    auto* menu = new QMenu(view_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("pageMenu"));
    const auto add = [&](const QString& text, QWebEnginePage::WebAction action, bool enabled) {
        QAction* item = menu->addAction(text);
        item->setEnabled(enabled);
        QWebEngineView* view = view_;
        connect(item, &QAction::triggered, view,
                [view, action] { view->page()->triggerAction(action); });
    };
    const bool selected = request && !request->selectedText().isEmpty();
    add(QStringLiteral("Másolás"), QWebEnginePage::Copy, selected);
    if (request && request->linkUrl().isValid())
        add(QStringLiteral("Hivatkozás címének másolása"), QWebEnginePage::CopyLinkToClipboard,
            true);
    add(QStringLiteral("Az összes kijelölése"), QWebEnginePage::SelectAll, true);
    menu->popup(view_->mapToGlobal(position));
}

void WebEngineBrowser::navigate(const QString& url) {
    // The address goes to the engine as it is: no scheme is guessed and no
    // local path becomes a file: address.
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.isRelative()) {
        // Nothing will load; say so as a failed load would, but not from
        // inside the caller's own step.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT documentComplete(false); }, Qt::QueuedConnection);
        return;
    }
    // A page that still owes a script answer is hung or busy, and its
    // renderer would hold the next page of its host: it goes first.
    if (endPageScripts())
        abandonPage();
    if (rendererEnding_) {
        afterRendererEnds_ = address;
        return;
    }
    view()->setUrl(address);
}

void WebEngineBrowser::rendererEnded() {
    rendererEnding_ = false;
    if (const QUrl address = std::exchange(afterRendererEnds_, QUrl()); address.isValid())
        view_->setUrl(address);
}

bool WebEngineBrowser::endPageScripts() {
    // Deleting the scope cancels the time-outs and answers the rest as failed.
    const bool owed = unansweredScripts_ > 0;
    delete pageScripts_;
    pageScripts_ = new QObject(this);
    unansweredScripts_ = 0;
    return owed;
}

bool WebEngineBrowser::allowNavigation(const QUrl& url, int type, bool mainFrame) {
    using Page = QWebEnginePage;
    // The pressed element's form is held when the transfer can send it
    // instead: its answer may be the file, good for one request. Another
    // form goes; what it leads to (a redirect) is held.
    const bool formSent = type == Page::NavigationTypeFormSubmitted;
    const bool holdable =
        type == Page::NavigationTypeLinkClicked || type == Page::NavigationTypeRedirect ||
        type == Page::NavigationTypeOther || (formSent && pressedForm_ != PressedForm::None);
    const QString scheme = url.scheme().toLower();
    if (hold_ == NavigationHold::Off || !mainFrame || !holdable ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return true;
    const bool postedForm = formSent && pressedForm_ == PressedForm::Post;
    holdNavigation(NavigationHold::Off);
    // Told after the engine has had its answer, not from inside it.
    QMetaObject::invokeMethod(
        this,
        [this, postedForm, address = url.toString(QUrl::FullyEncoded)] {
            if (postedForm)
                tellHeldForm(address);
            else
                Q_EMIT navigationHeld({address, HeldNavigation::Kind::Address, {}});
        },
        Qt::QueuedConnection);
    return false;
}

void WebEngineBrowser::tellHeldForm(const QString& address) {
    runScript(
        0, QString::fromLatin1(kHeldFormScript),
        [address](WebEngineBrowser* self, quint64, const QVariant& r) {
            const QVariantMap answer = r.toMap();
            HeldNavigation held{address, HeldNavigation::Kind::UnreadableForm, {}};
            if (answer.value(QStringLiteral("get")).toBool()) {
                held.kind = HeldNavigation::Kind::Address;
            } else if (answer.contains(QStringLiteral("fields"))) {
                held.kind = HeldNavigation::Kind::FormPost;
                held.form.encoding = answer.value(QStringLiteral("multipart")).toBool()
                                         ? FormPost::Encoding::Multipart
                                         : FormPost::Encoding::UrlEncoded;
                for (const QVariant& field : answer.value(QStringLiteral("fields")).toList()) {
                    const QStringList pair = field.toStringList();
                    held.form.fields.push_back(
                        {pair.value(0).toStdString(), pair.value(1).toStdString()});
                }
            }
            Q_EMIT self->navigationHeld(held);
        },
        QWebEngineScript::ApplicationWorld);
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    loading_ = info.status() == QWebEngineLoadingInfo::LoadStartedStatus;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        Q_EMIT documentComplete(true);
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        qCWarning(lcBrowser).noquote() << "page failed to load:" << info.url().toString() << "-"
                                       << info.errorString() << info.errorCode();
        Q_EMIT documentComplete(false);
        break;
    default:
        break; // started, or stopped by another navigation
    }
}

template <typename Answer>
void WebEngineBrowser::runScript(quint64 ticket, const QString& script, Answer answer,
                                 quint32 world) {
    // Exactly one answer: the script's, the time-out's or the page's end,
    // whichever is first. An answered script's time-out goes with its answer,
    // so a page that answered may outlive it (a long countdown).
    auto answered = std::make_shared<bool>(false);
    QPointer<WebEngineBrowser> self(this);
    QPointer<QObject> page(pageScripts_);
    auto* timeLimit = new QTimer(pageScripts_);
    timeLimit->setSingleShot(true);
    const QPointer<QTimer> limit(timeLimit);
    const auto finish = [self, page, limit, answered, ticket, answer](const QVariant& result) {
        if (!self || *answered)
            return;
        *answered = true;
        if (limit)
            limit->deleteLater();
        if (page)
            --self->unansweredScripts_;
        answer(self.data(), ticket, result);
    };
    connect(timeLimit, &QTimer::timeout, this, [this, finish] {
        qCWarning(lcBrowser) << "a page script did not answer within" << scriptTimeout_.count()
                             << "ms";
        finish(QVariant());
        abandonPage(); // a renderer that does not answer would hold later pages too
    });
    connect(pageScripts_, &QObject::destroyed, this, [this, finish] {
        QMetaObject::invokeMethod(
            this, [finish] { finish(QVariant()); }, Qt::QueuedConnection);
    });
    ++unansweredScripts_;
    timeLimit->start(scriptTimeout_);
    view()->page()->runJavaScript(script, world, finish);
}

void WebEngineBrowser::abandonPage() {
    endPageScripts();
    if (!view_)
        return; // no page runs
    // A script in an endless loop cannot be stopped from outside its
    // renderer, and every later page of its host would wait for it. The
    // process is the page's own; the next navigation waits for its end and
    // starts a new one.
    const qint64 pid = page()->renderProcessPid();
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0)
        rendererEnding_ = true;
}

void WebEngineBrowser::releasePage() {
    if (!view_)
        return;
    endPageScripts();
    rendererEnding_ = false;
    afterRendererEnds_.clear();
    // Nothing the page tells as it goes reaches the caller.
    view_->page()->disconnect(this);
    loading_ = false;
    holder_->setFocusProxy(nullptr);
    delete view_.data(); // and its page with it
    qCInfo(lcBrowser) << "page let go";
}

void WebEngineBrowser::submitElement(quint64 ticket, const QString& id) {
    runScript(ticket, submitScript(id), [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
        Q_EMIT self->elementSubmitted(t, r.toBool());
    });
}

void WebEngineBrowser::readBodyMarkup(quint64 ticket) {
    runScript(ticket, kBodyScript, [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
        const bool ok = r.isValid() && !r.isNull();
        Q_EMIT self->bodyMarkupRead(t, ok, ok ? r.toString() : QString());
    });
}

void WebEngineBrowser::watchDownloads() {
    if (watchingDownloads_)
        return;
    watchingDownloads_ = true;
    connect(page()->profile(), &QWebEngineProfile::downloadRequested, this,
            &WebEngineBrowser::onDownloadRequested);
}

void WebEngineBrowser::onDownloadRequested(QWebEngineDownloadRequest* request) {
    if (!view_ || request->page() != view_->page())
        return; // another browser's page
    // The transfer worker fetches the file; the engine writes nothing.
    request->cancel();
    Q_EMIT downloadRequested(request->url().toString(QUrl::FullyEncoded));
}

// Asked first, so that the form's navigation finds its answer here.
void WebEngineBrowser::activateElement(quint64 ticket, const QString& selector) {
    watchDownloads();
    const QJsonObject data{{QStringLiteral("selector"), selector}};
    runScript(
        ticket, withData(kPressedFormScript, data),
        [data](WebEngineBrowser* self, quint64 t, const QVariant& r) {
            const QString form = r.toString();
            const bool held = self->hold_ != NavigationHold::Off;
            self->pressedForm_ =
                held && form == QLatin1String("get") ? PressedForm::Get
                : self->hold_ == NavigationHold::MovesAndPostForm && form == QLatin1String("post")
                    ? PressedForm::Post
                    : PressedForm::None;
            self->runScript(t, withData(kActivateScript, data),
                            [](WebEngineBrowser* browser, quint64 u, const QVariant& done) {
                                Q_EMIT browser->elementSubmitted(u, done.toBool());
                            });
        },
        QWebEngineScript::ApplicationWorld);
}

void WebEngineBrowser::readElement(quint64 ticket, const QString& selector,
                                   const QString& attribute) {
    watchDownloads();
    const QJsonObject data{{QStringLiteral("selector"), selector},
                           {QStringLiteral("attribute"), attribute}};
    runScript(ticket, withData(kReadScript, data),
              [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
                  const bool ok = r.isValid() && !r.isNull();
                  Q_EMIT self->elementRead(t, ok, ok ? r.toString() : QString());
              });
}

void WebEngineBrowser::fillField(quint64 ticket, const QString& selector, const QString& value) {
    const QJsonObject data{{QStringLiteral("selector"), selector},
                           {QStringLiteral("value"), value}};
    runScript(ticket, withData(kFillScript, data),
              [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
                  Q_EMIT self->elementSubmitted(t, r.toBool());
              });
}

void WebEngineBrowser::readEntries(quint64 ticket, const EntryQuery& query) {
    const QJsonObject data{{QStringLiteral("selector"), query.selector},
                           {QStringLiteral("attribute"), query.attribute},
                           {QStringLiteral("name"), query.nameSelector},
                           {QStringLiteral("nameAttribute"), query.nameAttribute},
                           {QStringLiteral("size"), query.sizeSelector},
                           {QStringLiteral("sizeAttribute"), query.sizeAttribute},
                           {QStringLiteral("limit"), query.limit}};
    runScript(ticket, withData(kEntriesScript, data),
              [](WebEngineBrowser* self, quint64 t, const QVariant& r) {
                  const QVariantMap answer = r.toMap();
                  QList<QStringList> entries;
                  for (const QVariant& entry : answer.value(QStringLiteral("entries")).toList())
                      entries.append(entry.toStringList());
                  Q_EMIT self->entriesRead(t, r.isValid() && !r.isNull() && !answer.isEmpty(),
                                           entries, answer.value(QStringLiteral("more")).toBool());
              });
}

QString WebEngineBrowser::pageAddress() const {
    return view_ ? view_->page()->url().toString(QUrl::FullyEncoded) : QString();
}

void WebEngineBrowser::watchCookies(QWebEngineProfile* profile) {
    QWebEngineCookieStore* store = profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& cookie) {
        forgetCookie(cookie); // a changed cookie is told as added again
        cookies_.append(cookie);
    });
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, &WebEngineBrowser::forgetCookie);
    store->loadAllCookies();
}

void WebEngineBrowser::forgetCookie(const QNetworkCookie& cookie) {
    cookies_.removeIf([&](const QNetworkCookie& kept) { return kept.hasSameIdentifier(cookie); });
}

HttpSession WebEngineBrowser::session() const {
    HttpSession session;
    if (!profile_)
        return session; // no page has run: nothing to carry
    session.userAgent = profile_->httpUserAgent().toStdString();
    for (const QNetworkCookie& cookie : cookies_) {
        const QDateTime expires = cookie.expirationDate();
        session.cookies.push_back({cookie.domain().toStdString(), cookie.path().toStdString(),
                                   cookie.isSecure(),
                                   expires.isValid() ? expires.toSecsSinceEpoch() : 0,
                                   cookie.name().toStdString(), cookie.value().toStdString()});
    }
    return session;
}

void WebEngineBrowser::presetCookies(const QString& url, const CookiePairs& cookies) {
    const QUrl origin(url, QUrl::StrictMode);
    if (cookies.empty() || !origin.isValid() || origin.host().isEmpty())
        return;
    QWebEngineCookieStore* store = page()->profile()->cookieStore();
    for (const auto& [name, value] : cookies) {
        // No domain: the cookie is the origin host's alone, as a page's own would be.
        QNetworkCookie cookie(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
        cookie.setPath(QStringLiteral("/"));
        store->setCookie(cookie, origin);
    }
}

} // namespace vardelo
